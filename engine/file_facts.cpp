#include "file_facts.h"

#include <sys/stat.h>

#include <cstring>

HRESULT ReadFileFacts(DecoderSet& decoders, const std::u16string& path, FileFacts* facts) {
    FileFacts read;
    read.preferred = facts->preferred;
    read.reference = facts->reference;
    struct stat info;
    if (stat(U16ToBytes(path).c_str(), &info) == 0) {
        read.size = static_cast<uint64_t>(info.st_size);
        read.modified = static_cast<int64_t>(info.st_mtime);
    }
    HRESULT result = decoders.OpenFile(path.c_str());
    if (Succeeded(result)) {
        DecoderInfo decoded;
        std::memset(&decoded, 0, sizeof(decoded));
        result = decoders.GetFileInfo(&decoded);
        decoders.CloseFile();
        if (Succeeded(result)) {
            read.bitrate = decoded.bitrate;
            read.durationMs = decoded.durationMs;
            read.tagsFilled = (decoded.title[0] != 0 ? 1u : 0u) + (decoded.artist[0] != 0 ? 1u : 0u) +
                              (decoded.album[0] != 0 ? 1u : 0u);
        }
    }
    read.lossless = IsLossless(path, read.bitrate);
    *facts = read;
    return Succeeded(result) ? S_OK : E_FAIL;
}
