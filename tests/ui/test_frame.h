// How the window tests start a window: no cache loaded, no workers, no
// update check; settings, plug-ins, journal and trash in the test's folder.
#pragma once

#include <QString>

#include <memory>
#include <string>
#include <vector>

#include "main_frame.h"
#include "test_files.h"
#include "test_trash.h"

// trashed and refuse as CTestTrash takes them; both may be null.
inline FrameStartup QuietStartup(const TempDir& dir, std::vector<std::string>* trashed = nullptr,
                                 const bool* refuse = nullptr) {
    FrameStartup startup;
    startup.loadCache = false;
    startup.startPool = false;
    startup.allowUpdateCheck = false;
    startup.settingsPath = QString::fromStdString(dir.File("settings.ini"));
    startup.pluginFolder = dir.path();
    startup.trash = std::make_shared<CTestTrash>(dir.File("trash"), trashed, refuse);
    startup.journalFolder = dir.File("journal");
    return startup;
}
