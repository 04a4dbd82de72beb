#include "keeper_files.h"

#include "qt_text.h"
#include "result_actions.h"
#include "result_groups.h"
#include "tag_fill_dlg.h"

#include <QAction>
#include <QApplication>
#include <QMenu>
#include <QProgressDialog>

#include <unordered_set>

namespace {

// A message names at most this many files; the rest are counted.
constexpr size_t kNamedFiles = 12;

template <typename Item, typename Line>
QString FileList(const std::vector<Item>& items, Line line) {
    QStringList lines;
    for (size_t i = 0; i < items.size() && i < kNamedFiles; ++i) {
        lines << line(items[i]);
    }
    if (items.size() > kNamedFiles) {
        lines << CKeeperFiles::tr("and %n more", nullptr,
                                  static_cast<int>(items.size() - kNamedFiles));
    }
    return lines.join(QLatin1Char('\n'));
}

QString FromBytes(const std::string& path) {
    return ToQString(BytesToU16(path));
}

}  // namespace

CKeeperFiles::CKeeperFiles(CResultActions& results, Hooks hooks, QWidget* window)
    : QObject(window), m_results(results), m_hooks(std::move(hooks)), m_window(window) {
    m_fillTags = new QAction(tr("&Fill the keeper's tags..."), this);
    m_fillTags->setStatusTip(
        tr("Fill the empty tags of each keeper from its copies, after showing what would change"));
    connect(m_fillTags, &QAction::triggered, this, &CKeeperFiles::FillKeeperTags);
}

void CKeeperFiles::AddTo(QMenu* menu) {
    if (menu != nullptr) {
        menu->addSeparator();
        menu->addAction(m_fillTags);
    }
}

void CKeeperFiles::FillKeeperTags() {
    m_results.RegroupNow();
    // A copy: the groups may change while the progress dialog lets events in.
    const ArrangedGroups groups = m_results.groups().Groups();
    std::vector<KeeperTagPlan> plans;
    bool anyFill = false;
    {
        QProgressDialog progress(tr("Reading the tags of the groups..."), tr("Cancel"), 0,
                                 static_cast<int>(groups.size()), m_window);
        progress.setWindowModality(Qt::WindowModal);
        for (size_t i = 0; i < groups.size(); ++i) {
            progress.setValue(static_cast<int>(i));
            if (progress.wasCanceled()) {
                return;
            }
            if (groups[i].size() < 2) {
                continue;
            }
            KeeperTagPlan plan = PlanKeeperTags(groups[i]);
            anyFill = anyFill || !plan.fills.empty();
            if (!plan.fills.empty() || !plan.problem.empty()) {
                plans.push_back(std::move(plan));
            }
        }
    }
    if (!anyFill) {
        m_hooks.message(groups.empty() ? tr("There are no groups of copies: scan first.")
                                       : tr("No keeper lacks a tag that one of its copies has."),
                        false);
        return;
    }
    CTagFillDlg dialog(std::move(plans), m_window);
    if (m_hooks.runDialog(&dialog)) {
        WritePlans(dialog.ChosenPlans());
    }
}

void CKeeperFiles::WritePlans(const std::vector<KeeperTagPlan>& plans) {
    TagFillResult total;
    const bool written = Rewrite("fill tags", [&](const BeforeRewrite& beforeRewrite) {
        QProgressDialog progress(tr("Filling the keepers' tags..."), tr("Stop"), 0,
                                 static_cast<int>(plans.size()), m_window);
        progress.setWindowModality(Qt::WindowModal);
        for (size_t i = 0; i < plans.size() && !progress.wasCanceled(); ++i) {
            progress.setValue(static_cast<int>(i));
            // One keeper at a time, so that Stop is heard between files.
            TagFillResult one = WriteKeeperTags({plans[i]}, beforeRewrite);
            total.filesWritten += one.filesWritten;
            total.fieldsFilled += one.fieldsFilled;
            total.failures.insert(total.failures.end(), one.failures.begin(), one.failures.end());
        }
    });
    if (!written) {
        return;
    }
    QString text = tr("%n keeper(s) retagged.", nullptr, static_cast<int>(total.filesWritten)) +
                   QLatin1Char(' ') +
                   tr("%n tag(s) filled.", nullptr, static_cast<int>(total.fieldsFilled));
    if (!total.failures.empty()) {
        text += QStringLiteral("\n\n") +
                tr("%n keeper(s) stayed as they were:", nullptr,
                   static_cast<int>(total.failures.size())) +
                QLatin1Char('\n') + FileList(total.failures, [](const TagFillFailure& f) {
                    return tr("%1: %2").arg(ToQString(f.path), QString::fromStdString(f.reason));
                });
    }
    m_hooks.message(text, !total.failures.empty());
}

bool CKeeperFiles::Rewrite(const std::string& what,
                           const std::function<void(const BeforeRewrite&)>& write) {
    if (!m_rewriter) {
        write(BeforeRewrite());
        return true;
    }
    return m_rewriter(what, write);
}

std::vector<FollowedFile> CKeeperFiles::KeepersOf(const std::vector<std::u16string>& gone) {
    m_results.RegroupNow();
    const std::unordered_set<std::u16string> went(gone.begin(), gone.end());
    std::vector<FollowedFile> followed;
    for (const std::vector<GroupMember>& group : m_results.groups().Groups()) {
        if (group.empty() || went.count(group[0].path) != 0) {
            continue;
        }
        for (size_t i = 1; i < group.size(); ++i) {
            if (went.count(group[i].path) != 0) {
                followed.push_back({group[i].path, group[0].path});
            }
        }
    }
    return followed;
}

void CKeeperFiles::OfferPlaylistFollow(const std::vector<FollowedFile>& followed,
                                       const std::vector<std::u16string>& folders) {
    if (followed.empty() || folders.empty()) {
        return;
    }
    std::vector<std::string> roots;
    for (const std::u16string& folder : folders) {
        roots.push_back(U16ToBytes(folder));
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const PlaylistFollowPlan plan = PlanPlaylistFollow(roots, followed);
    QApplication::restoreOverrideCursor();
    if (plan.rewrites.empty()) {
        return;
    }
    size_t lines = 0;
    for (const PlaylistRewrite& rewrite : plan.rewrites) {
        lines += rewrite.changes.size();
    }
    QString question =
        tr("%n playlist(s) in the scanned folders name files that went:", nullptr,
           static_cast<int>(plan.rewrites.size())) +
        QLatin1Char('\n') +
        FileList(plan.rewrites, [](const PlaylistRewrite& r) { return FromBytes(r.playlist); }) +
        QStringLiteral("\n\n") +
        tr("Rewrite %n line(s) to name the kept copies instead?", nullptr, static_cast<int>(lines));
    if (!plan.unreadable.empty()) {
        question += QStringLiteral("\n\n") +
                    tr("%n other playlist(s) could not be read and stay as they are.", nullptr,
                       static_cast<int>(plan.unreadable.size()));
    }
    if (!m_hooks.confirm(question)) {
        return;
    }
    PlaylistFollowResult result;
    if (!Rewrite("fix playlists", [&](const BeforeRewrite& beforeRewrite) {
            result = WritePlaylistFollow(plan, beforeRewrite);
        })) {
        return;
    }
    if (!result.failures.empty()) {
        m_hooks.message(tr("%n playlist(s) stayed as they were:", nullptr,
                           static_cast<int>(result.failures.size())) +
                            QLatin1Char('\n') +
                            FileList(result.failures,
                                     [](const PlaylistProblem& p) {
                                         return tr("%1: %2").arg(FromBytes(p.playlist),
                                                                 QString::fromStdString(p.reason));
                                     }),
                        true);
    }
}
