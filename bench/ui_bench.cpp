// How the results list copes with many pairs: sorting a column (again, or
// each in turn), pairs arriving into a sorted list, and scrolling a page with
// 20,000 rows (HF_BENCH_ROWS=100000 for a large library), on the offscreen
// platform. With
// --screenshot=<file.png> it instead saves a picture of the window with a
// few made-up rows, and with --scan=<folder> as well, of the window after a
// real scan of that folder through the plug-ins beside the tool.
#include <benchmark/benchmark.h>
#include <QApplication>
#include <QCollator>
#include <QDebug>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHeaderView>
#include <QLabel>
#include <QLocale>
#include <QPixmap>
#include <QScrollBar>
#include <QTest>

#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "folders_dlg.h"
#include "main_frame.h"
#include "progress_dlg.h"
#include "results_model.h"
#include "results_view.h"

namespace {

// 20,000 rows unless HF_BENCH_ROWS names another number.
const int kRows = qEnvironmentVariableIsSet("HF_BENCH_ROWS")
                      ? qEnvironmentVariableIntValue("HF_BENCH_ROWS")
                      : 20000;

QString g_settingsPath;

std::unique_ptr<CMainFrame> MakeFrame() {
    FrameStartup startup;
    startup.loadCache = false;
    startup.startPool = false;
    startup.allowUpdateCheck = false;
    startup.settingsPath = g_settingsPath;
    startup.pluginFolder = std::string("/nonexistent");
    auto frame = std::make_unique<CMainFrame>(std::move(startup));
    frame->resize(1200, 800);
    frame->show();
    QCoreApplication::processEvents();
    return frame;
}

void Fill(CMainFrame& frame, int rows) {
    uint32_t seed = 12345;
    auto next = [&seed] {
        seed = seed * 1664525u + 1013904223u;
        return seed >> 8;
    };
    {
        std::lock_guard<std::mutex> hold(frame.scan().pairsLock);
        for (int i = 0; i < rows; ++i) {
            DuplicatePair pair;
            const std::string artist = "Artist " + std::to_string(next() % 500);
            const std::string album = "Album " + std::to_string(next() % 2000);
            pair.path1 = QStringLiteral("/home/user/Music/%1/%2/%3 - Track %4.mp3")
                             .arg(QString::fromStdString(artist), QString::fromStdString(album))
                             .arg(next() % 20)
                             .arg(i)
                             .toStdU16String();
            pair.path2 = QStringLiteral("/media/backup/Music/%1/Track %2 (copy).mp3")
                             .arg(QString::fromStdString(artist))
                             .arg(next() % 100000)
                             .toStdU16String();
            pair.contentPercent = static_cast<float>(next() % 1000) / 10.0f;
            pair.tagPercent = static_cast<float>(next() % 1000) / 10.0f;
            pair.experimentalPercent =
                (i % 3 == 0) ? -1.0f : static_cast<float>(next() % 1000) / 10.0f;
            frame.scan().PendingPairs.push_back(std::move(pair));
        }
    }
    frame.scan().Post(WM_PAIRS_READY);
    QCoreApplication::sendPostedEvents(&frame);
}

void BM_TakePairs(benchmark::State& state) {
    for (auto _ : state) {
        state.PauseTiming();
        auto frame = MakeFrame();
        state.ResumeTiming();
        Fill(*frame, kRows);
        QCoreApplication::processEvents();
        state.PauseTiming();
        frame.reset();
        state.ResumeTiming();
    }
}

void BM_SortColumn(benchmark::State& state) {
    const int column = static_cast<int>(state.range(0));
    auto frame = MakeFrame();
    Fill(*frame, kRows);
    for (auto _ : state) {
        frame->SortByColumn(column);
        // The sort counts as done when the list has been drawn again.
        frame->list()->viewport()->repaint();
    }
}

// A click on another column each time: no order of an earlier sort helps.
void BM_SortEachColumnInTurn(benchmark::State& state) {
    auto frame = MakeFrame();
    Fill(*frame, kRows);
    int column = 0;
    for (auto _ : state) {
        frame->SortByColumn(column);
        frame->list()->viewport()->repaint();
        column = (column + 1) % kResultColumnCount;
    }
}

// 100 pairs arriving one by one into a list of kRows rows sorted by path:
// each goes to its place.
void BM_SortedArrival(benchmark::State& state) {
    auto frame = MakeFrame();
    Fill(*frame, kRows);
    frame->SortByColumn(kColumnFile1);
    for (auto _ : state) {
        for (int i = 0; i < 100; ++i) {
            {
                std::lock_guard<std::mutex> hold(frame->scan().pairsLock);
                DuplicatePair pair;
                pair.path1 = QStringLiteral("/home/user/Music/Late/%1.mp3").arg(i).toStdU16String();
                pair.path2 = u"/media/backup/late.mp3";
                frame->scan().PendingPairs.push_back(std::move(pair));
            }
            frame->scan().Post(WM_PAIRS_READY);
            QCoreApplication::sendPostedEvents(frame.get());
        }
    }
    state.SetItemsProcessed(state.iterations() * 100);
}

void BM_ScrollPage(benchmark::State& state) {
    auto frame = MakeFrame();
    Fill(*frame, kRows);
    QScrollBar* bar = frame->list()->verticalScrollBar();
    int position = 0;
    for (auto _ : state) {
        position = (position + bar->pageStep()) % (bar->maximum() + 1);
        bar->setValue(position);
        frame->list()->viewport()->repaint();
    }
}

void BM_ScrollToEnd(benchmark::State& state) {
    auto frame = MakeFrame();
    Fill(*frame, kRows);
    QScrollBar* bar = frame->list()->verticalScrollBar();
    bool end = false;
    for (auto _ : state) {
        end = !end;
        bar->setValue(end ? bar->maximum() : 0);
        frame->list()->viewport()->repaint();
    }
}

void BM_CellTexts(benchmark::State& state) {
    auto frame = MakeFrame();
    Fill(*frame, kRows);
    for (auto _ : state) {
        for (int row = 0; row < kRows; ++row) {
            benchmark::DoNotOptimize(frame->list()->CellText(row, kColumnFile1));
        }
    }
}

void BM_SortKeys(benchmark::State& state) {
    auto frame = MakeFrame();
    Fill(*frame, kRows);
    QCollator collator;
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    std::vector<QString> texts;
    for (int row = 0; row < kRows; ++row) {
        texts.push_back(frame->list()->CellText(row, kColumnFile1));
    }
    for (auto _ : state) {
        for (const QString& text : texts) {
            benchmark::DoNotOptimize(collator.sortKey(text));
        }
    }
}

BENCHMARK(BM_CellTexts)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortKeys)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TakePairs)->Unit(benchmark::kMillisecond)->Iterations(3);
BENCHMARK(BM_SortColumn)
    ->Arg(kColumnFile1)
    ->Arg(kColumnContent)
    ->Arg(kColumnTags)
    ->Arg(kColumnExperimental)
    ->Arg(kColumnFile2)
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortEachColumnInTurn)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SortedArrival)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollPage)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ScrollToEnd)->Unit(benchmark::kMillisecond);

// A real scan of folder with the plug-ins beside this tool, its first row
// selected (the details pane reads the files), saved as a picture.
int ScanScreenshot(const char* folder, const char* path) {
    const QString cache = QDir::temp().filePath(QStringLiteral("harmonyfox-ui-bench-cache.dat"));
    QFile::remove(cache);
    FrameStartup startup;
    startup.cachePath = cache.toStdString();
    startup.allowUpdateCheck = false;
    startup.settingsPath = g_settingsPath;
    auto frame = std::make_unique<CMainFrame>(std::move(startup));
    frame->resize(1200, 700);
    frame->show();
    frame->SetFolderDialogForTests(
        [folder](QWidget*, const QString&, const QString&) {
            return QString::fromLocal8Bit(folder);
        },
        [](QDialog* dialog) {
            static_cast<CFoldersDlg*>(dialog)->AddFolder();
            dialog->done(QDialog::Accepted);
            return true;
        });
    frame->Command(ID_FILE_OPEN);
    QElapsedTimer clock;
    clock.start();
    while ((frame->ScanRunning() || frame->model()->rowCount() == 0) && clock.elapsed() < 120000) {
        QTest::qWait(50);
    }
    QTest::qWait(400);
    std::printf("scan: %d rows in %lld ms\n", frame->model()->rowCount(),
                static_cast<long long>(clock.elapsed()));
    if (frame->model()->rowCount() > 0) {
        frame->list()->selectRow(0);
    }
    QTest::qWait(200);
    const bool saved = frame->grab().save(QString::fromLocal8Bit(path));
    QFile::remove(cache);
    return saved ? 0 : 1;
}

int Screenshot(const char* path) {
    auto frame = MakeFrame();
    Fill(*frame, 40);
    frame->model()->SetImage(1, kColumnFile1, kImageMarked);
    frame->model()->SetImage(3, kColumnFile2, kImageMarked);
    frame->SortByColumn(kColumnContent);
    frame->list()->selectRow(2);
    QCoreApplication::processEvents();
    const bool saved = frame->grab().save(QString::fromLocal8Bit(path));
    if (qEnvironmentVariableIsSet("HF_DEBUG_PROGRESS")) {
        for (QWidget* w : frame->progress()->findChildren<QWidget*>()) {
            qWarning() << w->metaObject()->className() << w->geometry() << w->isVisible()
                       << (qobject_cast<QLabel*>(w) ? qobject_cast<QLabel*>(w)->text() : QString());
        }
        qWarning() << frame->progress()->geometry();
    }
    return saved ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    QApplication app(argc, argv);
    // The collation of the file columns: a user's locale sorts through ICU,
    // the C locale by code points.
    if (qEnvironmentVariableIsSet("HF_BENCH_LOCALE")) {
        QLocale::setDefault(QLocale(qEnvironmentVariable("HF_BENCH_LOCALE")));
    }
    const QString settings = QDir::temp().filePath(QStringLiteral("harmonyfox-ui-bench.ini"));
    g_settingsPath = settings;
    QFile::remove(settings);
    const char* scan = nullptr;
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--scan=", 7) == 0) {
            scan = argv[i] + 7;
        }
    }
    for (int i = 1; i < argc; ++i) {
        if (std::strncmp(argv[i], "--screenshot=", 13) == 0) {
            return scan ? ScanScreenshot(scan, argv[i] + 13) : Screenshot(argv[i] + 13);
        }
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    QFile::remove(settings);
    return 0;
}
