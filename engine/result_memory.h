// ResultMemory: the pairs that the last complete scan listed, with the
// comparison settings they were judged under and every file that joined that
// scan with its stamp. A rescan under the same settings takes the pairs of
// two unchanged files from here and compares only the new or changed files
// with the rest. Kept in a small file beside the fingerprint cache, named
// after it ("cache.pairs"), written whole. The front end's scan controller
// owns it; once loaded it is read-only, and workers may call Knows from any
// thread. File format in docs/scan-engine.md.
#pragma once

#include <cstdint>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "decoder_contract.h"
#include "file_stamp.h"
#include "scan_owner.h"

// What the listed pairs depend on besides the files: the compare method,
// the sensitivity and the strict comparison. The experimental figure is not
// kept, so a scan that asks for it keeps nothing.
struct ResultKey {
    int32_t method = 0;
    float sensitivity = 0.0f;
    bool strict = false;
    bool operator==(const ResultKey&) const = default;
};
// The key of the process's comparison settings now.
ResultKey CurrentResultKey();

class ResultMemory {
  public:
    // The memory beside the cache file at cachePath: its name with the
    // extension ".pairs".
    static std::string PathBeside(const std::string& cachePath);

    // Reads the file at path. S_OK with nothing known when no file is there
    // or it is damaged (it is then replaced at the next Save); E_FILE_FOREIGN
    // when a file that is not ours is there (left alone; Save refuses).
    HRESULT Load(const std::string& path);
    // Writes key, files and the pairs among them (isUpdate records are left
    // out) to the file Load read, as a whole. false when it cannot.
    bool Save(const ResultKey& key, const std::vector<std::pair<std::u16string, FileStamp>>& files,
              const std::vector<DuplicatePair>& pairs);

    // Whether the last complete scan was judged under key.
    bool Holds(const ResultKey& key) const { return m_loaded && m_key == key; }
    // Whether its pairs hold every pair that key lists: judged by the same
    // method and comparison at the same or a lower sensitivity (each rule's
    // thresholds only rise with the sensitivity). Unless Holds(key), each
    // kept pair must be judged again.
    bool Covers(const ResultKey& key) const {
        return m_loaded && m_key.method == key.method && m_key.strict == key.strict &&
               m_key.sensitivity <= key.sensitivity;
    }
    // Whether path joined the last complete scan with stamp. Any thread.
    bool Knows(const std::u16string& path, const FileStamp& stamp) const;
    // The kept pairs whose two files are both in joined.
    std::vector<DuplicatePair> PairsAmong(const std::unordered_set<std::u16string>& joined) const;

  private:
    struct Kept {
        uint32_t file1;
        uint32_t file2;
        float contentPercent;
        float tagPercent;
        bool contentMatch;
        int8_t shift;
        bool narrowBand;
        bool sameFingerprint;
    };
    std::string m_path;
    bool m_foreign = false;
    bool m_loaded = false;
    ResultKey m_key;
    std::vector<std::u16string> m_files;
    std::unordered_map<std::u16string, FileStamp> m_stamps;
    std::vector<Kept> m_pairs;
};
