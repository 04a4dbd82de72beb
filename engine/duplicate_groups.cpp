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
        case FileRole::kLinked:
            return "linked";
        case FileRole::kTagsOnly:
            return "tags-only";
        case FileRole::kDuplicate:
            break;
    }
    return "duplicate";
}

std::vector<PairGroup> GroupPairs(const std::vector<DuplicatePair>& records,
                                  const std::vector<uint32_t>& listed) {
    // Files are numbered as they first appear in the listed pairs. Content
    // matches join files in one set of ids; pairs listed by tags join only
    // files that no content match reaches, in a second.
    PathSets ids;
    std::vector<std::pair<uint32_t, uint32_t>> ends;  // per listed record in bounds
    std::vector<uint32_t> used;
    for (uint32_t record : listed) {
        if (record >= records.size()) {
            continue;
        }
        ends.emplace_back(ids.Intern(records[record].path1), ids.Intern(records[record].path2));
        used.push_back(record);
    }
    const size_t fileCount = ids.Size();
    std::vector<bool> matched(fileCount, false);
    PathSets content;
    PathSets tags;
    for (uint32_t id = 0; id < fileCount; ++id) {
        content.Intern(ids.Path(id));
        tags.Intern(ids.Path(id));
    }
    for (size_t i = 0; i < ends.size(); ++i) {
        if (records[used[i]].contentMatch) {
            content.Join(ends[i].first, ends[i].second);
            matched[ends[i].first] = matched[ends[i].second] = true;
        }
    }
    for (size_t i = 0; i < ends.size(); ++i) {
        if (!matched[ends[i].first] && !matched[ends[i].second]) {
            tags.Join(ends[i].first, ends[i].second);
        }
    }
    // The group of each content set, in the order of its first match; each
    // tags set follows the first pair that leads from it to a matched file.
    constexpr uint32_t kNoGroup = 0xFFFFFFFF;
    std::vector<uint32_t> groupOf(fileCount, kNoGroup);  // by set root
    std::vector<PairGroup> groups;
    for (size_t i = 0; i < ends.size(); ++i) {
        const uint32_t root = content.Find(ends[i].first);
        if (records[used[i]].contentMatch && groupOf[root] == kNoGroup) {
            groupOf[root] = static_cast<uint32_t>(groups.size());
            groups.emplace_back();
        }
    }
    std::vector<uint32_t> tagsGroupOf(fileCount, kNoGroup);  // by tags set root
    for (size_t i = 0; i < ends.size(); ++i) {
        auto [a, b] = ends[i];
        if (matched[a] == matched[b]) {
            continue;
        }
        if (!matched[b]) {
            std::swap(a, b);
        }
        uint32_t& joined = tagsGroupOf[tags.Find(a)];
        if (joined == kNoGroup) {
            joined = groupOf[content.Find(b)];
        }
    }
    for (size_t i = 0; i < ends.size(); ++i) {
        const uint32_t a = ends[i].first;
        uint32_t& joined = tagsGroupOf[tags.Find(a)];
        if (!matched[a] && joined == kNoGroup) {
            joined = static_cast<uint32_t>(groups.size());
            groups.emplace_back();
        }
    }
    auto groupOfFile = [&](uint32_t id) {
        return matched[id] ? groupOf[content.Find(id)] : tagsGroupOf[tags.Find(id)];
    };
    // Files in the order they first appear: the matched ones of a group
    // first, then the others.
    std::vector<bool> placed(fileCount, false);
    for (const bool takeMatched : {true, false}) {
        for (const auto& [a, b] : ends) {
            for (const uint32_t id : {a, b}) {
                if (placed[id] || matched[id] != takeMatched) {
                    continue;
                }
                placed[id] = true;
                PairGroup& group = groups[groupOfFile(id)];
                group.files.push_back(ids.Path(id));
                group.contentFiles += takeMatched ? 1 : 0;
            }
        }
    }
    for (size_t i = 0; i < ends.size(); ++i) {
        const uint32_t g = groupOfFile(ends[i].first);
        if (g == groupOfFile(ends[i].second)) {
            groups[g].records.push_back(used[i]);
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

size_t KeeperCandidates(const PairGroup& group) {
    return group.contentFiles != 0 ? group.contentFiles : group.files.size();
}

size_t PickGroupKeeper(const PairGroup& group, const std::vector<FileFacts>& facts,
                       const std::vector<KeepRule>& rules) {
    const size_t n = std::min(KeeperCandidates(group), facts.size());
    if (n == 0) {
        return 0;
    }
    const std::vector<std::u16string> paths(group.files.begin(), group.files.begin() + n);
    const std::vector<FileFacts> candidates(facts.begin(), facts.begin() + n);
    return PickKeeper(paths, candidates, rules);
}

size_t PickGroupKeeper(const PairGroup& group, const std::vector<FileFacts>& facts,
                       const std::vector<KeepRule>& rules,
                       const std::vector<std::u16string>& chosen) {
    const size_t n = KeeperCandidates(group);
    for (auto it = chosen.rbegin(); it != chosen.rend(); ++it) {
        const auto at = std::find(group.files.begin(), group.files.begin() + n, *it);
        if (at != group.files.begin() + n) {
            return static_cast<size_t>(at - group.files.begin());
        }
    }
    return PickGroupKeeper(group, facts, rules);
}

std::vector<GroupMember> ArrangeGroup(const PairGroup& group,
                                      const std::vector<DuplicatePair>& records, size_t keeper,
                                      const std::vector<bool>& reference) {
    const size_t n = group.files.size();
    std::unordered_map<std::u16string_view, uint32_t> index;
    for (size_t i = 0; i < n; ++i) {
        index.emplace(group.files[i], static_cast<uint32_t>(i));
    }
    std::vector<GroupMember> members;
    if (keeper >= n) {
        return members;
    }
    // Neighbours in the order of the pairs, and each file's pair with the keeper.
    std::vector<std::vector<std::pair<uint32_t, uint32_t>>> links(n);
    std::vector<uint32_t> withKeeper(n, kNoRecord);
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
        if (a->second == keeper || b->second == keeper) {
            uint32_t& known = withKeeper[a->second == keeper ? b->second : a->second];
            if (known == kNoRecord ||
                (!records[known].contentMatch && records[record].contentMatch)) {
                known = record;
            }
        }
    }
    const bool copies = keeper < group.contentFiles;
    auto roleOf = [&](uint32_t at) {
        if (at == keeper) {
            return FileRole::kKeeper;
        }
        if (at < reference.size() && reference[at]) {
            return FileRole::kReference;
        }
        if (!copies || at >= group.contentFiles) {
            return FileRole::kTagsOnly;
        }
        return withKeeper[at] != kNoRecord && records[withKeeper[at]].contentMatch
                   ? FileRole::kDuplicate
                   : FileRole::kLinked;
    };
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
        member.record = withKeeper[at] != kNoRecord ? withKeeper[at] : tie[at];
        member.keeperRecord = withKeeper[at];
        member.depth = depth[at];
        member.role = roleOf(at);
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
