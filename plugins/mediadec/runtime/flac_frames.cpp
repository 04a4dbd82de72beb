#include "flac_frames.h"

#include <FLAC/stream_decoder.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/channel_layout.h>
#include <libavutil/error.h>
#include <libavutil/samplefmt.h>
}

namespace {

constexpr size_t kStreamInfoSize = 34;          // the stream header's body
constexpr uint8_t kLastBlockStreamInfo = 0x80;  // "last block" flag, block type 0
// Sample sizes that libavcodec's FLAC decoder takes as well.
constexpr unsigned kLeastBits = 8;
constexpr unsigned kMostBits = 24;

template <class T>
void Interleave(const FLAC__int32* const channels[], unsigned count, unsigned samples,
                unsigned shift, T* out) {
    for (unsigned c = 0; c < count; ++c) {
        const FLAC__int32* from = channels[c];
        for (unsigned i = 0; i < samples; ++i) {
            out[i * count + c] = static_cast<T>(static_cast<uint32_t>(from[i]) << shift);
        }
    }
}

}  // namespace

struct CFlacFrames::Decoder {
    FLAC__StreamDecoder* flac = FLAC__stream_decoder_new();
    const uint8_t* input = nullptr;  // bytes not yet handed to libFLAC
    size_t inputSize = 0;
    unsigned channels = 0;  // of the stream header
    unsigned bits = 0;
    std::deque<AVFrame*> frames;  // decoded, not yet received
    bool erred = false;           // libFLAC reported damage in this packet
    bool ended = false;
    bool broken = false;
    // A packet that libFLAC finds damaged and makes nothing of goes to
    // libavcodec, which decodes a frame whose checksum fails as it stands,
    // so a damaged file sounds as it did before.
    AVCodecParameters* parameters = avcodec_parameters_alloc();
    AVCodecContext* fallback = nullptr;
    bool fallbackFailed = false;

    ~Decoder() {
        for (AVFrame* f : frames) {
            av_frame_free(&f);
        }
        avcodec_free_context(&fallback);
        avcodec_parameters_free(&parameters);
        if (flac != nullptr) {
            FLAC__stream_decoder_delete(flac);
        }
    }

    static FLAC__StreamDecoderReadStatus Read(const FLAC__StreamDecoder*, FLAC__byte buffer[],
                                              size_t* bytes, void* self) {
        auto* d = static_cast<Decoder*>(self);
        // Running out ends libFLAC's stream; Decode starts it afresh for the
        // next packet.
        if (d->inputSize == 0) {
            *bytes = 0;
            return FLAC__STREAM_DECODER_READ_STATUS_END_OF_STREAM;
        }
        const size_t n = std::min(*bytes, d->inputSize);
        std::memcpy(buffer, d->input, n);
        d->input += n;
        d->inputSize -= n;
        *bytes = n;
        return FLAC__STREAM_DECODER_READ_STATUS_CONTINUE;
    }

    static void Metadata(const FLAC__StreamDecoder*, const FLAC__StreamMetadata* block,
                         void* self) {
        auto* d = static_cast<Decoder*>(self);
        if (block->type == FLAC__METADATA_TYPE_STREAMINFO) {
            d->channels = block->data.stream_info.channels;
            d->bits = block->data.stream_info.bits_per_sample;
        }
    }

    static FLAC__StreamDecoderWriteStatus Write(const FLAC__StreamDecoder*,
                                                const FLAC__Frame* frame,
                                                const FLAC__int32* const buffer[], void* self) {
        auto* d = static_cast<Decoder*>(self);
        const FLAC__FrameHeader& h = frame->header;
        // libavcodec refuses frames that change the sample size; a changed
        // channel count would be a different stream.
        if (h.channels != d->channels || h.bits_per_sample != d->bits) {
            return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
        }
        AVFrame* out = av_frame_alloc();
        if (out == nullptr) {
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        const bool wide = d->bits > 16;
        out->format = wide ? AV_SAMPLE_FMT_S32 : AV_SAMPLE_FMT_S16;
        out->nb_samples = static_cast<int>(h.blocksize);
        out->sample_rate = static_cast<int>(h.sample_rate);
        av_channel_layout_default(&out->ch_layout, static_cast<int>(d->channels));
        if (av_frame_get_buffer(out, 0) < 0) {
            av_frame_free(&out);
            return FLAC__STREAM_DECODER_WRITE_STATUS_ABORT;
        }
        // Interleaved, each sample at the top of the output sample, as
        // libavcodec delivers them.
        const unsigned shift = (wide ? 32 : 16) - d->bits;
        if (wide) {
            Interleave(buffer, d->channels, h.blocksize, shift,
                       reinterpret_cast<int32_t*>(out->data[0]));
        } else {
            Interleave(buffer, d->channels, h.blocksize, shift,
                       reinterpret_cast<int16_t*>(out->data[0]));
        }
        d->frames.push_back(out);
        return FLAC__STREAM_DECODER_WRITE_STATUS_CONTINUE;
    }

    // Damaged input: libFLAC finds the next frame by itself.
    static void Error(const FLAC__StreamDecoder*, FLAC__StreamDecoderErrorStatus, void* self) {
        static_cast<Decoder*>(self)->erred = true;
    }

    // Decodes packet with libavcodec, configured as the reader configures it.
    void DecodeWithLibavcodec(const AVPacket* packet) {
        if (fallback == nullptr && !fallbackFailed) {
            const AVCodec* codec = avcodec_find_decoder(AV_CODEC_ID_FLAC);
            fallback = codec != nullptr ? avcodec_alloc_context3(codec) : nullptr;
            if (fallback != nullptr) {
                fallback->thread_count = 1;
                fallback->err_recognition = 0;
            }
            if (fallback == nullptr || avcodec_parameters_to_context(fallback, parameters) < 0 ||
                avcodec_open2(fallback, codec, nullptr) < 0) {
                avcodec_free_context(&fallback);
                fallbackFailed = true;
            }
        }
        if (fallback == nullptr || avcodec_send_packet(fallback, packet) < 0) {
            return;
        }
        for (;;) {
            AVFrame* frame = av_frame_alloc();
            if (frame == nullptr || avcodec_receive_frame(fallback, frame) < 0) {
                av_frame_free(&frame);
                return;
            }
            frames.push_back(frame);
        }
    }

    // Hands the bytes to libFLAC and decodes every whole frame among them;
    // false when the decoder broke down. libFLAC reads until the bytes run
    // out, which ends its stream: it is then set to look for a frame again,
    // and a frame cut off at the end is dropped, as the packet held all
    // there was of it.
    bool Decode(const uint8_t* bytes, size_t size) {
        input = bytes;
        inputSize = size;
        bool ok = true;
        for (;;) {
            const size_t before = inputSize;
            const size_t made = frames.size();
            FLAC__stream_decoder_process_single(flac);
            const FLAC__StreamDecoderState state = FLAC__stream_decoder_get_state(flac);
            if (state == FLAC__STREAM_DECODER_END_OF_STREAM) {
                ok = FLAC__stream_decoder_flush(flac);
                break;
            }
            if (state != FLAC__STREAM_DECODER_SEARCH_FOR_FRAME_SYNC &&
                state != FLAC__STREAM_DECODER_READ_FRAME) {
                ok = false;
                break;
            }
            if (inputSize == before && frames.size() == made) {
                break;  // nothing read and nothing made: wait for more bytes
            }
        }
        input = nullptr;
        inputSize = 0;
        return ok;
    }
};

CFlacFrames::CFlacFrames(std::unique_ptr<Decoder> decoder) : m_decoder(std::move(decoder)) {}

CFlacFrames::~CFlacFrames() = default;

std::unique_ptr<CFlacFrames> CFlacFrames::Create(const AVCodecParameters* parameters) {
    if (parameters == nullptr || parameters->codec_id != AV_CODEC_ID_FLAC ||
        parameters->extradata == nullptr) {
        return nullptr;
    }
    // The stream header as a FLAC file begins: the marker, then the metadata
    // blocks. The demuxer keeps either the blocks whole or the bare body of
    // the stream information block.
    const auto* extra = parameters->extradata;
    const auto extraSize = static_cast<size_t>(std::max(parameters->extradata_size, 0));
    std::vector<uint8_t> header;
    if (extraSize >= 4 && std::memcmp(extra, "fLaC", 4) == 0) {
        header.assign(extra, extra + extraSize);
    } else if (extraSize == kStreamInfoSize) {
        header = {'f', 'L', 'a', 'C', kLastBlockStreamInfo, 0, 0, kStreamInfoSize};
        header.insert(header.end(), extra, extra + extraSize);
    } else {
        return nullptr;
    }
    auto d = std::make_unique<Decoder>();
    if (d->flac == nullptr || d->parameters == nullptr ||
        avcodec_parameters_copy(d->parameters, parameters) < 0 ||
        FLAC__stream_decoder_init_stream(
            d->flac, &Decoder::Read, nullptr, nullptr, nullptr, nullptr, &Decoder::Write,
            &Decoder::Metadata, &Decoder::Error, d.get()) != FLAC__STREAM_DECODER_INIT_STATUS_OK) {
        return nullptr;
    }
    d->input = header.data();
    d->inputSize = header.size();
    const bool read = FLAC__stream_decoder_process_until_end_of_metadata(d->flac);
    d->input = nullptr;
    d->inputSize = 0;
    if (!read ||
        FLAC__stream_decoder_get_state(d->flac) != FLAC__STREAM_DECODER_SEARCH_FOR_FRAME_SYNC ||
        d->channels < 1 || d->channels > 2 || d->bits < kLeastBits || d->bits > kMostBits) {
        return nullptr;
    }
    return std::unique_ptr<CFlacFrames>(new CFlacFrames(std::move(d)));
}

int CFlacFrames::Send(const AVPacket* packet) {
    Decoder& d = *m_decoder;
    if (d.ended) {
        return AVERROR_EOF;
    }
    if (packet == nullptr) {
        d.ended = true;
        return 0;
    }
    if (d.broken) {
        return AVERROR_EXTERNAL;
    }
    if (packet->size <= 0) {
        return 0;
    }
    const size_t made = d.frames.size();
    d.erred = false;
    if (!d.Decode(packet->data, static_cast<size_t>(packet->size))) {
        d.broken = true;
        return AVERROR_EXTERNAL;
    }
    if (d.erred && d.frames.size() == made) {
        d.DecodeWithLibavcodec(packet);
    }
    return 0;
}

int CFlacFrames::Receive(AVFrame* frame) {
    Decoder& d = *m_decoder;
    if (!d.frames.empty()) {
        AVFrame* next = d.frames.front();
        d.frames.pop_front();
        av_frame_move_ref(frame, next);
        av_frame_free(&next);
        return 0;
    }
    if (d.broken) {
        return AVERROR_EXTERNAL;
    }
    return d.ended ? AVERROR_EOF : AVERROR(EAGAIN);
}
