#include "result_groups.h"

#include <algorithm>
#include <unordered_set>

#include "decoder_set.h"
#include "file_facts.h"

namespace {

// Facts are handed over in batches of this many files.
constexpr size_t kFactsBatch = 64;
// The keepers are chosen again this long after the last batch arrived.
constexpr int kRearrangeDelayMs = 150;

}  // namespace

CFactsReader::CFactsReader(std::optional<std::string> pluginFolder,
                           std::function<void(Batch)> deliver)
    : m_pluginFolder(std::move(pluginFolder)),
      m_deliver(std::move(deliver)),
      m_thread([this] { Run(); }) {}

CFactsReader::~CFactsReader() {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_one();
    m_thread.join();
}

void CFactsReader::Request(std::vector<std::u16string> paths) {
    {
        std::lock_guard<std::mutex> hold(m_lock);
        for (std::u16string& path : paths) {
            m_queue.push_back(std::move(path));
        }
    }
    m_wake.notify_one();
}

void CFactsReader::Run() {
    std::unique_ptr<DecoderSet> decoders;
    Batch batch;
    for (;;) {
        std::u16string path;
        {
            std::unique_lock<std::mutex> hold(m_lock);
            if (m_queue.empty() && !batch.empty()) {
                hold.unlock();
                m_deliver(std::move(batch));
                batch.clear();
                continue;
            }
            m_wake.wait(hold, [this] { return m_stop || !m_queue.empty(); });
            if (m_stop) {
                return;
            }
            path = std::move(m_queue.front());
            m_queue.pop_front();
        }
        if (!decoders) {
            decoders = m_pluginFolder ? std::make_unique<DecoderSet>(*m_pluginFolder)
                                      : std::make_unique<DecoderSet>();
        }
        FileFacts facts;
        ReadFileFacts(*decoders, path, &facts);  // a file no plug-in reads keeps zeros
        batch.emplace_back(std::move(path), facts);
        if (batch.size() >= kFactsBatch) {
            m_deliver(std::move(batch));
            batch.clear();
        }
    }
}

CResultGroups::CResultGroups(const std::vector<DuplicatePair>& results,
                             std::optional<std::string> pluginFolder, QObject* parent)
    : QObject(parent), m_results(results) {
    m_rearrange.setSingleShot(true);
    m_rearrange.setInterval(kRearrangeDelayMs);
    connect(&m_rearrange, &QTimer::timeout, this, &CResultGroups::Arrange);
    m_reader = std::make_unique<CFactsReader>(std::move(pluginFolder), [this](auto batch) {
        // Queued to the main thread; dropped if this object is gone by then.
        QMetaObject::invokeMethod(
            this, [this, batch = std::move(batch)]() mutable { OnFactsRead(std::move(batch)); },
            Qt::QueuedConnection);
    });
}

CResultGroups::~CResultGroups() {
    m_reader.reset();
}

void CResultGroups::SetRules(std::vector<KeepRule> rules, std::vector<std::u16string> preferred) {
    m_rules = std::move(rules);
    m_preferred = std::move(preferred);
    Arrange();
}

void CResultGroups::SetRoles(FolderRoles roles) {
    m_roles = std::move(roles);
    Arrange();
}

void CResultGroups::KeepFile(const std::u16string& path) {
    m_chosen.erase(std::remove(m_chosen.begin(), m_chosen.end(), path), m_chosen.end());
    m_chosen.push_back(path);
    Arrange();
}

void CResultGroups::ForgetChosenKeepers() {
    if (!m_chosen.empty()) {
        m_chosen.clear();
        Arrange();
    }
}

void CResultGroups::SetListed(std::vector<uint32_t> listed) {
    m_listed = std::move(listed);
    m_pairGroups = GroupPairs(m_results, m_listed);
    std::vector<std::u16string> unknown;
    for (const PairGroup& group : m_pairGroups) {
        for (const std::u16string& path : group.files) {
            if (m_facts.try_emplace(path).second) {
                unknown.push_back(path);
            }
        }
    }
    if (!unknown.empty()) {
        m_pending += unknown.size();
        m_reader->Request(std::move(unknown));
    }
    Arrange();
}

void CResultGroups::SetFactsForTests(const std::u16string& path, const FileFacts& facts) {
    m_facts[path] = facts;
    Arrange();
}

void CResultGroups::OnFactsRead(CFactsReader::Batch batch) {
    for (auto& [path, facts] : batch) {
        std::optional<FileFacts>& known = m_facts[path];
        if (!known) {
            known = facts;
        }
        m_pending -= m_pending > 0 ? 1 : 0;
    }
    m_rearrange.start();
}

void CResultGroups::Arrange() {
    m_rearrange.stop();
    m_groups.clear();
    m_groups.reserve(m_pairGroups.size());
    for (const PairGroup& group : m_pairGroups) {
        std::vector<FileFacts> facts(group.files.size());
        std::vector<bool> reference(group.files.size());
        for (size_t i = 0; i < group.files.size(); ++i) {
            const std::u16string& path = group.files[i];
            const auto known = m_facts.find(path);
            if (known != m_facts.end() && known->second) {
                facts[i] = *known->second;
            }
            reference[i] = m_roles.IsReference(path);
            facts[i].reference = reference[i];
            facts[i].preferred =
                std::any_of(m_preferred.begin(), m_preferred.end(),
                            [&](const std::u16string& f) { return PathIsInside(path, f); });
        }
        m_groups.push_back(ArrangeGroup(
            group, m_results, PickGroupKeeper(group, facts, m_rules, m_chosen), reference));
    }
    emit GroupsChanged();
}

uint64_t CResultGroups::SizeOf(const std::u16string& path) const {
    const auto known = m_facts.find(path);
    return known != m_facts.end() && known->second ? known->second->size : 0;
}

std::vector<std::u16string> CResultGroups::Files() const {
    std::vector<std::u16string> files;
    for (const std::vector<GroupMember>& group : m_groups) {
        for (const GroupMember& member : group) {
            files.push_back(member.path);
        }
    }
    return files;
}
