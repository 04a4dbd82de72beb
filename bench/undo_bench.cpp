// Trashing N files (default 1,000) through the action journal and taking
// them back with Undo, in a temporary folder with a trash of its own: prints
// the time of each. Prints figures; no Google Benchmark, since one action is
// the whole measurement.
//
// Run: build/bin/undo_bench [N] [FOLDER]   (FOLDER: where the files, the
// journal and the trash go, default the system's temporary folder; all is
// removed afterwards)
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "file_actions.h"

namespace fs = std::filesystem;

namespace {

constexpr size_t kDefaultFiles = 1000;
constexpr size_t kFileBytes = 4096;

double SecondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    const size_t count = argc > 1 ? std::strtoul(argv[1], nullptr, 10) : kDefaultFiles;
    const fs::path base = argc > 2 ? fs::path(argv[2]) : fs::temp_directory_path();
    const fs::path root = base / ("undo_bench." + std::to_string(getpid()));
    std::vector<std::string> files;
    const std::string bytes(kFileBytes, 'x');
    for (size_t i = 0; i < count; ++i) {
        const fs::path file =
            root / "music" / std::to_string(i % 50) / (std::to_string(i) + ".mp3");
        fs::create_directories(file.parent_path());
        std::ofstream(file, std::ios::binary) << bytes;
        files.push_back(file.string());
    }
    ActionJournal journal((root / "journal").string());
    TrashCan trash((root / "Trash").string());

    auto start = std::chrono::steady_clock::now();
    ActionReport trashed;
    if (Failed(journal.Begin("trash")) || Failed(TrashFiles(journal, trash, files, &trashed)) ||
        Failed(journal.Complete())) {
        std::fprintf(stderr, "undo_bench: the journal cannot be written in %s\n", root.c_str());
        fs::remove_all(root);
        return 1;
    }
    const double trashSeconds = SecondsSince(start);

    start = std::chrono::steady_clock::now();
    ActionReport undone;
    const HRESULT result = UndoLast(journal, trash, &undone);
    const double undoSeconds = SecondsSince(start);

    std::printf("files %zu: trash %.3f s (%zu went), undo %.3f s (%zu back, %zu not)%s\n", count,
                trashSeconds, trashed.Done(), undoSeconds, undone.Done(), undone.NotDone(),
                Failed(result) ? " - undo failed" : "");
    fs::remove_all(root);
    return Failed(result) ? 1 : 0;
}
