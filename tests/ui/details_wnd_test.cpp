// The details pane: its formats, building FileDetails through fake decoder
// plug-ins, and the real widget's buttons, tooltips and painting.
#include <QDir>
#include <QFileInfo>
#include <QImage>
#include <QSignalSpy>
#include <QToolButton>

#include <gtest/gtest.h>

#include <cstdio>

#include "details_wnd.h"
#include "test_files.h"

namespace {

TEST(DetailsFormatTest, Durations) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0, "0:00"},      {999, "0:00"},      {59999, "0:59"},    {60000, "1:00"},
        {125000, "2:05"}, {3599999, "59:59"}, {3600000, "60:00"}, {4294967295u, "71582:47"},
    };
    for (const auto& [ms, text] : cases) {
        EXPECT_EQ(FormatDuration(ms), text) << ms;
    }
}

TEST(DetailsFormatTest, Sizes) {
    const std::pair<uint64_t, const char*> cases[] = {
        {0, "0.00 MB"},
        {4479590, "4.27 MB"},
        {1048576, "1.00 MB"},
        // Past 4 GB the whole size counts.
        {uint64_t{5} << 30, "5120.00 MB"},
    };
    for (const auto& [bytes, text] : cases) {
        EXPECT_EQ(FormatSize(bytes), text) << bytes;
    }
}

TEST(DetailsFormatTest, Bitrates) {
    const std::pair<uint32_t, const char*> cases[] = {
        {0, "n/a"},
        {1, "1"},
        {1000, "1000"},
        {1001, "1 Kbit"},
        {128000, "128 Kbit"},
        {44100, "44.1 Kbit"},
        {999499, "999 Kbit"},
        // Rounding up to 1000 Kbit switches to Mbit instead of "1e+03 Kbit".
        {999999, "1 Mbit"},
        {1000000, "1 Mbit"},
        {1000001, "1 Mbit"},
        {1411200, "1.41 Mbit"},
        {4294967295u, "4295 Mbit"},
    };
    for (const auto& [rate, text] : cases) {
        EXPECT_EQ(FormatBitrate(rate), text) << rate;
    }
}

class FileDetailsTest : public ::testing::Test {
  protected:
    void SetUp() override { InstallPlugins(m_plugins.path(), {"fake_high"}); }

    std::u16string WriteSong(const std::string& name, std::map<std::string, std::string> keys) {
        WriteFakeAudio(m_files.File(name), keys, std::vector<int16_t>(1000, 0));
        return U16(m_files.File(name));
    }

    TempDir m_plugins;
    TempDir m_files;
};

TEST_F(FileDetailsTest, PropertiesAndTagsOfADecodableFile) {
    const std::u16string path = WriteSong("Song.fake", {{"title", "Títle"},
                                                        {"artist", "Artist"},
                                                        {"album", "Album"},
                                                        {"duration", "125000"},
                                                        {"bitrate", "128000"}});
    FileDetails details;
    ASSERT_EQ(BuildFileDetails(path, &details, m_plugins.path()), S_OK);
    EXPECT_EQ(details.fileName, u"Song.fake");
    EXPECT_EQ(details.folder, U16(m_files.path()));
    EXPECT_EQ(details.title, u"Títle");
    EXPECT_EQ(details.artist, u"Artist");
    EXPECT_EQ(details.album, u"Album");
    EXPECT_EQ(details.durationMs, 125000u);
    EXPECT_EQ(details.bitrate, 128000u);
    EXPECT_EQ(details.size, QFileInfo(QString::fromStdU16String(path)).size());
}

TEST_F(FileDetailsTest, UnreadableTagsLeaveNameFolderAndSize) {
    const std::u16string path = WriteSong("notags.fake", {{"noinfo", "1"}, {"title", "x"}});
    FileDetails details;
    ASSERT_EQ(BuildFileDetails(path, &details, m_plugins.path()), S_OK);
    EXPECT_EQ(details.fileName, u"notags.fake");
    EXPECT_TRUE(details.title.empty());
    EXPECT_EQ(details.durationMs, 0u);
    EXPECT_EQ(FormatDuration(details.durationMs), "0:00");
    EXPECT_EQ(FormatBitrate(details.bitrate), "n/a");
    EXPECT_GT(details.size, 0u);
}

TEST_F(FileDetailsTest, PathWithoutSlashIsAllFileName) {
    WriteSong("bare.fake", {});
    const QString previous = QDir::currentPath();
    QDir::setCurrent(QString::fromStdString(m_files.path()));
    FileDetails details;
    const HRESULT hr = BuildFileDetails(u"bare.fake", &details, m_plugins.path());
    QDir::setCurrent(previous);
    ASSERT_EQ(hr, S_OK);
    EXPECT_EQ(details.fileName, u"bare.fake");
    EXPECT_TRUE(details.folder.empty());
}

TEST_F(FileDetailsTest, StoreBuildsEachSlotOnceAndRetriesFailures) {
    FileDetailsStore store(m_plugins.path());
    const std::u16string song = WriteSong("a.fake", {{"title", "A"}});
    uint32_t slot = 0;
    ASSERT_EQ(store.Build(&slot, song), S_OK);
    ASSERT_NE(slot, 0u);
    const FileDetails* first = store.Find(slot);
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(first->title, u"A");

    // Selecting the same row again builds nothing new.
    const uint32_t kept = slot;
    EXPECT_EQ(store.Build(&slot, song), S_OK);
    EXPECT_EQ(slot, kept);
    EXPECT_EQ(store.Size(), 1u);

    // A file no plug-in takes leaves its slot empty, and is tried again.
    const std::string junk = m_files.File("junk.txt");
    FILE* f = std::fopen(junk.c_str(), "wb");
    std::fputs("not audio", f);
    std::fclose(f);
    uint32_t empty = 0;
    EXPECT_EQ(store.Build(&empty, U16(junk)), E_FAIL);
    EXPECT_EQ(empty, 0u);
    EXPECT_EQ(store.Find(0), nullptr);
    EXPECT_EQ(store.Find(99), nullptr);

    // Records keep their address as the store grows.
    for (int i = 0; i < 40; ++i) {
        uint32_t other = 0;
        ASSERT_EQ(store.Build(&other, song), S_OK);
    }
    EXPECT_EQ(store.Find(kept), first);
}

FileDetails Sample(const std::u16string& name) {
    FileDetails d;
    d.fileName = name;
    d.folder = u"/music/folder";
    d.artist = u"Some Artist";
    d.title = u"Some Title";
    d.album = u"Some Album";
    d.size = 4479590;
    d.durationMs = 125000;
    d.bitrate = 128000;
    return d;
}

// Pixels of the pane that are neither its background nor label colour: the
// black of the values.
int DarkPixels(const QImage& image, const QRect& area) {
    int count = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.red() < 80 && c.green() < 80 && c.blue() < 80) {
                ++count;
            }
        }
    }
    return count;
}

TEST(DetailsWndTest, ButtonsSignalAndNameTheirFile) {
    CDetailsWnd pane;
    pane.resize(700, 200);
    const FileDetails left = Sample(u"left.mp3");
    const FileDetails right = Sample(u"right.mp3");

    EXPECT_TRUE(pane.DeleteLeftButton()->toolTip().isEmpty());
    pane.SetFiles(&left, &right);
    EXPECT_EQ(pane.DeleteLeftButton()->toolTip(), "Delete file: left.mp3");
    EXPECT_EQ(pane.PlayLeftButton()->toolTip(), "Play file: left.mp3");
    EXPECT_EQ(pane.DeleteRightButton()->toolTip(), "Delete file: right.mp3");
    EXPECT_EQ(pane.PlayRightButton()->toolTip(), "Play file: right.mp3");
    pane.SetFiles(&left, nullptr);
    EXPECT_TRUE(pane.PlayRightButton()->toolTip().isEmpty());

    QSignalSpy deleteLeft(&pane, &CDetailsWnd::DeleteLeft);
    QSignalSpy playLeft(&pane, &CDetailsWnd::PlayLeft);
    QSignalSpy deleteRight(&pane, &CDetailsWnd::DeleteRight);
    QSignalSpy playRight(&pane, &CDetailsWnd::PlayRight);
    pane.PlayRightButton()->click();
    pane.DeleteLeftButton()->click();
    EXPECT_EQ(deleteLeft.count(), 1);
    EXPECT_EQ(playLeft.count(), 0);
    EXPECT_EQ(deleteRight.count(), 0);
    EXPECT_EQ(playRight.count(), 1);
}

TEST(DetailsWndTest, ButtonsKeepToTheCorners) {
    CDetailsWnd pane;
    pane.resize(700, 200);
    pane.show();
    const int bw = pane.DeleteRightButton()->width();
    EXPECT_EQ(pane.DeleteLeftButton()->pos(), QPoint(10, 5));
    EXPECT_EQ(pane.PlayLeftButton()->pos(), QPoint(10, 60));
    EXPECT_EQ(pane.DeleteRightButton()->pos(), QPoint(700 - bw - 10, 5));
    EXPECT_EQ(pane.PlayRightButton()->pos(), QPoint(700 - bw - 10, 60));
    pane.resize(900, 200);
    EXPECT_EQ(pane.PlayRightButton()->pos(), QPoint(900 - bw - 10, 60));
}

TEST(DetailsWndTest, ValuesArePaintedOnlyWhenWideEnough) {
    const FileDetails left = Sample(u"left.mp3");
    const FileDetails right = Sample(u"right.mp3");
    CDetailsWnd pane;
    pane.SetFiles(&left, &right);

    // The text area between the two button columns.
    pane.resize(700, 200);
    QImage wide = pane.grab().toImage();
    const int w = (700 - 120) / 2;
    EXPECT_GT(DarkPixels(wide, QRect(70, 5, w - 70, 160)), 50);       // left values
    EXPECT_GT(DarkPixels(wide, QRect(w + 115, 5, w - 70, 160)), 50);  // right values

    pane.resize(199, 200);
    QImage narrow = pane.grab().toImage();
    EXPECT_EQ(DarkPixels(narrow, QRect(0, 120, 199, 80)), 0);

    // Without files only the labels are painted.
    pane.SetFiles(nullptr, nullptr);
    pane.resize(700, 200);
    QImage empty = pane.grab().toImage();
    EXPECT_EQ(DarkPixels(empty, QRect(70, 5, w - 70, 160)), 0);
}

}  // namespace
