// CResultActions' commands on one chosen file: "Keep this one", "Mark all
// in this folder" and "Unmark all in this folder", and the word in the status
// bar when a file of a reference folder cannot be marked. Main thread only.
#include "result_actions.h"

#include <algorithm>
#include <string_view>

#include "mark_state.h"
#include "qt_text.h"
#include "result_groups.h"

void CResultActions::SayWhyUnmarkable(const std::vector<std::u16string>& files) {
    std::vector<std::u16string> kept;
    for (const std::u16string& file : files) {
        if (!m_marks->CanMark(file)) {
            kept.push_back(file);
        }
    }
    if (kept.empty() || !m_hooks.status) {
        return;
    }
    m_hooks.status(kept.size() == 1
                       ? tr("%1 is in a reference folder: it is always kept and never marked")
                             .arg(ToQString(kept.front()))
                       : tr("%n file(s) in a reference folder: always kept and never marked",
                            nullptr, static_cast<int>(kept.size())));
}

namespace {

// The group that holds path; null when none does.
const std::vector<GroupMember>* GroupOfFile(const ArrangedGroups& groups,
                                            const std::u16string& path) {
    for (const std::vector<GroupMember>& group : groups) {
        for (const GroupMember& member : group) {
            if (member.path == path) {
                return &group;
            }
        }
    }
    return nullptr;
}

// The folder a file lies in, without a trailing '/' ("/" for a file under the root).
std::u16string_view FolderOf(std::u16string_view path) {
    const size_t slash = path.rfind(u'/');
    if (slash == std::u16string_view::npos) {
        return {};
    }
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

}  // namespace

void CResultActions::KeepThisOne(const std::u16string& path) {
    if (path.empty()) {
        return;
    }
    RegroupNow();
    const std::vector<GroupMember>* before = GroupOfFile(m_groups->Groups(), path);
    if (before == nullptr) {
        return;
    }
    const bool hadMarks = std::any_of(before->begin(), before->end(), [this](const GroupMember& m) {
        return m_marks->IsMarked(m.path);
    });
    m_groups->KeepFile(path);
    const std::vector<GroupMember>* group = GroupOfFile(m_groups->Groups(), path);
    if (group == nullptr || group->front().path != path) {
        if (m_hooks.status) {
            m_hooks.status(
                tr("%1 is alike by its tags alone and cannot lead its group").arg(ToQString(path)));
        }
        return;
    }
    std::vector<std::u16string> members;
    std::vector<std::u16string> duplicates;
    for (const GroupMember& member : *group) {
        members.push_back(member.path);
        if (member.role == FileRole::kDuplicate) {
            duplicates.push_back(member.path);
        }
    }
    if (hadMarks) {
        m_marks->SetMarks(members, false);
        m_marks->SetMarks(duplicates, true);
    } else {
        m_marks->SetMarked(path, false);
    }
    if (m_hooks.status) {
        m_hooks.status(tr("%1 leads its group until the next scan").arg(ToQString(path)));
    }
}

void CResultActions::MarkFolder(const std::u16string& path, bool mark) {
    const std::u16string_view folder = FolderOf(path);
    if (folder.empty()) {
        return;
    }
    RegroupNow();
    std::vector<std::u16string> files;
    size_t spared = 0;
    for (const std::vector<GroupMember>& group : m_groups->Groups()) {
        std::vector<std::u16string> here;
        size_t keptElsewhere = 0;  // copies that stay: unmarked outside the folder, or reference
        for (const GroupMember& member : group) {
            if (FolderOf(member.path) == folder) {
                here.push_back(member.path);
                keptElsewhere += m_marks->CanMark(member.path) ? 0 : 1;
            } else if (!m_marks->IsMarked(member.path)) {
                ++keptElsewhere;
            }
        }
        if (mark && keptElsewhere == 0 && !here.empty()) {
            // Every copy would be marked: the keeper stays, else the first copy here.
            const auto keeper = std::find(here.begin(), here.end(), group.front().path);
            here.erase(keeper != here.end() ? keeper : here.begin());
            ++spared;
        }
        files.insert(files.end(), here.begin(), here.end());
    }
    m_marks->SetMarks(files, mark);
    if (spared > 0 && m_hooks.status) {
        m_hooks.status(tr("%n group(s) keep a copy in this folder unmarked: never the last copy",
                          nullptr, static_cast<int>(spared)));
    }
}
