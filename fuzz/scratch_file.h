// Files for the fuzz targets: a folder of the process's own that is removed
// at exit, and a file in memory that can be reached by path under several
// names. Each target runs its inputs one at a time on one thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// A fresh folder under $TMPDIR (else /dev/shm, else /tmp), removed with
// everything in it when the process ends normally.
const std::string& ScratchFolder();

// Writes size bytes to path, replacing what was there. Aborts when the file
// cannot be written: a target that cannot feed its input finds nothing.
void WriteScratch(const std::string& path, const uint8_t* data, size_t size);

// A file that lives in memory only (memfd). Path(ext) names it through a
// link "input<ext>" in the scratch folder, so that readers that go by the
// name's extension can be steered.
class MemoryFile {
  public:
    MemoryFile();
    // Replaces the contents by size bytes.
    void Fill(const uint8_t* data, size_t size);
    // The path of a link to the file whose name ends in ext (".mp3", ...).
    std::string Path(const std::string& ext);

  private:
    int m_fd = -1;
};
