#include "trash_can.h"

#include <fcntl.h>
#include <pwd.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <set>

#include "file_io.h"

namespace {

// A trash folder and its two halves are private to their user.
constexpr mode_t kPrivateFolder = 0700;
constexpr mode_t kPrivateFile = 0600;
// Names tried in one trash before giving up ("song.2.mp3" ...).
constexpr int kNameTries = 10000;
// Room kept in a name for ".trashinfo" and a counter within NAME_MAX.
constexpr size_t kLongestTrashName = 200;
constexpr char kInfoSuffix[] = ".trashinfo";

std::string Parent(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string BaseName(const std::string& path) {
    const size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

// A path in the form a .trashinfo keeps: bytes outside the URL's unreserved
// set (and '/') as %XX.
std::string PercentEncoded(const std::string& path) {
    static const char kHex[] = "0123456789ABCDEF";
    std::string out;
    for (const char c : path) {
        const auto u = static_cast<unsigned char>(c);
        if ((u >= 'A' && u <= 'Z') || (u >= 'a' && u <= 'z') || (u >= '0' && u <= '9') ||
            std::strchr("-_.~/", c) != nullptr) {
            out += c;
        } else {
            out += '%';
            out += kHex[u >> 4];
            out += kHex[u & 0xF];
        }
    }
    return out;
}

std::string DeletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof(text), "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

// The name the file takes in the trash at the given try: "name", then
// "stem.2.ext", ... A long name is cut (never inside a UTF-8 sequence).
std::string TrashName(const std::string& base, int attempt) {
    std::string name = base;
    if (name.size() > kLongestTrashName) {
        size_t cut = kLongestTrashName;
        while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) {
            --cut;
        }
        name.resize(cut);
    }
    if (attempt == 1) {
        return name;
    }
    const size_t dot = name.rfind('.');
    const std::string counter = "." + std::to_string(attempt);
    return dot == std::string::npos || dot == 0 ? name + counter
                                                : name.substr(0, dot) + counter + name.substr(dot);
}

// Makes trash (and its files/ and info/) when missing. A trash must be a
// real folder of this user, never a link that leads elsewhere.
bool UsableTrash(const std::string& trash) {
    if (mkdir(trash.c_str(), kPrivateFolder) != 0 && errno != EEXIST) {
        return false;
    }
    struct stat info {};
    if (lstat(trash.c_str(), &info) != 0 || !S_ISDIR(info.st_mode) || info.st_uid != getuid()) {
        return false;
    }
    for (const char* half : {"/files", "/info"}) {
        const std::string folder = trash + half;
        if ((mkdir(folder.c_str(), kPrivateFolder) != 0 && errno != EEXIST) ||
            lstat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            return false;
        }
    }
    return true;
}

// The highest folder above path on the given device: its mount point.
std::string TopFolder(const std::string& path, dev_t device) {
    std::string top = Parent(path);
    while (top != "/") {
        const std::string up = Parent(top);
        struct stat info {};
        if (stat(up.c_str(), &info) != 0 || info.st_dev != device) {
            break;
        }
        top = up;
    }
    return top;
}

// The trash of the file system whose top folder is top, made when needed;
// empty when there is none this user may use.
std::string TopTrash(const std::string& top) {
    const std::string uid = std::to_string(getuid());
    const std::string base = top == "/" ? std::string() : top;
    // The administrator's shared folder counts only when it is a real folder
    // with the sticky bit; otherwise it is passed over.
    const std::string shared = base + "/.Trash";
    struct stat info {};
    if (lstat(shared.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && (info.st_mode & S_ISVTX) &&
        UsableTrash(shared + "/" + uid)) {
        return shared + "/" + uid;
    }
    const std::string own = base + "/.Trash-" + uid;
    return UsableTrash(own) ? own : std::string();
}

}  // namespace

std::string TrashCan::DefaultHomeTrash() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data != nullptr && data[0] == '/') {
        return std::string(data) + "/Trash";
    }
    const char* home = std::getenv("HOME");
    if (home == nullptr || home[0] == 0) {
        const passwd* user = getpwuid(getuid());
        home = user != nullptr ? user->pw_dir : nullptr;
    }
    return home == nullptr || home[0] == 0 ? std::string()
                                           : std::string(home) + "/.local/share/Trash";
}

HRESULT TrashCan::Reserve(const std::string& path, TrashPlace* place, std::string* reason) {
    std::error_code error;
    const std::string absolute = std::filesystem::absolute(path, error).lexically_normal().string();
    struct stat file {};
    if (error || lstat(absolute.c_str(), &file) != 0) {
        *reason = "the file does not exist";
        return E_FAIL;
    }
    std::string trash;
    std::string infoPath = absolute;  // the home trash keeps absolute paths
    if (m_homeDevice == 0 && !m_home.empty() && MakeFolders(Parent(m_home)) &&
        UsableTrash(m_home)) {
        struct stat home {};
        m_homeDevice = stat(m_home.c_str(), &home) == 0 ? home.st_dev : 0;
    }
    if (m_homeDevice != 0 && m_homeDevice == file.st_dev) {
        trash = m_home;
    } else {
        // Another file system: its own trash, with paths below its top folder.
        const std::string top = TopFolder(absolute, file.st_dev);
        auto known = m_topTrash.find(top);
        if (known == m_topTrash.end()) {
            known = m_topTrash.emplace(top, TopTrash(top)).first;
        }
        trash = known->second;
        if (trash.empty()) {
            *reason = "the file system at " + top + " has no trash that can be used";
            return E_FAIL;
        }
        infoPath = top == "/" ? absolute.substr(1) : absolute.substr(top.size() + 1);
    }
    const std::string text = "[Trash Info]\nPath=" + PercentEncoded(infoPath) +
                             "\nDeletionDate=" + DeletionDate() + "\n";
    const std::string base = BaseName(absolute);
    for (int attempt = 1; attempt <= kNameTries; ++attempt) {
        const std::string name = TrashName(base, attempt);
        TrashPlace candidate{trash + "/files/" + name, trash + "/info/" + name + kInfoSuffix};
        const int info = open(candidate.info.c_str(),
                              O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kPrivateFile);
        if (info < 0) {
            if (errno == EEXIST) {
                continue;
            }
            *reason = "cannot write in the trash " + trash + ": " + std::strerror(errno);
            return E_FAIL;
        }
        struct stat taken {};
        if (lstat(candidate.file.c_str(), &taken) == 0) {
            // A file without its .trashinfo: the name is still not free.
            close(info);
            unlink(candidate.info.c_str());
            continue;
        }
        const bool written =
            WriteAll(info, reinterpret_cast<const unsigned char*>(text.data()), text.size(), 0);
        close(info);
        if (!written) {
            unlink(candidate.info.c_str());
            *reason = "cannot write in the trash " + trash;
            return E_FAIL;
        }
        *place = std::move(candidate);
        return S_OK;
    }
    *reason = "no free name in the trash " + trash;
    return E_FAIL;
}

HRESULT TrashCan::Put(const std::string& path, const TrashPlace& place, std::string* reason) {
    if (!RenameNoReplace(path, place.file)) {
        *reason = std::strerror(errno);
        return E_FAIL;
    }
    return S_OK;
}

void TrashCan::Release(const TrashPlace& place) {
    struct stat file {};
    // A .trashinfo whose file is in the trash is the file's own: it stays.
    if (lstat(place.file.c_str(), &file) != 0) {
        unlink(place.info.c_str());
    }
}

HRESULT TrashCan::Restore(const TrashPlace& place, const std::string& path, std::string* reason) {
    struct stat file {};
    if (lstat(place.file.c_str(), &file) != 0) {
        *reason = "it is no longer in the trash";
        return E_FAIL;
    }
    if (lstat(path.c_str(), &file) == 0) {
        *reason = "its place is taken";
        return E_FAIL;
    }
    // A folder on the way that went meanwhile is made again.
    if (!RenameNoReplace(place.file, path) &&
        (errno != ENOENT || !MakeFolders(Parent(path)) || !RenameNoReplace(place.file, path))) {
        *reason = errno == EEXIST ? std::string("its place is taken") : std::strerror(errno);
        return E_FAIL;
    }
    unlink(place.info.c_str());
    return S_OK;
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) {
        return true;
    }
    if (errno != EINVAL && errno != ENOSYS) {
        return false;
    }
    // A file system without the flag: a hard link cannot replace either.
    if (link(from.c_str(), to.c_str()) == 0) {
        unlink(from.c_str());
        return true;
    }
    if (errno != EPERM && errno != EOPNOTSUPP) {
        return false;
    }
    struct stat taken {};
    if (lstat(to.c_str(), &taken) == 0) {
        errno = EEXIST;
        return false;
    }
    return rename(from.c_str(), to.c_str()) == 0;
}

void SyncFileSystems(const std::vector<std::string>& paths) {
    std::set<dev_t> done;
    std::set<std::string> seen;
    for (const std::string& path : paths) {
        // The folder exists whichever way the file went.
        const std::string folder = Parent(path);
        if (!seen.insert(folder).second) {
            continue;
        }
        const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        struct stat info {};
        if (dir >= 0 && fstat(dir, &info) == 0 && done.insert(info.st_dev).second) {
            syncfs(dir);
        }
        if (dir >= 0) {
            close(dir);
        }
    }
}

bool MakeFolders(const std::string& folder, bool privateMode) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    if (!error && privateMode) {
        chmod(folder.c_str(), kPrivateFolder);
    }
    return !error && std::filesystem::is_directory(folder, error);
}
