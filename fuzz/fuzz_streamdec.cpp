// The Streamdec plug-in's decoder object on any bytes, opened as the host
// opens files: the first input byte picks the file name's extension (and so
// the reader) and the PCM format asked for, the rest is the file. Every file
// must end its stream within a bounded number of reads.
#include <cstdlib>
#include <string>

#include "decoder_contract.h"
#include "scratch_file.h"

extern "C" HRESULT GetInterface(GUID iid, IDecoder** decoder);

namespace {

const char* const kExtensions[] = {".wav", ".mp3", ".mp2", ".wma"};
constexpr DecoderFormat kWanted[] = {
    kDefaultDecoderFormat, {1, 16, 2, 44100}, {1, 8, 1, 8000}, {1, 24, 2, 48000}};
// Inputs are small; a stream that goes on past this many chunks does not end.
constexpr int kMaxReads = 100000;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    static MemoryFile memory;
    memory.Fill(data + 1, size - 1);
    const std::string path = memory.Path(kExtensions[data[0] % std::size(kExtensions)]);
    const DecoderFormat& wanted = kWanted[(data[0] >> 2) % std::size(kWanted)];

    IDecoder* decoder = nullptr;
    if (GetInterface(IID_IDecoder, &decoder) != S_OK) {
        std::abort();
    }
    const std::u16string widePath = BytesToU16(path);
    if (Succeeded(decoder->Open(widePath.c_str(), &wanted))) {
        DecoderInfo info{};
        if (decoder->GetInfo(&info) != S_OK) {
            std::abort();
        }
        const void* chunk = nullptr;
        uint32_t bytes = 0;
        DecoderFormat format{};
        int reads = 0;
        while (Succeeded(decoder->Read(&chunk, &bytes, &format))) {
            if (++reads > kMaxReads) {
                std::abort();
            }
        }
    }
    decoder->Release();
    return 0;
}
