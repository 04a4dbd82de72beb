// Streamdec's structure readers on any bytes: the RIFF/WAVE, MPEG audio and
// ASF recognisers each examine the input as a file of their kind, and the ID3
// version 1 trailer reader runs behind every one that takes it.
#include <cstdlib>

#include "scratch_file.h"
#include "stream_readers.h"
#include "wave_format.h"

namespace {

using Recogniser = bool (*)(StreamFile&, uint32_t, SourceStream*);
constexpr Recogniser kRecognisers[] = {RecogniseRiff, RecogniseMpeg, RecogniseAsf};
constexpr size_t kMagicSize = 4;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static MemoryFile memory;
    memory.Fill(data, size);
    const std::string path = memory.Path(".bin");
    for (Recogniser recognise : kRecognisers) {
        StreamFile file;
        if (!file.Open(path)) {
            std::abort();
        }
        // The plug-in reads the first four bytes before it chooses a reader.
        uint8_t magic[kMagicSize];
        SourceStream source;
        if (!file.ReadExact(magic, sizeof(magic)) ||
            !recognise(file, static_cast<uint32_t>(size), &source)) {
            continue;
        }
        // What the conversion layer relies on: a record that holds its extra bytes.
        if (source.format.size() < sizeof(WAVEFORMATEX) ||
            source.format.size() < sizeof(WAVEFORMATEX) + WaveFormatOf(source.format).cbSize) {
            std::abort();
        }
        DecoderInfo info{};
        ReadId3v1Trailer(file, &info);
    }
    return 0;
}
