#include "decoder_streamdec.h"

#include <algorithm>
#include <cstring>
#include <limits>
#include <new>
#include <string_view>

#include "stream_readers.h"

namespace {

constexpr uint32_t kStreamdecPriority = 99;
constexpr size_t kMagicSize = 4;
constexpr size_t kExtensionLength = 4;
constexpr uint64_t kBitsPerByte = 8;
constexpr uint64_t kMillisecondBits = 8000;  // bits per byte times milliseconds per second
constexpr uint32_t kSuggestFlags = ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS |
                                   ACM_FORMATSUGGESTF_NSAMPLESPERSEC |
                                   ACM_FORMATSUGGESTF_WBITSPERSAMPLE;

enum class Recogniser { None, Mpeg, Asf };

// The recogniser that the path's last four code units choose, compared
// without regard to the case of ASCII letters (the only ones they contain).
Recogniser ByExtension(std::u16string_view path) {
    if (path.size() < kExtensionLength) {
        return Recogniser::None;
    }
    char ext[kExtensionLength];
    for (size_t i = 0; i < kExtensionLength; ++i) {
        const char16_t c = path[path.size() - kExtensionLength + i];
        if (c >= 0x80) {
            return Recogniser::None;
        }
        ext[i] = static_cast<char>(c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c);
    }
    const std::string_view e(ext, kExtensionLength);
    if (e == ".mp1" || e == ".mp2" || e == ".mp3") {
        return Recogniser::Mpeg;
    }
    if (e == ".wma" || e == ".asf") {
        return Recogniser::Asf;
    }
    return Recogniser::None;
}

}  // namespace

void CDecoderStreamdec::Release() {
    delete this;
}

uint32_t CDecoderStreamdec::GetPriority() {
    return kStreamdecPriority;
}

HRESULT CDecoderStreamdec::Close() {
    file.Close();
    if (stream != nullptr) {
        acmStreamClose(stream, 0);
        stream = nullptr;
    }
    input.clear();
    output.clear();
    remaining = 0;
    return S_OK;
}

HRESULT CDecoderStreamdec::Open(const char16_t* path, const DecoderFormat* wantedFormat) {
    if (path == nullptr) {
        return E_INVALIDARG;
    }
    Close();
    wanted = wantedFormat != nullptr ? *wantedFormat : kDefaultDecoderFormat;

    const std::u16string_view widePath(path);
    if (!file.Open(U16ToBytes(widePath))) {
        return E_FAIL;
    }
    // Sizes are 32-bit throughout the formats read here; a larger file is
    // refused rather than misread.
    uint64_t size = 0;
    if (!file.Size(&size) || size > std::numeric_limits<uint32_t>::max()) {
        return E_FAIL;
    }
    const auto fileSize = static_cast<uint32_t>(size);
    uint8_t magic[kMagicSize];
    if (!file.ReadExact(magic, sizeof(magic))) {
        return E_FAIL;
    }

    SourceStream source;
    bool recognised = false;
    if (std::memcmp(magic, "RIFF", kMagicSize) == 0) {
        recognised = RecogniseRiff(file, fileSize, &source);
    } else {
        switch (ByExtension(widePath)) {
            case Recogniser::Mpeg:
                recognised = RecogniseMpeg(file, fileSize, &source);
                break;
            case Recogniser::Asf:
                recognised = RecogniseAsf(file, fileSize, &source);
                break;
            case Recogniser::None:
                return E_FAIL;
        }
    }
    if (!recognised) {
        return E_FAIL;
    }
    remaining = source.remaining;
    const auto* sourceFormat = reinterpret_cast<const WAVEFORMATEX*>(source.format.data());
    const WAVEFORMATEX described = WaveFormatOf(source.format);

    WAVEFORMATEX target{};
    target.wFormatTag = WAVE_FORMAT_PCM;
    target.nChannels = wanted.channels;
    target.nSamplesPerSec = wanted.samplesPerSec;
    target.wBitsPerSample = wanted.bitsPerSample;
    if (acmFormatSuggest(nullptr, sourceFormat, &target, sizeof(target), kSuggestFlags) !=
        MMSYSERR_NOERROR) {
        return E_FAIL;
    }

    // The whole file's size counts, tags and headers included. Both figures
    // are computed in 64 bits and held at the largest 32-bit value, so that a
    // damaged header cannot make them wrap.
    std::memset(&info, 0, sizeof(info));
    const uint64_t bitrate = kBitsPerByte * described.nAvgBytesPerSec;
    info.bitrate =
        static_cast<uint32_t>(std::min<uint64_t>(bitrate, std::numeric_limits<uint32_t>::max()));
    if (source.bitrate != 0) {
        info.bitrate = source.bitrate;
        info.durationMs = source.durationMs;
    } else if (bitrate != 0) {
        info.durationMs = static_cast<uint32_t>(std::min<uint64_t>(
            uint64_t{fileSize} * kMillisecondBits / bitrate, std::numeric_limits<uint32_t>::max()));
    }
    info.channels = described.nChannels;
    info.samplesPerSec = described.nSamplesPerSec;

    if (acmStreamOpen(&stream, nullptr, sourceFormat, &target, nullptr, 0, 0, 0) !=
            MMSYSERR_NOERROR ||
        stream == nullptr) {
        return E_FAIL;
    }
    output.resize(target.nAvgBytesPerSec);
    uint32_t inputBytes = 0;
    if (acmStreamSize(stream, static_cast<uint32_t>(output.size()), &inputBytes,
                      ACM_STREAMSIZEF_DESTINATION) != MMSYSERR_NOERROR ||
        inputBytes == 0) {
        return E_FAIL;
    }
    input.resize(inputBytes);

    ReadId3v1Trailer(file, &info);
    return S_OK;
}

HRESULT CDecoderStreamdec::Read(const void** data, uint32_t* byteCount, DecoderFormat* format) {
    if (data == nullptr || byteCount == nullptr || format == nullptr) {
        return E_INVALIDARG;
    }
    if (!file.IsOpen() || stream == nullptr || input.empty()) {
        return E_FAIL;
    }
    // At the end of the coded stream the layer is still asked once more with
    // no input, so that samples it holds back are delivered, not dropped.
    uint32_t got = 0;
    if (remaining > 0) {
        size_t n = 0;
        if (!file.Read(input.data(), std::min<size_t>(remaining, input.size()), &n) || n == 0) {
            return E_FAIL;
        }
        got = static_cast<uint32_t>(n);
        remaining -= got;
    }

    ACMSTREAMHEADER header{};
    header.cbStruct = sizeof(header);
    header.pbSrc = input.data();
    header.cbSrcLength = got;
    header.pbDst = output.data();
    header.cbDstLength = static_cast<uint32_t>(output.size());
    if (acmStreamPrepareHeader(stream, &header, 0) != MMSYSERR_NOERROR) {
        return E_FAIL;
    }
    const MMRESULT converted = acmStreamConvert(stream, &header, 0);
    if (acmStreamUnprepareHeader(stream, &header, 0) != MMSYSERR_NOERROR ||
        converted != MMSYSERR_NOERROR) {
        return E_FAIL;
    }

    const uint32_t unused = got - std::min(header.cbSrcLengthUsed, got);
    if (unused > 0) {
        if (!file.Seek(-static_cast<int64_t>(unused), StreamFile::Origin::Current)) {
            return E_FAIL;
        }
        remaining += unused;
    }
    // A codec that neither takes nor gives anything would be handed the same
    // bytes for ever: that is the end of what it can decode.
    if (header.cbSrcLengthUsed == 0 && header.cbDstLengthUsed == 0) {
        Close();
        return E_END_OF_STREAM;
    }
    *data = output.data();
    *byteCount = header.cbDstLengthUsed;
    *format = wanted;
    return S_OK;
}

HRESULT CDecoderStreamdec::GetInfo(DecoderInfo* out) {
    if (out == nullptr) {
        return E_INVALIDARG;
    }
    if (!file.IsOpen()) {
        return E_FAIL;
    }
    *out = info;
    return S_OK;
}

extern "C" __attribute__((visibility("default"))) HRESULT GetInterface(GUID iid,
                                                                       IDecoder** decoder) {
    return CreateDecoder<CDecoderStreamdec>(iid, decoder);
}
