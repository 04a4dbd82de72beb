#include "whole_file.h"

#include <unistd.h>

#include <cstdio>

bool ReplaceFileWith(const std::string& path, std::string_view bytes) {
    const std::string fresh = path + ".new";
    std::FILE* out = std::fopen(fresh.c_str(), "wb");
    if (out == nullptr) {
        return false;
    }
    bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
    ok = std::fflush(out) == 0 && ok;
    ok = fsync(fileno(out)) == 0 && ok;
    ok = std::fclose(out) == 0 && ok;
    if (!ok || std::rename(fresh.c_str(), path.c_str()) != 0) {
        std::remove(fresh.c_str());
        return false;
    }
    return true;
}
