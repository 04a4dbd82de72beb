// The files Harmonyfox keeps for itself: the fingerprint cache, the side
// files named after it (the stamp index, the skip memory) and the list of
// pairs that are not duplicates. One place knows them all, so that no output
// of either front end replaces one of them, nor another output. A plain
// value; any thread.
#pragma once

#include <string>
#include <vector>

// Whether a and b name one file: the same file when both exist (links and
// other spellings too), else the same absolute, normalised spelling.
bool SameFile(const std::string& a, const std::string& b);

class OwnFiles {
  public:
    struct File {
        std::string path;
        const char* what;  // "the cache file", "the stamp index", ...
    };

    // The files of the cache at cachePath (none when empty), and the
    // not-duplicates list at notDuplicatesPath (none when empty).
    OwnFiles(const std::string& cachePath, const std::string& notDuplicatesPath);

    // What of ours path names, by SameFile; nullptr when nothing. A file of
    // ours that does not exist yet is known by its spelling.
    const char* Owns(const std::string& path) const;

    const std::vector<File>& files() const { return m_files; }

  private:
    std::vector<File> m_files;
};
