// Acting on a large list: grouping 100,000 pairs, choosing the keepers of
// 20,000 groups, and scrolling the group view of that many groups on the
// offscreen platform.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QScrollBar>

#include <cstdint>

#include <memory>
#include <string>

#include "duplicate_groups.h"
#include "group_model.h"
#include "keeper_rules.h"
#include "main_frame.h"
#include "result_actions.h"
#include "result_groups.h"
#include "results_view.h"

namespace {

constexpr size_t kPairs = 100000;
constexpr size_t kGroups = 20000;

uint32_t g_seed = 12345;
uint32_t Next() {
    g_seed = g_seed * 1664525u + 1013904223u;
    return g_seed >> 8;
}

std::u16string Track(size_t group, size_t copy) {
    return QStringLiteral("/home/user/Music/Artist %1/Album %2/Track %3 copy %4.mp3")
        .arg(group % 500)
        .arg(group % 2000)
        .arg(group)
        .arg(copy)
        .toStdU16String();
}

// count pairs (or those of maxGroups groups) in groups of 2 to 6 copies,
// each copy paired with an earlier one (chains and stars), in the order a
// scan finds them.
std::vector<DuplicatePair> Pairs(size_t count, size_t maxGroups = SIZE_MAX) {
    std::vector<DuplicatePair> pairs;
    size_t group = 0;
    while (pairs.size() < count && group < maxGroups) {
        const size_t copies = 2 + Next() % 5;
        for (size_t c = 1; c < copies && pairs.size() < count; ++c) {
            DuplicatePair p;
            p.path1 = Track(group, c);
            p.path2 = Track(group, Next() % c);
            p.contentPercent = static_cast<float>(Next() % 1000) / 10.0f;
            pairs.push_back(std::move(p));
        }
        ++group;
    }
    return pairs;
}

void BM_GroupPairs(benchmark::State& state) {
    const std::vector<DuplicatePair> pairs = Pairs(static_cast<size_t>(state.range(0)));
    size_t groups = 0;
    for (auto _ : state) {
        groups = GroupPairs(pairs).size();
    }
    state.counters["groups"] = static_cast<double>(groups);
}

void BM_PickAndArrange(benchmark::State& state) {
    std::vector<DuplicatePair> pairs = Pairs(kPairs);
    std::vector<PairGroup> groups = GroupPairs(pairs);
    groups.resize(std::min(groups.size(), static_cast<size_t>(state.range(0))));
    std::vector<std::vector<FileFacts>> facts;
    for (const PairGroup& g : groups) {
        std::vector<FileFacts> f(g.files.size());
        for (FileFacts& one : f) {
            one.bitrate = 128000 * (1 + Next() % 3);
            one.durationMs = 200000 + Next() % 3;
            one.tagsFilled = Next() % 4;
            one.size = Next();
            one.modified = Next();
        }
        facts.push_back(std::move(f));
    }
    const std::vector<KeepRule> rules = DefaultKeepRules();
    for (auto _ : state) {
        for (size_t i = 0; i < groups.size(); ++i) {
            const size_t keeper = PickKeeper(groups[i].files, facts[i], rules);
            benchmark::DoNotOptimize(ArrangeGroup(groups[i], pairs, keeper, {}));
        }
    }
    state.counters["groups"] = static_cast<double>(groups.size());
}

// A window whose group view shows kGroups groups.
std::unique_ptr<CMainFrame> GroupWindow(const QString& settings) {
    FrameStartup startup;
    startup.loadCache = false;
    startup.startPool = false;
    startup.allowUpdateCheck = false;
    startup.settingsPath = settings;
    startup.notDuplicatesPath = QDir::temp().filePath("harmonyfox-bench-nd.txt").toStdString();
    startup.pluginFolder = std::string("/nonexistent");
    auto frame = std::make_unique<CMainFrame>(std::move(startup));
    frame->resize(1200, 800);
    frame->show();
    std::vector<DuplicatePair> pairs = Pairs(kPairs, kGroups);
    {
        std::lock_guard<std::mutex> hold(frame->scan().pairsLock);
        frame->scan().PendingPairs = std::move(pairs);
    }
    frame->scan().Post(WM_PAIRS_READY);
    QCoreApplication::sendPostedEvents(frame.get());
    frame->resultActions()->ShowGroups(true);
    QCoreApplication::processEvents();
    return frame;
}

void BM_ScrollGroupPage(benchmark::State& state) {
    const QString settings = QDir::temp().filePath(QStringLiteral("harmonyfox-groups-bench.ini"));
    auto frame = GroupWindow(settings);
    CResultsView* view = frame->resultActions()->groupView();
    QScrollBar* bar = view->verticalScrollBar();
    int position = 0;
    for (auto _ : state) {
        position = (position + bar->pageStep()) % (bar->maximum() + 1);
        bar->setValue(position);
        view->viewport()->repaint();
    }
    state.counters["rows"] = view->model()->rowCount();
    frame.reset();
    QFile::remove(settings);
}

BENCHMARK(BM_GroupPairs)->Arg(kPairs)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PickAndArrange)->Arg(kGroups)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollGroupPage)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
