#include "file_move.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "file_io.h"
#include "trash_can.h"

namespace {

constexpr mode_t kCopyMode = 0600;  // until the original's mode is copied
constexpr mode_t kModeBits = 07777;
constexpr int kNameTries = 10000;
constexpr char kPartSuffix[] = ".harmonyfox-part";

std::string Parent(const std::string& path) {
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return ".";
    }
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

bool Exists(const std::string& path) {
    struct stat info {};
    return lstat(path.c_str(), &info) == 0;
}

std::string Reason(const std::string& what) {
    return what + ": " + std::strerror(errno);
}

// The copy of a move across file systems; the copy is removed on failure.
HRESULT CopyAcross(const std::string& from, const std::string& to, std::string* reason) {
    const int in = open(from.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
    struct stat source {};
    if (in < 0 || fstat(in, &source) != 0 || !S_ISREG(source.st_mode)) {
        *reason = in < 0 ? Reason("cannot read the file") : "not a regular file";
        if (in >= 0) {
            close(in);
        }
        return E_FAIL;
    }
    const std::string part = PartialCopyName(to);
    const int out =
        open(part.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC | O_NOFOLLOW, kCopyMode);
    if (out < 0) {
        *reason = Reason("cannot write in the target folder");
        close(in);
        return E_FAIL;
    }
    const auto size = static_cast<uint64_t>(source.st_size);
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    bool copied = CopyRange(in, 0, out, 0, size) && fsync(out) == 0;
    if (!copied) {
        *reason = Reason("cannot copy the file");
    } else if (FileSize(out) != size || FileSize(in) != size) {
        copied = false;
        *reason = "the copy's size differs from the file's";
    }
    // The cache knows a file by its size and time: the copy keeps both.
    fchmod(out, source.st_mode & kModeBits);
    futimens(out, times);
    close(out);
    close(in);
    if (copied && !RenameNoReplace(part, to)) {
        copied = false;
        *reason = errno == EEXIST ? std::string("the target exists") : Reason("cannot move");
    }
    if (!copied) {
        unlink(part.c_str());
        return E_FAIL;
    }
    SyncFolder(Parent(to));
    return S_OK;
}

}  // namespace

std::string MoveTarget(const std::string& path, const std::vector<std::string>& roots,
                       const std::string& folder) {
    size_t best = 0;
    std::string relative = path.substr(path.rfind('/') + 1);
    for (std::string root : roots) {
        while (root.size() > 1 && root.back() == '/') {
            root.pop_back();
        }
        const std::string prefix = root == "/" ? root : root + "/";
        if (path.size() > prefix.size() && path.compare(0, prefix.size(), prefix) == 0 &&
            prefix.size() > best) {
            best = prefix.size();
            relative = path.substr(prefix.size());
        }
    }
    return (folder.size() > 1 && folder.back() == '/' ? folder : folder + "/") + relative;
}

std::string NumberedName(const std::string& target, int n) {
    const size_t slash = target.rfind('/');
    const size_t dot = target.rfind('.');
    const bool hasExtension =
        dot != std::string::npos && (slash == std::string::npos || dot > slash + 1);
    const std::string suffix = " (" + std::to_string(n) + ")";
    return hasExtension ? target.substr(0, dot) + suffix + target.substr(dot) : target + suffix;
}

std::string FreeName(const std::string& target) {
    std::string candidate = target;
    for (int n = 2; Exists(candidate) && n < kNameTries; ++n) {
        candidate = NumberedName(target, n);
    }
    return candidate;
}

std::string PartialCopyName(const std::string& to) {
    const size_t slash = to.rfind('/');
    return to.substr(0, slash + 1) + "." + to.substr(slash + 1) + kPartSuffix;
}

HRESULT MoveFile(const std::string& from, const std::string& to, std::string* reason) {
    if (!Exists(from)) {
        *reason = "the file does not exist";
        return E_FAIL;
    }
    if (Exists(to)) {
        *reason = "the target exists";
        return E_FAIL;
    }
    if (!MakeFolders(Parent(to))) {
        *reason = Reason("cannot make the folder " + Parent(to));
        return E_FAIL;
    }
    // On one file system a rename; the caller syncs a batch of them at once.
    if (RenameNoReplace(from, to)) {
        return S_OK;
    }
    if (errno != EXDEV) {
        *reason = errno == EEXIST ? std::string("the target exists") : Reason("cannot move");
        return E_FAIL;
    }
    if (Failed(CopyAcross(from, to, reason))) {
        return E_FAIL;
    }
    if (unlink(from.c_str()) != 0) {
        // Two copies are worse than none moved: the copy goes again.
        *reason = Reason("cannot remove the original");
        unlink(to.c_str());
        return E_FAIL;
    }
    SyncFolder(Parent(from));
    return S_OK;
}
