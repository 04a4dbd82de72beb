// MPEG audio frame headers (MPEG-1, MPEG-2 and MPEG-2.5, Layers I to III):
// the fields that the MPEG recogniser needs to describe a stream, decoded from
// the 4-byte header with the tables of ISO/IEC 11172-3 and 13818-3. Pure
// functions; any thread.
#pragma once

#include <cstdint>

enum class MpegVersion { Mpeg1, Mpeg2, Mpeg25 };

struct MpegHeader {
    MpegVersion version = MpegVersion::Mpeg1;
    int layer = 0;             // 1, 2 or 3
    uint32_t bitrateKbps = 0;  // 0 for the free format (index 0) and the bad index 15
    uint32_t sampleRate = 0;   // samples per second
    uint32_t padding = 0;      // 1 when the frame carries a padding slot
    uint16_t channels = 0;     // 1 for single channel, else 2
};

// True when bytes p[0], p[1] are a frame sync: 0xFF, then the top three bits set.
inline bool IsMpegSync(const uint8_t* p) {
    return p[0] == 0xFF && (p[1] & 0xE0) == 0xE0;
}

// Decodes the header h (the four bytes taken big-endian). false for a
// candidate with the reserved version, the reserved layer or the reserved
// sample-rate index; the bit-rate index is not judged. The sync bits are not
// looked at (see IsMpegSync).
bool DecodeMpegHeader(uint32_t h, MpegHeader* header);

// Bytes of the frame that header h begins, padding included; 0 for the free
// format and the bad bit-rate index.
uint32_t MpegFrameLength(const MpegHeader& header);

// Samples per channel that one frame holds: 384 (Layer I), 1152 (Layer II,
// MPEG-1 Layer III) or 576 (Layer III at the lower sampling frequencies).
uint32_t MpegSamplesPerFrame(const MpegHeader& header);

// Offset from the frame's first byte at which an encoder's "Xing" or "Info"
// tag stands in a Layer III frame: behind the header and the side information.
uint32_t MpegInfoTagOffset(const MpegHeader& header);

// The four bytes at p as a big-endian number.
inline uint32_t MpegHeaderWord(const uint8_t* p) {
    return (uint32_t{p[0]} << 24) | (uint32_t{p[1]} << 16) | (uint32_t{p[2]} << 8) | p[3];
}
