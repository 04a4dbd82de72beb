// CFlacFrames: decodes the frames of a FLAC stream with libFLAC, the format's
// reference decoder, which does the work in about two thirds of libavcodec's
// time. It answers as a libavcodec decoder does (send a packet, receive
// frames) and delivers the frames libavcodec's FLAC decoder would:
// interleaved, 16-bit samples for streams of up to 16 bits and 32-bit ones
// above, shifted to the top of the sample, one frame per coded frame.
//
// The demuxer still splits the stream into coded frames; this class only
// replaces the decoding of them. One object per stream, used by one thread.
#pragma once

#include <memory>

extern "C" {
#include <libavcodec/codec_par.h>
#include <libavcodec/packet.h>
#include <libavutil/frame.h>
}

class CFlacFrames {
  public:
    // A decoder for a FLAC stream with these parameters, or null when the
    // stream is not FLAC or lies outside what this class covers (no stream
    // header, more than two channels, sample sizes libavcodec would reject):
    // libavcodec decodes those.
    static std::unique_ptr<CFlacFrames> Create(const AVCodecParameters* parameters);
    ~CFlacFrames();
    CFlacFrames(const CFlacFrames&) = delete;
    CFlacFrames& operator=(const CFlacFrames&) = delete;

    // As avcodec_send_packet: decodes the coded frames of packet; a null
    // packet ends the input. 0, AVERROR_EOF after the end, or another
    // negative code when the decoder broke down. A packet that libFLAC
    // finds damaged and makes nothing of is decoded by libavcodec.
    int Send(const AVPacket* packet);
    // As avcodec_receive_frame: 0 with the next frame moved into frame,
    // AVERROR(EAGAIN) when it needs input, AVERROR_EOF once all is out.
    int Receive(AVFrame* frame);

  private:
    struct Decoder;
    explicit CFlacFrames(std::unique_ptr<Decoder> decoder);

    std::unique_ptr<Decoder> m_decoder;
};
