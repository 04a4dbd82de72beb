// The window's deletions and moves through the action journal: Edit > Undo
// brings files back, a trash that refuses offers the move, "Move marked
// to..." moves, and an action a crash interrupted is rolled back at start.
#include <gtest/gtest.h>
#include <QAction>
#include <QFile>
#include <QTest>

#include <memory>
#include <string>
#include <vector>

#include "file_actions.h"
#include "main_frame.h"
#include "results_model.h"
#include "test_files.h"
#include "test_frame.h"

namespace {

class FileJournalTest : public ::testing::Test {
  protected:
    void Open() {
        FrameStartup startup = QuietStartup(temp, nullptr, &refuse);
        startup.desktop.confirm = [this](QWidget*, const QString& question) {
            questions.push_back(question);
            return true;
        };
        startup.desktop.askFolder = [this](QWidget*) {
            return QString::fromStdString(temp.File("aside"));
        };
        startup.desktop.message = [this](QWidget*, const QString& text, const QString&,
                                         QMessageBox::Icon) { messages.push_back(text); };
        frame = std::make_unique<CMainFrame>(std::move(startup));
    }

    std::string MakeFile(const std::string& name) {
        const std::string path = temp.File(name);
        QFile file(QString::fromStdString(path));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("x");
        return path;
    }

    // a~b listed, a marked.
    void ListAndMark(const std::string& a, const std::string& b) {
        {
            std::lock_guard<std::mutex> hold(frame->scan().pairsLock);
            DuplicatePair pair;
            pair.path1 = U16(a);
            pair.path2 = U16(b);
            pair.contentPercent = 90.0f;
            frame->scan().PendingPairs.push_back(pair);
        }
        frame->scan().Post(WM_PAIRS_READY);
        QCoreApplication::sendPostedEvents(frame.get());
        frame->model()->SetImage(0, kColumnFile1, kImageMarked);
    }

    void Trigger(const char* name) {
        QAction* action = frame->findChild<QAction*>(QString::fromLatin1(name));
        ASSERT_NE(action, nullptr) << name;
        action->trigger();
    }

    TempDir temp;
    std::unique_ptr<CMainFrame> frame;
    std::vector<QString> questions;
    std::vector<QString> messages;
    bool refuse = false;
};

TEST_F(FileJournalTest, WhatTheWindowDeletesOrMovesUndoBringsBack) {
    enum class How { kDelete, kRefusedThenMoved, kMoveMarked };
    for (const How how : {How::kDelete, How::kRefusedThenMoved, How::kMoveMarked}) {
        SCOPED_TRACE(static_cast<int>(how));
        Open();
        EXPECT_EQ(frame->findChild<QAction*>(QStringLiteral("undo"))->shortcut(),
                  QKeySequence(QKeySequence::Undo));
        const std::string a = MakeFile("a.mp3"), b = MakeFile("b.mp3");
        ListAndMark(a, b);
        refuse = how == How::kRefusedThenMoved;
        if (how == How::kMoveMarked) {
            Trigger("moveMarked");
        } else {
            frame->Command(ID_DELETE_MARKED);
        }
        EXPECT_FALSE(QFile::exists(QString::fromStdString(a)));
        EXPECT_EQ(frame->model()->rowCount(), 0);
        const bool moved = how != How::kDelete;
        EXPECT_EQ(QFile::exists(QString::fromStdString(temp.File("aside/a.mp3"))), moved);
        if (how == How::kRefusedThenMoved) {
            ASSERT_EQ(messages.size(), 1u);
            EXPECT_TRUE(messages[0].contains(QStringLiteral("refused by the test")));
            EXPECT_TRUE(questions.back().contains(QStringLiteral("to a folder instead")));
        }

        // Undo names what it takes back, and is off once nothing is left.
        QAction* undo = frame->findChild<QAction*>(QStringLiteral("undo"));
        EXPECT_TRUE(undo->isEnabled());
        EXPECT_TRUE(undo->text().contains(how == How::kDelete ? QStringLiteral("Trash")
                                                              : QStringLiteral("aside")))
            << undo->text().toStdString();
        messages.clear();
        Trigger("undo");
        EXPECT_TRUE(QFile::exists(QString::fromStdString(a)));
        ASSERT_EQ(messages.size(), 1u);
        EXPECT_TRUE(messages[0].contains(QStringLiteral("1 file came back")));
        EXPECT_FALSE(undo->isEnabled());
        messages.clear();
        questions.clear();
    }
}

TEST_F(FileJournalTest, AnActionACrashCutIsTakenBackWhenTheWindowOpens) {
    const std::string a = MakeFile("a.mp3");
    {
        ActionJournal killed(temp.File("journal"));
        TrashCan trash(temp.File("trash"));
        ASSERT_EQ(killed.Begin("trash"), S_OK);
        ActionReport report;
        ASSERT_EQ(TrashFiles(killed, trash, {a}, &report), S_OK);
        ASSERT_FALSE(QFile::exists(QString::fromStdString(a)));
    }
    Open();
    EXPECT_TRUE(QFile::exists(QString::fromStdString(a)));
    ASSERT_EQ(messages.size(), 1u);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("interrupted")));
}

}  // namespace
