// The wave format record that describes coded audio to the conversion layer,
// laid out byte for byte as in RIFF "fmt " chunks and ASF stream properties:
// 18 bytes of fields, little-endian, then `cbSize` extra bytes that belong to
// the coding. A record is held in a byte array at least 18 + cbSize bytes long;
// the structures below are views on such arrays (byte-aligned, so any offset
// will do).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the records are read in place");

inline constexpr uint16_t WAVE_FORMAT_PCM = 0x0001;
inline constexpr uint16_t WAVE_FORMAT_MPEG = 0x0050;
inline constexpr uint16_t WAVE_FORMAT_MPEGLAYER3 = 0x0055;
inline constexpr uint16_t WAVE_FORMAT_EXTENSIBLE = 0xFFFE;

inline constexpr uint16_t MPEGLAYER3_ID_MPEG = 1;
inline constexpr uint32_t MPEGLAYER3_FLAG_PADDING_ON = 1;
inline constexpr uint32_t MPEGLAYER3_FLAG_PADDING_OFF = 2;

#pragma pack(push, 1)
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;  // extra bytes behind these 18
};

// The record of MPEG audio (every layer) as the MPEG recogniser builds it.
struct MPEGLAYER3WAVEFORMAT {
    WAVEFORMATEX wfx;
    uint16_t wID;
    uint32_t fdwFlags;
    uint16_t nBlockSize;
    uint16_t nFramesPerBlock;
    uint16_t nCodecDelay;
};

// The extensible record; with the PCM sub-format it describes integer PCM.
struct WAVEFORMATEXTENSIBLE {
    WAVEFORMATEX Format;
    uint16_t wValidBitsPerSample;
    uint32_t dwChannelMask;
    uint8_t SubFormat[16];
};
#pragma pack(pop)

static_assert(sizeof(WAVEFORMATEX) == 18);
static_assert(sizeof(MPEGLAYER3WAVEFORMAT) == 30);
static_assert(sizeof(WAVEFORMATEXTENSIBLE) == 40);

// {00000001-0000-0010-8000-00AA00389B71} as stored in a file.
inline constexpr uint8_t kSubFormatPcm[16] = {0x01, 0x00, 0x00, 0x00, 0x00, 0x00, 0x10, 0x00,
                                              0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71};

// The 18 fields of the record at the start of bytes (which must hold 18).
inline WAVEFORMATEX WaveFormatOf(const std::vector<uint8_t>& bytes) {
    WAVEFORMATEX wfx{};
    std::memcpy(&wfx, bytes.data(), sizeof(wfx));
    return wfx;
}
