// The conversion layer: Streamdec's own stand-in for the platform's audio
// compression manager, with the same calls. A stream converts coded audio,
// described by a wave format record, into integer PCM chunk by chunk; each
// conversion reports how many source bytes it used and how many PCM bytes it
// produced. Behind it: integer PCM of any width (tag 1, and the extensible
// record with the PCM sub-format), and MPEG audio Layers I to III (tags 0x0055
// and 0x0050) through libavcodec's parser and decoder; channel mixing and
// resampling through libswresample. Any other coding fails at acmStreamOpen,
// as a missing codec would.
//
// Each stream is owned by whoever opened it and must be closed with
// acmStreamClose. A stream is used by one thread at a time; different streams
// are independent. There is no process-wide state.
#pragma once

#include <cstdint>

#include "wave_format.h"

using MMRESULT = uint32_t;

inline constexpr MMRESULT MMSYSERR_NOERROR = 0;
inline constexpr MMRESULT MMSYSERR_ERROR = 1;
inline constexpr MMRESULT MMSYSERR_INVALHANDLE = 5;
inline constexpr MMRESULT MMSYSERR_NOMEM = 7;
inline constexpr MMRESULT MMSYSERR_INVALFLAG = 10;
inline constexpr MMRESULT MMSYSERR_INVALPARAM = 11;
inline constexpr MMRESULT ACMERR_NOTPOSSIBLE = 512;
inline constexpr MMRESULT ACMERR_BUSY = 513;
inline constexpr MMRESULT ACMERR_UNPREPARED = 514;

// Which fields of the target record acmFormatSuggest must keep as given.
inline constexpr uint32_t ACM_FORMATSUGGESTF_WFORMATTAG = 0x00010000;
inline constexpr uint32_t ACM_FORMATSUGGESTF_NCHANNELS = 0x00020000;
inline constexpr uint32_t ACM_FORMATSUGGESTF_NSAMPLESPERSEC = 0x00040000;
inline constexpr uint32_t ACM_FORMATSUGGESTF_WBITSPERSAMPLE = 0x00080000;

// acmStreamSize: the given count is of source bytes (asking for the
// destination size) or of destination bytes (asking for the source size).
inline constexpr uint32_t ACM_STREAMSIZEF_SOURCE = 0x00000000;
inline constexpr uint32_t ACM_STREAMSIZEF_DESTINATION = 0x00000001;

inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_DONE = 0x00010000;
inline constexpr uint32_t ACMSTREAMHEADER_STATUSF_PREPARED = 0x00020000;

// The platform's reserved driver words, kept so the record has its familiar shape.
inline constexpr int kAcmDriverReserved = 15;

// One conversion step: the caller fills cbStruct, the source and the
// destination; acmStreamConvert fills the two "used" counts.
struct ACMSTREAMHEADER {
    uint32_t cbStruct;
    uint32_t fdwStatus;
    uintptr_t dwUser;
    uint8_t* pbSrc;
    uint32_t cbSrcLength;
    uint32_t cbSrcLengthUsed;
    uintptr_t dwSrcUser;
    uint8_t* pbDst;
    uint32_t cbDstLength;
    uint32_t cbDstLengthUsed;
    uintptr_t dwDstUser;
    uint32_t dwReservedDriver[kAcmDriverReserved];
};

struct AcmStream;
using HACMSTREAM = AcmStream*;
using HACMDRIVER = void*;  // no drivers to choose from: always null

// Completes the PCM target record pwfxDst (cbwfxDst bytes, at least 18) for
// converting pwfxSrc: block alignment, average bytes per second and a zero
// extra-byte count. The fields named in fdwSuggest are kept as given, the
// others chosen. ACMERR_NOTPOSSIBLE when the target is no PCM this layer can
// produce (1..8 channels, 8/16/24/32 bits, 1..768000 samples per second);
// whether the source can be converted is left to acmStreamOpen.
MMRESULT acmFormatSuggest(HACMDRIVER had, const WAVEFORMATEX* pwfxSrc, WAVEFORMATEX* pwfxDst,
                          uint32_t cbwfxDst, uint32_t fdwSuggest);

// Opens a stream from pwfxSrc (followed by its cbSize extra bytes) to the PCM
// record pwfxDst. No filter, callback or flags are supported (null / 0).
// ACMERR_NOTPOSSIBLE when the conversion cannot be done; *phas is then null.
MMRESULT acmStreamOpen(HACMSTREAM* phas, HACMDRIVER had, const WAVEFORMATEX* pwfxSrc,
                       const WAVEFORMATEX* pwfxDst, const void* pwfltr, uintptr_t dwCallback,
                       uintptr_t dwInstance, uint32_t fdwOpen);

// With ACM_STREAMSIZEF_DESTINATION: the number of source bytes that convert
// into at most cbInput destination bytes. With ACM_STREAMSIZEF_SOURCE: the
// destination bytes that cbInput source bytes need at most. The answer is
// never 0; ACMERR_NOTPOSSIBLE when no such count exists (for instance an MPEG
// source whose average byte rate is 0) or it would be unreasonably large.
MMRESULT acmStreamSize(HACMSTREAM has, uint32_t cbInput, uint32_t* pdwOutputBytes,
                       uint32_t fdwSize);

MMRESULT acmStreamPrepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwPrepare);

// Converts as much of the source as fits into the destination. Coded bytes
// that do not yet make a whole frame or sample are kept inside the stream (and
// counted as used); decoded samples that do not fit are kept and delivered
// first by the next call, so nothing is lost or repeated across calls. Source
// bytes left over because the destination is full are reported as not used.
// The stream's own buffers stay below a few frames. A damaged MPEG frame is
// skipped. MMSYSERR_ERROR when the decoder or resampler fails.
MMRESULT acmStreamConvert(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwConvert);

MMRESULT acmStreamUnprepareHeader(HACMSTREAM has, ACMSTREAMHEADER* pash, uint32_t fdwUnprepare);

// Frees the stream and everything it holds.
MMRESULT acmStreamClose(HACMSTREAM has, uint32_t fdwClose);
