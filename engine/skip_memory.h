// SkipMemory: the files that earlier scans could not fingerprint, with the
// size and modification time they had then, kept in a small file beside the
// fingerprint cache and named after it ("cache.skip" beside "cache.dat"). A
// file at that place that is not a skip memory is left alone. A scan asks it before decoding a file
// that is not in the cache: a file skipped before and unchanged since is
// skipped again for the same reason without being decoded.
//
// The front end owns it (one per process, like the GripStore) and loads it
// before the workers start; Find and Remember may then be called from any
// thread. File format in docs/scan-engine.md.
#pragma once

#include <cstdint>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <unordered_map>

#include "decoder_contract.h"
#include "file_stamp.h"
#include "skipped_files.h"

// Names, sizes and times of the shared libraries in folder (the plug-ins and
// the versioned libraries beside them): the memory of why files were skipped
// is void when any of them changes.
std::string PluginSignature(const std::string& folder);

// A file at the place of one of ours is not ours (another format, a folder,
// a FIFO): it is left alone.
inline constexpr HRESULT E_FILE_FOREIGN = static_cast<HRESULT>(0x80040012u);

class SkipMemory {
  public:
    SkipMemory() = default;
    ~SkipMemory();
    SkipMemory(const SkipMemory&) = delete;
    SkipMemory& operator=(const SkipMemory&) = delete;

    // Reads the file at path and keeps it open for appending. A missing file,
    // or one written under another plug-in signature, starts an empty memory;
    // a record cut short or damaged ends the reading (what came before it
    // stays). The file is written afresh when it held such a record, another
    // signature or more superseded records than live ones. When no file is
    // at path, a skip memory at legacyPath (if given) is read instead and
    // moved to path. E_FILE_FOREIGN when what is at path is not a skip
    // memory (left alone), E_FAIL when the file can be neither read nor
    // created: either way the memory then lives in memory only. Never waits
    // on a FIFO. Not to be called while workers use the memory.
    HRESULT Load(const std::string& path, const std::string& signature,
                 const std::string& legacyPath = std::string());
    // Load of the memory beside the cache file at cachePath.
    HRESULT LoadBeside(const std::string& cachePath, const std::string& signature) {
        return Load(PathBeside(cachePath), signature, LegacyPathBeside(cachePath));
    }

    // The reason the file was skipped for, if it was and its stamp is the same.
    std::optional<SkipReason> Find(const std::u16string& path, const FileStamp& stamp) const;
    // Remembers (and appends to the file) that path with stamp was skipped.
    void Remember(const std::u16string& path, const FileStamp& stamp, SkipReason reason);
    // Forgets everything, in the file too.
    void Clear();
    size_t size() const;

    // The cache's path with the extension ".skip" (added to a name that has
    // that extension already).
    static std::string PathBeside(const std::string& cachePath);
    // "skipped.dat" in the cache's folder: where older versions kept it.
    static std::string LegacyPathBeside(const std::string& cachePath);
    // Whether the file at path is a skip memory (of any plug-ins).
    static bool IsSkipMemory(const std::string& path);

  private:
    struct Entry {
        FileStamp stamp;
        SkipReason reason;
    };
    // Writes the header and every entry to m_path afresh; keeps it open.
    bool Rewrite();
    void Close();

    mutable std::mutex m_lock;
    std::string m_path;
    std::string m_signature;
    std::FILE* m_file = nullptr;
    std::unordered_map<std::string, Entry> m_entries;  // by the path's bytes
};
