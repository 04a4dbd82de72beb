#include "acm_layer.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/frame.h>
#include <libavutil/log.h>
#include <libswresample/swresample.h>
}

namespace {

// Damaged frames are skipped or end the stream; what the decoders would print
// about them is noise on the user's terminal.
__attribute__((constructor)) void QuietDecoders() { av_log_set_level(AV_LOG_QUIET); }

constexpr int kMaxChannels = 8;
constexpr uint32_t kMaxSampleRate = 768000;
constexpr uint32_t kMaxPcmBits = 32;
// Source and destination sizes beyond this are refused by acmStreamSize: no
// plausible conversion needs more for one step.
constexpr uint64_t kMaxStepBytes = 64u << 20;
// PCM is converted at most this many source frames at a time, so that what
// does not fit into the destination stays small.
constexpr uint32_t kMaxPcmStepFrames = 4096;
// Coded bytes that the MPEG parser may gather without finding a frame before
// it is started afresh; a frame is at most a few kilobytes, so a backlog this
// long is junk.
constexpr uint64_t kMaxParserBacklog = 64u << 10;

constexpr uint32_t kAllSuggestFlags = ACM_FORMATSUGGESTF_WFORMATTAG | ACM_FORMATSUGGESTF_NCHANNELS |
                                      ACM_FORMATSUGGESTF_NSAMPLESPERSEC |
                                      ACM_FORMATSUGGESTF_WBITSPERSAMPLE;
constexpr uint16_t kDefaultSuggestBits = 16;

// Integer PCM as this layer sees it: samples in containers of 1 to 4 bytes.
struct PcmLayout {
    int channels = 0;
    uint32_t rate = 0;
    int containerBytes = 0;  // 1 (unsigned), 2, 3 or 4 (signed)
    uint32_t blockAlign = 0;
};

bool IsPcmRecord(const WAVEFORMATEX* wfx) {
    if (wfx->wFormatTag == WAVE_FORMAT_PCM) {
        return true;
    }
    if (wfx->wFormatTag != WAVE_FORMAT_EXTENSIBLE ||
        wfx->cbSize < sizeof(WAVEFORMATEXTENSIBLE) - sizeof(WAVEFORMATEX)) {
        return false;
    }
    const auto* ext = reinterpret_cast<const WAVEFORMATEXTENSIBLE*>(wfx);
    return std::memcmp(ext->SubFormat, kSubFormatPcm, sizeof(kSubFormatPcm)) == 0;
}

bool IsMpegRecord(const WAVEFORMATEX* wfx) {
    return wfx->wFormatTag == WAVE_FORMAT_MPEGLAYER3 || wfx->wFormatTag == WAVE_FORMAT_MPEG;
}

// The PCM layout of a source record; false for what cannot be read.
bool SourcePcmLayout(const WAVEFORMATEX* wfx, PcmLayout* layout) {
    if (!IsPcmRecord(wfx) || wfx->nChannels < 1 || wfx->nChannels > kMaxChannels ||
        wfx->nSamplesPerSec < 1 || wfx->nSamplesPerSec > kMaxSampleRate ||
        wfx->wBitsPerSample < 1 || wfx->wBitsPerSample > kMaxPcmBits) {
        return false;
    }
    // Narrower samples lie left-justified in whole bytes; the block alignment
    // of the record is not trusted.
    layout->channels = wfx->nChannels;
    layout->rate = wfx->nSamplesPerSec;
    layout->containerBytes = (wfx->wBitsPerSample + 7) / 8;
    layout->blockAlign = static_cast<uint32_t>(layout->channels * layout->containerBytes);
    return true;
}

// The layout of a target record; only the widths the host's conversion and
// libswresample agree on are produced.
bool TargetPcmLayout(const WAVEFORMATEX* wfx, PcmLayout* layout) {
    const uint16_t bits = wfx->wBitsPerSample;
    if (wfx->wFormatTag != WAVE_FORMAT_PCM ||
        (bits != 8 && bits != 16 && bits != 24 && bits != 32) || wfx->nChannels < 1 ||
        wfx->nChannels > kMaxChannels || wfx->nSamplesPerSec < 1 ||
        wfx->nSamplesPerSec > kMaxSampleRate) {
        return false;
    }
    layout->channels = wfx->nChannels;
    layout->rate = wfx->nSamplesPerSec;
    layout->containerBytes = bits / 8;
    layout->blockAlign = static_cast<uint32_t>(layout->channels * layout->containerBytes);
    return true;
}

AVSampleFormat PackedFormatFor(int containerBytes) {
    switch (containerBytes) {
        case 1:
            return AV_SAMPLE_FMT_U8;
        case 2:
            return AV_SAMPLE_FMT_S16;
        default:
            return AV_SAMPLE_FMT_S32;  // 24-bit samples travel widened to 32
    }
}

}  // namespace

struct AcmStream {
    ~AcmStream();

    bool OpenPcm(const PcmLayout& source);
    bool OpenMpeg(const WAVEFORMATEX* source);
    MMRESULT Size(uint32_t input, uint32_t* output, uint32_t flags) const;
    MMRESULT Convert(ACMSTREAMHEADER* header);

    // Hands bytes of the target format to the destination of the current
    // conversion; what does not fit waits in `pending`.
    void Emit(const uint8_t* bytes, size_t count);
    bool ConfigureResampler(const AVChannelLayout& layout, AVSampleFormat format, int rate);
    // Runs `frames` input frames through the resampler and emits the result.
    bool Resample(const uint8_t* const* planes, int frames);
    bool FlushResampler();
    // Returns the source bytes taken (whole frames only), or -1 on failure.
    int64_t ConvertPcm(const uint8_t* src, uint32_t length);
    int64_t ConvertMpeg(const uint8_t* src, uint32_t length, bool* progress);
    bool DecodePacket(const uint8_t* data, int size);
    bool ResetParser();

    bool isMpeg = false;
    bool passThrough = false;
    PcmLayout source;
    PcmLayout target;
    uint32_t sourceAverageBytes = 0;

    AVChannelLayout targetLayout{};
    SwrContext* swr = nullptr;
    AVChannelLayout swrInLayout{};
    AVSampleFormat swrInFormat = AV_SAMPLE_FMT_NONE;
    int swrInRate = 0;

    const AVCodec* decoder = nullptr;
    AVCodecContext* codec = nullptr;
    AVCodecContext* parserCodec = nullptr;
    AVCodecParserContext* parser = nullptr;
    AVPacket* packet = nullptr;
    AVFrame* frame = nullptr;
    uint64_t parserBacklog = 0;
    uint64_t skippedFrames = 0;

    std::vector<uint8_t> widened;     // 24-bit source samples as 32-bit
    std::vector<uint8_t> converted;   // resampler output
    std::vector<uint8_t> packetCopy;  // a parsed frame with the decoder's padding
    std::vector<uint8_t> staged;      // the source of one conversion with the parser's padding
    std::vector<uint8_t> pending;     // converted bytes not yet delivered
    size_t pendingStart = 0;

    // The destination of the conversion in progress.
    uint8_t* dst = nullptr;
    uint32_t dstLength = 0;
    uint32_t produced = 0;
};

AcmStream::~AcmStream() {
    swr_free(&swr);
    av_channel_layout_uninit(&swrInLayout);
    av_channel_layout_uninit(&targetLayout);
    avcodec_free_context(&codec);
    avcodec_free_context(&parserCodec);
    if (parser != nullptr) {
        av_parser_close(parser);
    }
    av_packet_free(&packet);
    av_frame_free(&frame);
}

bool AcmStream::OpenPcm(const PcmLayout& pcm) {
    source = pcm;
    passThrough = source.channels == target.channels && source.rate == target.rate &&
                  source.containerBytes == target.containerBytes;
    if (passThrough) {
        return true;
    }
    AVChannelLayout layout{};
    av_channel_layout_default(&layout, source.channels);
    const bool ok = ConfigureResampler(layout, PackedFormatFor(source.containerBytes),
                                       static_cast<int>(source.rate));
    av_channel_layout_uninit(&layout);
    return ok;
}

bool AcmStream::OpenMpeg(const WAVEFORMATEX* wfx) {
    if (wfx->nChannels < 1 || wfx->nChannels > 2 || wfx->nSamplesPerSec < 1 ||
        wfx->nSamplesPerSec > kMaxSampleRate) {
        return false;
    }
    isMpeg = true;
    sourceAverageBytes = wfx->nAvgBytesPerSec;
    // One decoder serves every layer: the layer is read from each frame.
    decoder = avcodec_find_decoder(AV_CODEC_ID_MP3);
    if (decoder == nullptr) {
        return false;
    }
    codec = avcodec_alloc_context3(decoder);
    packet = av_packet_alloc();
    frame = av_frame_alloc();
    if (codec == nullptr || packet == nullptr || frame == nullptr ||
        avcodec_open2(codec, decoder, nullptr) < 0) {
        return false;
    }
    return ResetParser();
}

bool AcmStream::ResetParser() {
    if (parser != nullptr) {
        av_parser_close(parser);
        parser = nullptr;
    }
    avcodec_free_context(&parserCodec);
    parserBacklog = 0;
    // The parser writes what it learns into a context of its own, never into
    // the open decoder's.
    parserCodec = avcodec_alloc_context3(nullptr);
    parser = av_parser_init(AV_CODEC_ID_MP3);
    return parserCodec != nullptr && parser != nullptr;
}

bool AcmStream::ConfigureResampler(const AVChannelLayout& layout, AVSampleFormat format, int rate) {
    swr_free(&swr);
    av_channel_layout_uninit(&swrInLayout);
    if (av_channel_layout_copy(&swrInLayout, &layout) < 0) {
        return false;
    }
    swrInFormat = format;
    swrInRate = rate;
    if (swr_alloc_set_opts2(&swr, &targetLayout, PackedFormatFor(target.containerBytes),
                            static_cast<int>(target.rate), const_cast<AVChannelLayout*>(&layout),
                            format, rate, 0, nullptr) < 0 ||
        swr == nullptr || swr_init(swr) < 0) {
        swr_free(&swr);
        return false;
    }
    return true;
}

void AcmStream::Emit(const uint8_t* bytes, size_t count) {
    const size_t fits = std::min<size_t>(count, dstLength - produced);
    std::memcpy(dst + produced, bytes, fits);
    produced += static_cast<uint32_t>(fits);
    pending.insert(pending.end(), bytes + fits, bytes + count);
}

bool AcmStream::Resample(const uint8_t* const* planes, int frames) {
    const int capacity = swr_get_out_samples(swr, frames);
    if (capacity < 0) {
        return false;
    }
    const size_t sampleBytes =
        target.containerBytes == 3 ? 4 : static_cast<size_t>(target.containerBytes);
    converted.resize(
        static_cast<size_t>(capacity) * static_cast<size_t>(target.channels) * sampleBytes + 1);
    uint8_t* out = converted.data();
    const int got = swr_convert(swr, &out, capacity, const_cast<const uint8_t**>(planes), frames);
    if (got < 0) {
        return false;
    }
    size_t bytes = static_cast<size_t>(got) * static_cast<size_t>(target.channels) * sampleBytes;
    if (target.containerBytes == 3) {
        // Keep the top three bytes of every 32-bit sample; packing runs
        // forwards in place since the output is shorter than the input.
        const size_t samples = bytes / 4;
        for (size_t i = 0; i < samples; ++i) {
            std::memmove(converted.data() + 3 * i, converted.data() + 4 * i + 1, 3);
        }
        bytes = samples * 3;
    }
    Emit(converted.data(), bytes);
    return true;
}

bool AcmStream::FlushResampler() {
    if (swr == nullptr) {
        return true;
    }
    return Resample(nullptr, 0);
}

int64_t AcmStream::ConvertPcm(const uint8_t* src, uint32_t length) {
    const uint32_t roomFrames = (dstLength - produced) / target.blockAlign;
    const uint32_t available = length / source.blockAlign;
    if (roomFrames == 0 || available == 0) {
        return 0;
    }
    if (passThrough) {
        const uint32_t frames = std::min(available, roomFrames);
        std::memcpy(dst + produced, src, static_cast<size_t>(frames) * source.blockAlign);
        produced += frames * target.blockAlign;
        return static_cast<int64_t>(frames) * source.blockAlign;
    }
    const uint64_t forRoom = uint64_t{roomFrames} * source.rate / target.rate + 1;
    const auto frames =
        static_cast<uint32_t>(std::min<uint64_t>({available, forRoom, kMaxPcmStepFrames}));
    const uint8_t* input = src;
    if (source.containerBytes == 3) {
        const size_t samples = static_cast<size_t>(frames) * static_cast<size_t>(source.channels);
        widened.resize(samples * 4);
        for (size_t i = 0; i < samples; ++i) {
            widened[4 * i] = 0;
            std::memcpy(widened.data() + 4 * i + 1, src + 3 * i, 3);
        }
        input = widened.data();
    }
    if (!Resample(&input, static_cast<int>(frames))) {
        return -1;
    }
    return static_cast<int64_t>(frames) * source.blockAlign;
}

bool AcmStream::DecodePacket(const uint8_t* data, int size) {
    packetCopy.assign(data, data + size);
    packetCopy.resize(static_cast<size_t>(size) + AV_INPUT_BUFFER_PADDING_SIZE, 0);
    packet->data = packetCopy.data();
    packet->size = size;
    int ret = avcodec_send_packet(codec, packet);
    packet->data = nullptr;
    packet->size = 0;
    if (ret == AVERROR_INVALIDDATA) {
        ++skippedFrames;
        return true;
    }
    if (ret < 0) {
        return false;
    }
    for (;;) {
        ret = avcodec_receive_frame(codec, frame);
        if (ret == AVERROR(EAGAIN) || ret == AVERROR_EOF) {
            return true;
        }
        if (ret == AVERROR_INVALIDDATA) {
            ++skippedFrames;
            return true;
        }
        if (ret < 0) {
            return false;
        }
        bool ok = true;
        if (swr == nullptr || av_channel_layout_compare(&frame->ch_layout, &swrInLayout) != 0 ||
            frame->format != swrInFormat || frame->sample_rate != swrInRate) {
            // The stream changed its shape: what the old resampler still
            // holds is delivered before it is replaced.
            ok = FlushResampler() &&
                 ConfigureResampler(frame->ch_layout, static_cast<AVSampleFormat>(frame->format),
                                    frame->sample_rate);
        }
        ok = ok && Resample(frame->extended_data, frame->nb_samples);
        av_frame_unref(frame);
        if (!ok) {
            return false;
        }
    }
}

int64_t AcmStream::ConvertMpeg(const uint8_t* src, uint32_t length, bool* progress) {
    uint8_t* out = nullptr;
    int outSize = 0;
    const int used = av_parser_parse2(parser, parserCodec, &out, &outSize, src,
                                      static_cast<int>(length), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    if (used < 0) {
        return -1;
    }
    *progress = used > 0 || outSize > 0;
    parserBacklog += static_cast<uint64_t>(used);
    if (outSize > 0) {
        parserBacklog = 0;
        if (!DecodePacket(out, outSize)) {
            return -1;
        }
    } else if (parserBacklog > kMaxParserBacklog && !ResetParser()) {
        return -1;
    }
    return used;
}

MMRESULT AcmStream::Convert(ACMSTREAMHEADER* header) {
    dst = header->pbDst;
    dstLength = header->cbDstLength;
    produced = 0;

    // Samples left over from the last call come first.
    const size_t waiting = pending.size() - pendingStart;
    const size_t drained = std::min<size_t>(waiting, dstLength);
    if (drained > 0) {
        std::memcpy(dst, pending.data() + pendingStart, drained);
        produced = static_cast<uint32_t>(drained);
        pendingStart += drained;
    }
    if (pendingStart == pending.size()) {
        pending.clear();
        pendingStart = 0;
    }

    // The parser reads a little past the end of what it is given, so it is
    // given a padded copy of the source rather than the caller's memory.
    const uint8_t* coded = header->pbSrc;
    if (isMpeg && header->cbSrcLength > 0) {
        staged.assign(header->pbSrc, header->pbSrc + header->cbSrcLength);
        staged.resize(staged.size() + AV_INPUT_BUFFER_PADDING_SIZE, 0);
        coded = staged.data();
    }
    uint32_t used = 0;
    MMRESULT result = MMSYSERR_NOERROR;
    // Nothing more is taken once something waits: that keeps the waiting
    // bytes below one step's output.
    while (used < header->cbSrcLength && produced < dstLength && pending.empty()) {
        const uint8_t* src = coded + used;
        const uint32_t length = header->cbSrcLength - used;
        bool progress = false;
        int64_t step = 0;
        if (isMpeg) {
            step = ConvertMpeg(src, length, &progress);
        } else {
            step = ConvertPcm(src, length);
            progress = step > 0;
        }
        if (step < 0) {
            result = MMSYSERR_ERROR;
            break;
        }
        used += static_cast<uint32_t>(step);
        if (!progress) {
            break;
        }
    }
    header->cbSrcLengthUsed = used;
    header->cbDstLengthUsed = produced;
    header->fdwStatus |= ACMSTREAMHEADER_STATUSF_DONE;
    dst = nullptr;
    return result;
}

MMRESULT AcmStream::Size(uint32_t input, uint32_t* output, uint32_t flags) const {
    const uint64_t targetRate = uint64_t{target.rate} * target.blockAlign;
    uint64_t answer = 0;
    if (flags == ACM_STREAMSIZEF_DESTINATION) {
        if (isMpeg) {
            answer = uint64_t{input} * sourceAverageBytes / targetRate;
        } else {
            const uint64_t frames = uint64_t{input / target.blockAlign} * source.rate / target.rate;
            answer = frames * source.blockAlign;
        }
    } else if (flags == ACM_STREAMSIZEF_SOURCE) {
        if (isMpeg) {
            answer =
                sourceAverageBytes == 0 ? 0 : uint64_t{input} * targetRate / sourceAverageBytes;
        } else {
            // Rounded up: the resampler may release a frame early.
            const uint64_t frames =
                (uint64_t{input / source.blockAlign} * target.rate + source.rate - 1) / source.rate;
            answer = (frames + 1) * target.blockAlign;
        }
    } else {
        return MMSYSERR_INVALFLAG;
    }
    if (answer == 0 || answer > kMaxStepBytes) {
        return ACMERR_NOTPOSSIBLE;
    }
    *output = static_cast<uint32_t>(answer);
    return MMSYSERR_NOERROR;
}

MMRESULT acmFormatSuggest(HACMDRIVER had, const WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst,
                          uint32_t cbwfxDst, uint32_t fdwSuggest) {
    if (had != nullptr || pwfxSrc == nullptr || pwfxDst == nullptr ||
        cbwfxDst < sizeof(WAVEFORMATEX)) {
        return MMSYSERR_INVALPARAM;
    }
    if ((fdwSuggest & ~kAllSuggestFlags) != 0) {
        return MMSYSERR_INVALFLAG;
    }
    // Whether the source can be converted at all is judged by acmStreamOpen.
    WAVEFORMATEX suggestion = *pwfxDst;
    if ((fdwSuggest & ACM_FORMATSUGGESTF_WFORMATTAG) == 0) {
        suggestion.wFormatTag = WAVE_FORMAT_PCM;
    }
    if ((fdwSuggest & ACM_FORMATSUGGESTF_NCHANNELS) == 0) {
        suggestion.nChannels = std::clamp<uint16_t>(pwfxSrc->nChannels, 1, kMaxChannels);
    }
    if ((fdwSuggest & ACM_FORMATSUGGESTF_NSAMPLESPERSEC) == 0) {
        suggestion.nSamplesPerSec = pwfxSrc->nSamplesPerSec;
    }
    if ((fdwSuggest & ACM_FORMATSUGGESTF_WBITSPERSAMPLE) == 0) {
        suggestion.wBitsPerSample = kDefaultSuggestBits;
    }
    PcmLayout targetPcm;
    if (!TargetPcmLayout(&suggestion, &targetPcm)) {
        return ACMERR_NOTPOSSIBLE;
    }
    suggestion.nBlockAlign = static_cast<uint16_t>(targetPcm.blockAlign);
    suggestion.nAvgBytesPerSec = targetPcm.blockAlign * targetPcm.rate;
    suggestion.cbSize = 0;
    *pwfxDst = suggestion;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, const WAVEFORMATEX* pwfxSrc,
                       const WAVEFORMATEX* pwfxDst, const void* pwfltr, uintptr_t dwCallback,
                       uintptr_t dwInstance, uint32_t fdwOpen) {
    if (phas == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    *phas = nullptr;
    if (had != nullptr || pwfxSrc == nullptr || pwfxDst == nullptr || pwfltr != nullptr ||
        dwCallback != 0) {
        return MMSYSERR_INVALPARAM;
    }
    if (fdwOpen != 0) {
        return MMSYSERR_INVALFLAG;
    }
    auto* stream = new (std::nothrow) AcmStream();
    if (stream == nullptr) {
        return MMSYSERR_NOMEM;
    }
    bool ok = TargetPcmLayout(pwfxDst, &stream->target);
    if (ok) {
        av_channel_layout_default(&stream->targetLayout, stream->target.channels);
        PcmLayout pcm;
        if (SourcePcmLayout(pwfxSrc, &pcm)) {
            ok = stream->OpenPcm(pcm);
        } else if (IsMpegRecord(pwfxSrc)) {
            ok = stream->OpenMpeg(pwfxSrc);
        } else {
            ok = false;
        }
    }
    if (!ok) {
        delete stream;
        return ACMERR_NOTPOSSIBLE;
    }
    *phas = stream;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t* pdwOutputBytes,
                       uint32_t fdwSize) {
    if (has == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (pdwOutputBytes == nullptr) {
        return MMSYSERR_INVALPARAM;
    }
    return has->Size(cbInput, pdwOutputBytes, fdwSize);
}

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwPrepare) {
    if (has == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (pash == nullptr || pash->cbStruct < sizeof(ACMSTREAMHEADER) ||
        (pash->pbSrc == nullptr && pash->cbSrcLength != 0) ||
        (pash->pbDst == nullptr && pash->cbDstLength != 0)) {
        return MMSYSERR_INVALPARAM;
    }
    if (fdwPrepare != 0) {
        return MMSYSERR_INVALFLAG;
    }
    if ((pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) != 0) {
        return ACMERR_BUSY;
    }
    pash->fdwStatus = ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwConvert) {
    if (has == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (pash == nullptr || pash->cbStruct < sizeof(ACMSTREAMHEADER)) {
        return MMSYSERR_INVALPARAM;
    }
    if (fdwConvert != 0) {
        return MMSYSERR_INVALFLAG;
    }
    if ((pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) {
        return ACMERR_UNPREPARED;
    }
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_DONE;
    return has->Convert(pash);
}

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwUnprepare) {
    if (has == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (pash == nullptr || pash->cbStruct < sizeof(ACMSTREAMHEADER)) {
        return MMSYSERR_INVALPARAM;
    }
    if (fdwUnprepare != 0) {
        return MMSYSERR_INVALFLAG;
    }
    if ((pash->fdwStatus & ACMSTREAMHEADER_STATUSF_PREPARED) == 0) {
        return ACMERR_UNPREPARED;
    }
    pash->fdwStatus &= ~ACMSTREAMHEADER_STATUSF_PREPARED;
    return MMSYSERR_NOERROR;
}

MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose) {
    if (has == nullptr) {
        return MMSYSERR_INVALHANDLE;
    }
    if (fdwClose != 0) {
        return MMSYSERR_INVALFLAG;
    }
    delete has;
    return MMSYSERR_NOERROR;
}
