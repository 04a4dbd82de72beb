#include "mpeg_header.h"

namespace {

// Bit rates in kbit/s by bit-rate index; index 0 is the free format, 15 is bad.
constexpr uint16_t kMpeg1Layer1[16] = {0,   32,  64,  96,  128, 160, 192, 224,
                                       256, 288, 320, 352, 384, 416, 448, 0};
constexpr uint16_t kMpeg1Layer2[16] = {0,   32,  48,  56,  64,  80,  96,  112,
                                       128, 160, 192, 224, 256, 320, 384, 0};
constexpr uint16_t kMpeg1Layer3[16] = {0,   32,  40,  48,  56,  64,  80,  96,
                                       112, 128, 160, 192, 224, 256, 320, 0};
// The lower sampling frequencies of MPEG-2 (also used by MPEG-2.5).
constexpr uint16_t kLsfLayer1[16] = {0,   32,  48,  56,  64,  80,  96,  112,
                                     128, 144, 160, 176, 192, 224, 256, 0};
constexpr uint16_t kLsfLayer23[16] = {0,  8,  16, 24,  32,  40,  48,  56,
                                      64, 80, 96, 112, 128, 144, 160, 0};

constexpr uint32_t kMpeg1Rates[3] = {44100, 48000, 32000};
constexpr uint32_t kMpeg2Rates[3] = {22050, 24000, 16000};
constexpr uint32_t kMpeg25Rates[3] = {11025, 12000, 8000};

constexpr uint32_t kVersionMpeg1 = 3;
constexpr uint32_t kVersionMpeg2 = 2;
constexpr uint32_t kVersionReserved = 1;
constexpr uint32_t kLayerReserved = 0;
constexpr uint32_t kRateReserved = 3;
constexpr uint32_t kSingleChannel = 3;

constexpr uint32_t kLayer1SlotFactor = 12000;  // slots of 4 bytes per kbit/s and Hz
constexpr uint32_t kLayer1SlotBytes = 4;
constexpr uint32_t kMpeg1FrameFactor = 144000;  // bytes per kbit/s and Hz, 1152 samples
constexpr uint32_t kLsfLayer3FrameFactor = 72000;  // the same for 576 samples
constexpr uint32_t kHeaderBytes = 4;
constexpr uint32_t kLayer1Samples = 384;
constexpr uint32_t kFrameSamples = 1152;
constexpr uint32_t kLsfLayer3Samples = 576;
// Layer III side information: MPEG-1 single channel and two channels, then
// the lower sampling frequencies.
constexpr uint32_t kSideInfoMpeg1[2] = {17, 32};
constexpr uint32_t kSideInfoLsf[2] = {9, 17};

}  // namespace

bool DecodeMpegHeader(uint32_t h, MpegHeader* header) {
    const uint32_t version = (h >> 19) & 3;
    const uint32_t layerBits = (h >> 17) & 3;
    const uint32_t bitrateIndex = (h >> 12) & 15;
    const uint32_t rateIndex = (h >> 10) & 3;
    if (version == kVersionReserved || layerBits == kLayerReserved || rateIndex == kRateReserved) {
        return false;
    }
    MpegHeader out;
    out.layer = static_cast<int>(4 - layerBits);
    if (version == kVersionMpeg1) {
        out.version = MpegVersion::Mpeg1;
        out.sampleRate = kMpeg1Rates[rateIndex];
        const uint16_t* table = out.layer == 1   ? kMpeg1Layer1
                                : out.layer == 2 ? kMpeg1Layer2
                                                 : kMpeg1Layer3;
        out.bitrateKbps = table[bitrateIndex];
    } else {
        out.version = version == kVersionMpeg2 ? MpegVersion::Mpeg2 : MpegVersion::Mpeg25;
        out.sampleRate =
            version == kVersionMpeg2 ? kMpeg2Rates[rateIndex] : kMpeg25Rates[rateIndex];
        out.bitrateKbps = out.layer == 1 ? kLsfLayer1[bitrateIndex] : kLsfLayer23[bitrateIndex];
    }
    out.padding = (h >> 9) & 1;
    out.channels = ((h >> 6) & 3) == kSingleChannel ? 1 : 2;
    *header = out;
    return true;
}

uint32_t MpegFrameLength(const MpegHeader& h) {
    if (h.bitrateKbps == 0 || h.sampleRate == 0) {
        return 0;
    }
    if (h.layer == 1) {
        return (kLayer1SlotFactor * h.bitrateKbps / h.sampleRate + h.padding) * kLayer1SlotBytes;
    }
    const uint32_t factor =
        h.layer == 3 && h.version != MpegVersion::Mpeg1 ? kLsfLayer3FrameFactor : kMpeg1FrameFactor;
    return factor * h.bitrateKbps / h.sampleRate + h.padding;
}

uint32_t MpegSamplesPerFrame(const MpegHeader& h) {
    if (h.layer == 1) {
        return kLayer1Samples;
    }
    return h.layer == 3 && h.version != MpegVersion::Mpeg1 ? kLsfLayer3Samples : kFrameSamples;
}

uint32_t MpegInfoTagOffset(const MpegHeader& h) {
    const uint32_t* side = h.version == MpegVersion::Mpeg1 ? kSideInfoMpeg1 : kSideInfoLsf;
    return kHeaderBytes + side[h.channels == 1 ? 0 : 1];
}
