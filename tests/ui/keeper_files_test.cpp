// The keeper's tags and the playlists that follow it, driven through the real
// window on the offscreen platform: nothing is written before the user
// agrees, and a deletion offers to rewrite the playlists that named the file.
#include <gtest/gtest.h>
#include <QApplication>
#include <QFile>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "keeper_files.h"
#include "main_frame.h"
#include "mark_state.h"
#include "result_actions.h"
#include "result_groups.h"
#include "settings_store.h"
#include "tag_fill_dlg.h"
#include "test_files.h"
#include "test_frame.h"

namespace {

bool Encode(const std::string& path, const std::string& title) {
    const std::string tags = title.empty() ? "" : " -metadata title=" + ShellQuoted(title);
    return std::system(("ffmpeg -nostdin -loglevel error -y -f lavfi -i "
                        "sine=frequency=440:duration=1 -map_metadata -1 -c:a libmp3lame" +
                        tags + " " + ShellQuoted(path))
                           .c_str()) == 0;
}

TEST(KeeperFilesTest, TagsAreFilledOnlyWhenAcceptedAndPlaylistsFollowWhenAsked) {
    TempDir temp;
    const std::string a = temp.File("a.mp3");
    const std::string b = temp.File("b.mp3");
    ASSERT_TRUE(Encode(a, "") && Encode(b, "Copy's"));
    SettingsStore(QString::fromStdString(temp.File("settings.ini")))
        .WriteFolderSettings({{U16(temp.path()), FolderRole::kNormal}});

    bool accept = false;
    int dialogs = 0;
    std::vector<QString> questions;
    std::vector<QString> messages;
    FrameStartup startup = QuietStartup(temp);
    startup.notDuplicatesPath = temp.File("not-duplicates.txt");
    startup.desktop.confirm = [&](QWidget*, const QString& question) {
        questions.push_back(question);
        return true;
    };
    startup.desktop.message = [&](QWidget*, const QString& text, const QString&,
                                  QMessageBox::Icon) { messages.push_back(text); };
    startup.runDialog = [&](QDialog* dialog) {
        ++dialogs;
        auto* fill = qobject_cast<CTagFillDlg*>(dialog);
        EXPECT_NE(fill, nullptr);
        if (fill != nullptr) {
            EXPECT_EQ(fill->Tree()->topLevelItemCount(), 1);
            EXPECT_EQ(fill->Tree()->topLevelItem(0)->child(0)->text(0), QStringLiteral("Title"));
            EXPECT_EQ(fill->Tree()->topLevelItem(0)->child(0)->text(1), QStringLiteral("Copy's"));
        }
        return accept;
    };
    CMainFrame frame(std::move(startup));
    CResultActions* actions = frame.resultActions();
    FileFacts best;  // a is the keeper
    best.bitrate = 320000;
    actions->groups().SetFactsForTests(U16(a), best);
    {
        std::lock_guard<std::mutex> hold(frame.scan().pairsLock);
        DuplicatePair pair;
        pair.path1 = U16(a);
        pair.path2 = U16(b);
        pair.contentMatch = true;
        frame.scan().PendingPairs.push_back(pair);
    }
    frame.scan().Post(WM_PAIRS_READY);
    QCoreApplication::sendPostedEvents(&frame);
    actions->RegroupNow();
    ASSERT_EQ(actions->groups().Groups().size(), 1u);
    const std::vector<GroupMember> group = actions->groups().Groups()[0];
    ASSERT_EQ(group.size(), 2u);
    const std::string keeper = U16ToBytes(group[0].path);
    const std::string copy = U16ToBytes(group[1].path);
    ASSERT_EQ(keeper, a);
    const std::string untagged = ReadWholeFile(keeper);

    // Declined: the keeper stays byte for byte.
    frame.keeperFiles()->fillTagsAction()->trigger();
    EXPECT_EQ(dialogs, 1);
    EXPECT_EQ(ReadWholeFile(keeper), untagged);
    accept = true;
    frame.keeperFiles()->fillTagsAction()->trigger();
    ASSERT_FALSE(messages.empty());
    EXPECT_TRUE(messages.back().startsWith(QStringLiteral("1 keeper")))
        << messages.back().toStdString();
    EXPECT_TRUE(PlanKeeperTags(group).fills.empty()) << "the title is the keeper's now";

    // The copy goes; the playlist that named it names the keeper, once asked.
    const std::string list = temp.File("list.m3u");
    {
        QFile out(QString::fromStdString(list));
        ASSERT_TRUE(out.open(QIODevice::WriteOnly));
        out.write(
            ("#EXTM3U\r\n" + std::filesystem::path(copy).filename().string() + "\r\n").c_str());
    }
    actions->marks().SetMarks({group[1].path}, true);
    questions.clear();
    frame.Command(ID_DELETE_MARKED);
    ASSERT_EQ(questions.size(), 2u);  // the trash, then the playlist
    EXPECT_TRUE(questions[1].contains(QStringLiteral("list.m3u"))) << questions[1].toStdString();
    EXPECT_EQ(ReadWholeFile(list),
              "#EXTM3U\r\n" + std::filesystem::path(keeper).filename().string() + "\r\n");
}

}  // namespace
