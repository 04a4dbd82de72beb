// The cache file loader on any bytes: GripStore::LoadCache opens the input as
// its cache file. Whatever it keeps, a second load of the same file (which
// the first may have rewritten) must find the same records.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "grip_store.h"
#include "scratch_file.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::string path = ScratchFolder() + "/cache.dat";
    WriteScratch(path, data, size);
    // The stamp index the last input left behind would make this run depend on it.
    std::remove(GripStore::IndexPath(path).c_str());
    size_t first = 0;
    {
        GripStore store;
        store.LoadCache(path);
        first = store.size();
    }
    GripStore again;
    again.LoadCache(path);
    if (again.size() != first) {
        std::abort();
    }
    return 0;
}
