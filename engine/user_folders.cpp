#include "user_folders.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

std::string ProgramUserFolder(const char* variable, const char* fallback) {
    std::string base;
    const char* xdg = std::getenv(variable);
    // Relative values are to be ignored.
    if (xdg != nullptr && xdg[0] == '/') {
        base = xdg;
    } else {
        const char* home = std::getenv("HOME");
        if (home == nullptr || home[0] == 0) {
            const passwd* user = getpwuid(getuid());
            home = user != nullptr ? user->pw_dir : nullptr;
        }
        if (home == nullptr || home[0] == 0) {
            return std::string();
        }
        base = std::string(home) + "/" + fallback;
    }
    return base + "/Quillmere/Harmonyfox";
}
