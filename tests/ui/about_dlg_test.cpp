// The program's version as packed and shown, and the About box's links.
#include <QLabel>

#include <gtest/gtest.h>

#include "about_dlg.h"
#include "program_version.h"

namespace {

TEST(ProgramVersionTest, PackingAndVersionLine) {
    struct Case {
        uint32_t major, minor, third, fourth, build;
        uint32_t packed;
        const char* line;
    };
    const Case cases[] = {
        {0, 7, 0, 0, 87, 7, "Version 0.7 (build 87)"},
        {1, 2, 3, 0, 0, 0x10000 + 23, "Version 1.23"},
        {1, 2, 3, 4, 5, 0x10000 + 234, "Version 1.234 (build 5)"},
        {1, 2, 0, 4, 0, 0x10000 + 204, "Version 1.204"},
        {1, 0, 0, 0, 0, 0x10000, "Version 1.0"},
    };
    for (const Case& c : cases) {
        const uint32_t packed = PackVersion(c.major, c.minor, c.third, c.fourth);
        EXPECT_EQ(packed, c.packed) << c.line;
        EXPECT_EQ(FormatVersionLine(packed, c.build), c.line);
    }
    EXPECT_EQ(ProgramVersion(), 7u);
    EXPECT_EQ(ProgramBuild(), 87u);
}

TEST(AboutDlgTest, ShowsVersionAndConfiguredLinks) {
    VendorLinks links{"http://127.0.0.1:1/", "http://web.example/", "http://forum.example/",
                      "help@example.org"};
    CAboutDlg dialog(ProgramVersion(), ProgramBuild(), links);
    EXPECT_EQ(dialog.VersionLabel()->text(), "Version 0.7 (build 87)");
    EXPECT_TRUE(dialog.WebLink()->text().contains("href=\"http://web.example/\""));
    EXPECT_TRUE(dialog.ForumLink()->text().contains("href=\"http://forum.example/\""));
    EXPECT_TRUE(dialog.EmailLink()->text().contains("href=\"mailto:help@example.org\""));
    EXPECT_TRUE(dialog.WebLink()->openExternalLinks());
}

}  // namespace
