// CResultGroups: the listed pairs as groups of copies, each arranged around
// the copy the keeper rules suggest keeping. The facts the rules need (bit
// rate, duration, tags from the decoder plug-ins; size and age) are read on a
// thread of its own, so a large list never blocks the window; until a file's
// facts arrive it counts as unknown, and the keepers are chosen again when
// they do. The records belong to the main window (m_results), which must
// outlive this object. Main thread only, apart from the reading thread inside.
#pragma once

#include <QObject>
#include <QTimer>

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

#include "duplicate_groups.h"
#include "folder_roles.h"
#include "keeper_rules.h"

using ArrangedGroups = std::vector<std::vector<GroupMember>>;

// Reads FileFacts on a thread of its own with its own DecoderSet. deliver is
// called on that thread with each batch read.
class CFactsReader {
  public:
    using Batch = std::vector<std::pair<std::u16string, FileFacts>>;
    CFactsReader(std::optional<std::string> pluginFolder, std::function<void(Batch)> deliver);
    // Drops what is queued and waits for the file being read.
    ~CFactsReader();
    void Request(std::vector<std::u16string> paths);

  private:
    void Run();

    std::optional<std::string> m_pluginFolder;
    std::function<void(Batch)> m_deliver;
    std::mutex m_lock;
    std::condition_variable m_wake;
    std::deque<std::u16string> m_queue;  // guarded by m_lock
    bool m_stop = false;                 // guarded by m_lock
    std::thread m_thread;
};

class CResultGroups : public QObject {
    Q_OBJECT

  public:
    CResultGroups(const std::vector<DuplicatePair>& results,
                  std::optional<std::string> pluginFolder, QObject* parent = nullptr);
    ~CResultGroups() override;

    void SetRules(std::vector<KeepRule> rules, std::vector<std::u16string> preferred);
    const std::vector<KeepRule>& rules() const { return m_rules; }
    void SetRoles(FolderRoles roles);
    const FolderRoles& roles() const { return m_roles; }

    // path leads its group from now on, whatever the rules say (the last
    // such choice in a group wins); a file tied in by its tags alone cannot.
    // The groups follow at once.
    void KeepFile(const std::u16string& path);
    // Every group is led by the rules' choice again (a new scan).
    void ForgetChosenKeepers();

    // Groups these records (the pair list's rows) from now on. The groups
    // follow at once.
    void SetListed(std::vector<uint32_t> listed);
    const ArrangedGroups& Groups() const { return m_groups; }
    // Whether facts of grouped files are still being read.
    bool FactsPending() const { return m_pending != 0; }
    // The file's size in bytes as its facts were read; 0 while unknown.
    uint64_t SizeOf(const std::u16string& path) const;
    // Every file of every group, each once.
    std::vector<std::u16string> Files() const;

    // Facts given here win over read ones (tests).
    void SetFactsForTests(const std::u16string& path, const FileFacts& facts);

  signals:
    // The groups or their keepers changed.
    void GroupsChanged();

  private:
    void Arrange();
    void OnFactsRead(CFactsReader::Batch batch);

    const std::vector<DuplicatePair>& m_results;
    std::vector<KeepRule> m_rules = DefaultKeepRules();
    std::vector<std::u16string> m_preferred;
    std::vector<std::u16string> m_chosen;  // the files the user keeps, oldest choice first
    FolderRoles m_roles;
    std::vector<uint32_t> m_listed;
    std::vector<PairGroup> m_pairGroups;
    ArrangedGroups m_groups;
    // Facts known per file; a file absent here was never asked for.
    std::unordered_map<std::u16string, std::optional<FileFacts>> m_facts;
    size_t m_pending = 0;
    QTimer m_rearrange;  // facts arrive in batches; keepers are chosen again once per pause
    std::unique_ptr<CFactsReader> m_reader;
};
