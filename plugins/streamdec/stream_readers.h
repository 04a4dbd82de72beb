// The readers of file structure inside Streamdec. Three recognisers examine
// an open file of one kind (RIFF/WAVE, MPEG audio, ASF) and describe its coded
// audio for the conversion layer: the wave format record, the length of the
// coded stream and a file position at its first byte. The fourth reads the
// title, artist and album of an ID3 version 1 trailer.
//
// Every read is checked for its full length; any short read, wrong identifier
// or failed move makes a recogniser return false. Called by one decoder
// object on its own thread.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "decoder_contract.h"
#include "stream_file.h"

// The recognisers read the file in blocks of this many bytes.
inline constexpr size_t kReadBlockSize = 64 * 1024;
// How far past the last thing that looked right (a chunk with a printable
// identifier, the start of the MPEG search) a recogniser goes on looking for
// audio before it refuses the file. Bounds the work on crafted files.
inline constexpr uint64_t kMaxBytesWithoutAudio = 4 * 1024 * 1024;

// What a recogniser delivers besides the file position.
struct SourceStream {
    std::vector<uint8_t> format;  // the wave format record, at least 18 + cbSize bytes
    uint32_t remaining = 0;       // length of the coded stream in bytes
    // Bit rate (bits per second) and duration (milliseconds) measured from
    // the stream's frames; bitrate 0 when the format record's average byte
    // rate and the file's size tell them.
    uint32_t bitrate = 0;
    uint32_t durationMs = 0;
};

// RIFF/WAVE, with the file position just behind "RIFF". The format chunk must
// come first; chunks between it and "data" are skipped by their sizes. Refused
// when "data" does not come within kMaxBytesWithoutAudio of the last chunk
// with a printable identifier.
bool RecogniseRiff(StreamFile& file, uint32_t fileSize, SourceStream* source);

// MPEG audio: skips an ID3 version 2 tag at the start, then takes the first
// acceptable frame header that a header of the same stream follows right
// behind its frame, and describes it as an MPEG Layer-3 wave format record
// (for every layer). The stream runs from that header to the end of the file.
bool RecogniseMpeg(StreamFile& file, uint32_t fileSize, SourceStream* source);

// ASF: the first Stream Properties Object must describe audio with a 28-byte
// wave format record. The coded stream is the whole file.
bool RecogniseAsf(StreamFile& file, uint32_t fileSize, SourceStream* source);

// Reads the ID3 version 1 trailer of the last 128 bytes into info's title,
// artist and album. false (strings untouched) when there is none. The file
// position is restored in either case.
bool ReadId3v1Trailer(StreamFile& file, DecoderInfo* info);

// One 30-byte ID3 version 1 field as UTF-16, every byte converted (zero
// padding included): as UTF-8 when the bytes are valid UTF-8, otherwise as
// Windows-1252.
std::u16string Id3v1FieldText(const uint8_t* bytes, size_t count);
