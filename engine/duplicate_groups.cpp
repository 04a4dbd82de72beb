#include "duplicate_groups.h"

#include <algorithm>
#include <deque>
#include <numeric>
#include <unordered_map>

namespace {

// Union-find over interned paths, with path halving.
class PathSets {
  public:
    uint32_t Intern(const std::u16string& path) {
        const auto [it, added] = m_ids.try_emplace(path, static_cast<uint32_t>(m_parent.size()));
        if (added) {
            m_parent.push_back(it->second);
            m_paths.push_back(&it->first);
        }
        return it->second;
    }
    uint32_t Find(uint32_t id) {
        while (m_parent[id] != id) {
            m_parent[id] = m_parent[m_parent[id]];
            id = m_parent[id];
        }
        return id;
    }
    void Join(uint32_t a, uint32_t b) {
        a = Find(a);
        b = Find(b);
        if (a != b) {
            m_parent[a > b ? a : b] = a > b ? b : a;
        }
    }
    const std::u16string& Path(uint32_t id) const { return *m_paths[id]; }
    size_t Size() const { return m_parent.size(); }

  private:
    std::unordered_map<std::u16string, uint32_t> m_ids;  // node keys keep their address
    std::vector<uint32_t> m_parent;
    std::vector<const std::u16string*> m_paths;
};

}  // namespace

const char* FileRoleName(FileRole role) {
    switch (role) {
        case FileRole::kKeeper:
            return "keeper";
        case FileRole::kReference:
            return "reference";
        case FileRole::kDuplicate:
            break;
    }
    return "duplicate";
}

std::vector<PairGroup> GroupPairs(const std::vector<DuplicatePair>& records,
                                  const std::vector<uint32_t>& listed) {
    PathSets sets;
    std::vector<std::pair<uint32_t, uint32_t>> ends;  // per listed record in bounds
    std::vector<uint32_t> used;
    for (uint32_t record : listed) {
        if (record >= records.size()) {
            continue;
        }
        const uint32_t a = sets.Intern(records[record].path1);
        const uint32_t b = sets.Intern(records[record].path2);
        sets.Join(a, b);
        ends.emplace_back(a, b);
        used.push_back(record);
    }
    constexpr uint32_t kNoGroup = 0xFFFFFFFF;
    std::vector<uint32_t> groupOfRoot(sets.Size(), kNoGroup);
    std::vector<bool> placed(sets.Size(), false);
    std::vector<PairGroup> groups;
    for (size_t i = 0; i < ends.size(); ++i) {
        const uint32_t root = sets.Find(ends[i].first);
        if (groupOfRoot[root] == kNoGroup) {
            groupOfRoot[root] = static_cast<uint32_t>(groups.size());
            groups.emplace_back();
        }
        PairGroup& group = groups[groupOfRoot[root]];
        group.records.push_back(used[i]);
        for (uint32_t id : {ends[i].first, ends[i].second}) {
            if (!placed[id]) {
                placed[id] = true;
                group.files.push_back(sets.Path(id));
            }
        }
    }
    for (PairGroup& group : groups) {
        std::sort(group.records.begin(), group.records.end());
    }
    return groups;
}

std::vector<PairGroup> GroupPairs(const std::vector<DuplicatePair>& records) {
    std::vector<uint32_t> all(records.size());
    std::iota(all.begin(), all.end(), 0u);
    return GroupPairs(records, all);
}

std::vector<GroupMember> ArrangeGroup(const PairGroup& group,
                                      const std::vector<DuplicatePair>& records, size_t keeper,
                                      const std::vector<bool>& reference) {
    const size_t n = group.files.size();
    std::unordered_map<std::u16string_view, uint32_t> index;
    for (size_t i = 0; i < n; ++i) {
        index.emplace(group.files[i], static_cast<uint32_t>(i));
    }
    // Neighbours in the order of the pairs.
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> links(n);
    for (uint32_t record : group.records) {
        if (record >= records.size()) {
            continue;
        }
        const auto a = index.find(records[record].path1);
        const auto b = index.find(records[record].path2);
        if (a == index.end() || b == index.end() || a->second == b->second) {
            continue;
        }
        links[a->second].emplace_back(b->second, record);
        links[b->second].emplace_back(a->second, record);
    }
    std::vector<GroupMember> members;
    if (keeper >= n) {
        return members;
    }
    std::vector<bool> seen(n, false);
    std::deque<uint32_t> queue = {static_cast<uint32_t>(keeper)};
    seen[keeper] = true;
    std::vector<uint32_t> depth(n, 0);
    std::vector<uint32_t> tie(n, kNoRecord);
    while (!queue.empty()) {
        const uint32_t at = queue.front();
        queue.pop_front();
        GroupMember member;
        member.path = group.files[at];
        member.record = tie[at];
        member.depth = depth[at];
        member.role = at == keeper                               ? FileRole::kKeeper
                      : at < reference.size() && reference[at] ? FileRole::kReference
                                                                 : FileRole::kDuplicate;
        members.push_back(std::move(member));
        for (const auto& [next, record] : links[at]) {
            if (!seen[next]) {
                seen[next] = true;
                depth[next] = depth[at] + 1;
                tie[next] = record;
                queue.push_back(next);
            }
        }
    }
    return members;
}
