// A new file beside one of the user's files that takes its place once it is
// whole: how the keeper's tags and the playlists are rewritten without ever
// leaving a half-written file, and without touching any other file (the new
// one has a name nobody uses). The object owns the new file until Place();
// one thread.
#pragma once

#include <sys/stat.h>

#include <functional>
#include <string>

#include "decoder_contract.h"

// Called with a file's path (as the file system's bytes) once before its
// bytes change; a negative result leaves that file untouched and counts it
// as failed. Lets the caller keep the old bytes for an undo.
using BeforeRewrite = std::function<HRESULT(const std::string& path)>;

class SiblingFile {
  public:
    SiblingFile() = default;
    ~SiblingFile();
    SiblingFile(const SiblingFile&) = delete;
    SiblingFile& operator=(const SiblingFile&) = delete;

    // Makes the new file beside target: hidden, named after it with its
    // extension kept (TagLib tells formats by it), with target's permission
    // bits and, where the process may, its owner. false when it cannot be
    // made.
    bool Create(const std::string& target, const struct stat& info);

    int file() const { return m_file; }
    const std::string& path() const { return m_path; }

    // Syncs the new file and renames it over target, then syncs the folder.
    // false when that fails; the new file is then removed when the object goes.
    bool Place(const std::string& target);

  private:
    std::string m_path;
    int m_file = -1;
    bool m_placed = false;
};

// Whether a and b give one file, size and modification time unchanged.
bool SameStamp(const struct stat& a, const struct stat& b);
