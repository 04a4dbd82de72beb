#include "stream_readers.h"

#include <algorithm>
#include <cstring>
#include <limits>

#include "mpeg_header.h"
#include "wave_format.h"

namespace {

constexpr size_t kWaveFormatSize = sizeof(WAVEFORMATEX);

uint32_t Le32(const uint8_t* p) {
    return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

uint64_t Le64(const uint8_t* p) {
    return uint64_t{Le32(p)} | (uint64_t{Le32(p + 4)} << 32);
}

bool ReadTag(StreamFile& file, const char* expected) {
    uint8_t tag[4];
    return file.ReadExact(tag, sizeof(tag)) && std::memcmp(tag, expected, sizeof(tag)) == 0;
}

bool ReadLe32(StreamFile& file, uint32_t* value) {
    uint8_t bytes[4];
    if (!file.ReadExact(bytes, sizeof(bytes))) {
        return false;
    }
    *value = Le32(bytes);
    return true;
}

// A record whose extra-byte count promises more than the chunk held is padded
// with zeros, so that whoever reads the extra bytes stays inside the array.
void CoverExtraBytes(std::vector<uint8_t>& format) {
    const size_t extra = WaveFormatOf(format).cbSize;
    if (format.size() < kWaveFormatSize + extra) {
        format.resize(kWaveFormatSize + extra, 0);
    }
}

// --- RIFF/WAVE ---

constexpr size_t kChunkHeaderSize = 8;

bool IsPrintableId(const uint8_t* id) {
    return std::all_of(id, id + 4, [](uint8_t c) { return c >= 0x20 && c <= 0x7E; });
}

// --- MPEG audio ---

constexpr size_t kId3HeaderSize = 10;
constexpr size_t kMpegHeaderSize = 4;
constexpr uint32_t kLayer1SlotFactor = 12000;
constexpr uint32_t kLayer1SlotBytes = 4;
constexpr uint32_t kLayer23Factor = 144000;
constexpr uint64_t kMillisecondBits = 8000;  // bits per byte times milliseconds per second
constexpr uint64_t kMillisecondsPerSecond = 1000;
constexpr uint64_t kBitsPerKilobit = 1000;
constexpr uint16_t kMpegLayer3ExtraBytes = sizeof(MPEGLAYER3WAVEFORMAT) - sizeof(WAVEFORMATEX);

uint32_t Id3v2Size(const uint8_t* p) {
    return (uint32_t{p[6] & 0x7Fu} << 21) | (uint32_t{p[7] & 0x7Fu} << 14) |
           (uint32_t{p[8] & 0x7Fu} << 7) | uint32_t{p[9] & 0x7Fu};
}

void DescribeMpeg(const MpegHeader& h, MPEGLAYER3WAVEFORMAT* mp3) {
    mp3->wfx.nChannels = h.channels;
    mp3->wfx.nSamplesPerSec = h.sampleRate;
    mp3->wfx.nAvgBytesPerSec = (h.bitrateKbps / 8) * 1000;
    mp3->fdwFlags = h.padding != 0 ? MPEGLAYER3_FLAG_PADDING_ON : MPEGLAYER3_FLAG_PADDING_OFF;
    if (h.layer == 1) {
        mp3->nBlockSize = static_cast<uint16_t>(
            (kLayer1SlotFactor * h.bitrateKbps / h.sampleRate + h.padding) * kLayer1SlotBytes);
    } else {
        mp3->nBlockSize =
            static_cast<uint16_t>(kLayer23Factor * h.bitrateKbps / h.sampleRate + h.padding);
    }
}

// An encoder's tag in the first frame ("Xing", "Info" or "VBRI"): the number
// of frames that follow it, 0 when the tag does not say.
struct InfoTag {
    bool present = false;
    uint32_t frames = 0;
};

constexpr size_t kInfoProbeSize = 64;
constexpr size_t kTagWord = 4;  // the tag's name, its flags and its frame count are 4 bytes each
constexpr uint32_t kXingFramesFlag = 1;
constexpr uint32_t kVbriOffset = 36;        // behind the header and 32 bytes
constexpr uint32_t kVbriFramesOffset = 14;  // "VBRI", version, delay, quality, bytes
// Bit rates a stream of frames can average, in bits per second.
constexpr uint64_t kLowestBitrate = 8000;
constexpr uint64_t kHighestBitrate = 448000;
// Figures that stray from the first frame's by more than 1/16 are taken for
// a disagreement.
constexpr uint32_t kAgreementShare = 16;

uint32_t Be32(const uint8_t* p) {
    return MpegHeaderWord(p);
}

InfoTag FindInfoTag(const uint8_t* frame, size_t length, const MpegHeader& h) {
    InfoTag tag;
    if (h.layer != 3) {
        return tag;
    }
    const size_t at = MpegInfoTagOffset(h);
    if (at + 3 * kTagWord <= length && (std::memcmp(frame + at, "Xing", kTagWord) == 0 ||
                                         std::memcmp(frame + at, "Info", kTagWord) == 0)) {
        tag.present = true;
        if ((Be32(frame + at + kTagWord) & kXingFramesFlag) != 0) {
            tag.frames = Be32(frame + at + 2 * kTagWord);
        }
    } else if (kVbriOffset + kVbriFramesOffset + kTagWord <= length &&
               std::memcmp(frame + kVbriOffset, "VBRI", kTagWord) == 0) {
        tag.present = true;
        tag.frames = Be32(frame + kVbriOffset + kVbriFramesOffset);
    }
    return tag;
}

// Whether a frame of the same stream (version, layer and sample rate, with a
// bit rate) begins right behind the frame of first at offset; its header in
// *behind. Moves the file position.
bool FrameFollows(StreamFile& file, uint64_t offset, const MpegHeader& first, MpegHeader* behind) {
    uint8_t word[kMpegHeaderSize];
    return file.Seek(static_cast<int64_t>(offset + MpegFrameLength(first)),
                     StreamFile::Origin::Begin) &&
           file.ReadExact(word, sizeof(word)) && IsMpegSync(word) &&
           DecodeMpegHeader(MpegHeaderWord(word), behind) && behind->bitrateKbps != 0 &&
           behind->version == first.version && behind->layer == first.layer &&
           behind->sampleRate == first.sampleRate;
}

// The first frame's header describes the stream, but an encoder's tag frame
// is often written at another bit rate than the audio frames behind it. When
// the first frame holds such a tag, the stream's figures are measured: from
// the tag's frame count and the stream's size, or, when that gives no bit
// rate an MPEG stream can have, from the header of the frame behind the tag.
// They replace the first frame's when the two disagree.
void MeasureFrames(StreamFile& file, uint32_t fileSize, uint64_t offset, const MpegHeader& first,
                   SourceStream* source) {
    uint8_t frame[kInfoProbeSize];
    size_t got = 0;
    if (!file.Seek(static_cast<int64_t>(offset), StreamFile::Origin::Begin) ||
        !file.Read(frame, sizeof(frame), &got)) {
        return;
    }
    const InfoTag tag = FindInfoTag(frame, got, first);
    if (!tag.present) {
        return;
    }
    const uint64_t streamBytes = fileSize - offset;
    uint64_t bitrate = 0;
    uint64_t durationMs = 0;
    if (tag.frames != 0) {
        durationMs = uint64_t{tag.frames} * MpegSamplesPerFrame(first) * kMillisecondsPerSecond /
                     first.sampleRate;
        bitrate = durationMs != 0 ? streamBytes * kMillisecondBits / durationMs : 0;
    }
    if (bitrate < kLowestBitrate || bitrate > kHighestBitrate) {
        MpegHeader behind;
        if (!FrameFollows(file, offset, first, &behind)) {
            return;
        }
        bitrate = uint64_t{behind.bitrateKbps} * kBitsPerKilobit;
        durationMs = uint64_t{fileSize} * kMillisecondBits / bitrate;
    }
    const uint64_t stated = uint64_t{first.bitrateKbps} * kBitsPerKilobit;
    const uint64_t difference = bitrate > stated ? bitrate - stated : stated - bitrate;
    if (difference * kAgreementShare <= stated) {
        return;
    }
    source->bitrate = static_cast<uint32_t>(bitrate);
    source->durationMs = static_cast<uint32_t>(std::min<uint64_t>(durationMs, std::numeric_limits<uint32_t>::max()));
}

// --- ASF ---

constexpr GUID kAsfHeaderObject = {
    0x75B22630, 0x668E, 0x11CF, {0xA6, 0xD9, 0x00, 0xAA, 0x00, 0x62, 0xCE, 0x6C}};
constexpr GUID kAsfStreamPropertiesObject = {
    0xB7DC0791, 0xA9B7, 0x11CF, {0x8E, 0xE6, 0x00, 0xC0, 0x0C, 0x20, 0x53, 0x65}};
constexpr GUID kAsfAudioMedia = {
    0xF8699E40, 0x5B4D, 0x11CF, {0xA8, 0xFD, 0x00, 0x80, 0x5F, 0x5C, 0x44, 0x2B}};

constexpr size_t kAsfHeaderObjectSize = 30;
constexpr size_t kAsfObjectHeaderSize = 24;
constexpr size_t kAsfStreamPropertiesFixedSize = 54;
constexpr size_t kAsfTypeSpecificLengthOffset = 40;
constexpr uint32_t kAsfAudioFormatSize = 28;

GUID GuidAt(const uint8_t* p) {
    GUID g;
    std::memcpy(&g, p, sizeof(g));
    return g;
}

// --- ID3 version 1 ---

constexpr size_t kId3v1Size = 128;
constexpr size_t kId3v1FieldSize = 30;
constexpr size_t kId3v1TitleOffset = 3;
constexpr size_t kId3v1ArtistOffset = 33;
constexpr size_t kId3v1AlbumOffset = 63;

// Windows-1252 at 0x80..0x9F; the five unassigned bytes map to the C1
// controls of the same value, as the platform's conversion does.
constexpr char16_t kCp1252High[32] = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0x008D, 0x017D, 0x008F, 0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178};

bool IsValidUtf8(const uint8_t* s, size_t n) {
    char32_t cp = 0;
    for (size_t i = 0, len = 0; i < n; i += len) {
        len = DecodeUtf8(s + i, n - i, &cp);
        if (len == 0) {
            return false;
        }
    }
    return true;
}

}  // namespace

bool RecogniseRiff(StreamFile& file, uint32_t fileSize, SourceStream* source) {
    uint32_t riffSize = 0;
    uint32_t formatSize = 0;
    if (!ReadLe32(file, &riffSize) || !ReadTag(file, "WAVE") || !ReadTag(file, "fmt ") ||
        !ReadLe32(file, &formatSize)) {
        return false;
    }
    // A format chunk larger than what is left of the file cannot be read; it
    // is refused before anything is allocated for it.
    uint64_t position = 0;
    if (!file.Tell(&position) || position > fileSize || formatSize > fileSize - position) {
        return false;
    }
    source->format.assign(std::max<size_t>(formatSize, kWaveFormatSize), 0);
    if (!file.ReadExact(source->format.data(), formatSize)) {
        return false;
    }
    CoverExtraBytes(source->format);

    // The chunks up to "data" are walked in blocks read whole; a chunk whose
    // body reaches past the block is skipped by moving the file position, so
    // a long body costs one move, not a read. Identifiers that are not four
    // printable characters are not chunks a writer made: when nothing else
    // has come for kMaxBytesWithoutAudio, the file is refused.
    std::vector<uint8_t> block(kReadBlockSize);
    uint64_t blockStart = position + formatSize;
    size_t blockLength = 0;
    uint64_t at = blockStart;  // file offset of the next chunk header
    uint64_t lastGood = at;
    for (;;) {
        if (at - lastGood > kMaxBytesWithoutAudio) {
            return false;
        }
        if (at + kChunkHeaderSize > blockStart + blockLength) {
            if (at + kChunkHeaderSize > fileSize ||
                !file.Seek(static_cast<int64_t>(at), StreamFile::Origin::Begin) ||
                !file.Read(block.data(), block.size(), &blockLength) ||
                blockLength < kChunkHeaderSize) {
                return false;
            }
            blockStart = at;
        }
        const uint8_t* header = block.data() + (at - blockStart);
        const uint32_t chunkSize = Le32(header + 4);
        if (std::memcmp(header, "data", 4) == 0) {
            source->remaining = chunkSize;
            return file.Seek(static_cast<int64_t>(at + kChunkHeaderSize), StreamFile::Origin::Begin);
        }
        at += kChunkHeaderSize + uint64_t{chunkSize};
        if (IsPrintableId(header)) {
            lastGood = at;
        }
    }
}

bool RecogniseMpeg(StreamFile& file, uint32_t fileSize, SourceStream* source) {
    MPEGLAYER3WAVEFORMAT mp3{};
    mp3.wfx.wFormatTag = WAVE_FORMAT_MPEGLAYER3;
    mp3.wfx.nBlockAlign = 1;
    mp3.wfx.wBitsPerSample = 0;
    mp3.wfx.cbSize = kMpegLayer3ExtraBytes;
    mp3.wID = MPEGLAYER3_ID_MPEG;
    mp3.nFramesPerBlock = 1;
    mp3.nCodecDelay = 0;

    std::vector<uint8_t> buffer(kReadBlockSize);
    if (!file.Seek(0, StreamFile::Origin::Begin) || !file.ReadExact(buffer.data(), kId3HeaderSize)) {
        return false;
    }
    size_t kept = 0;
    uint64_t next = 0;  // file offset of the byte behind the buffer's contents
    if (std::memcmp(buffer.data(), "ID3", 3) == 0) {
        const uint64_t tagLength = kId3HeaderSize + uint64_t{Id3v2Size(buffer.data())};
        if (tagLength >= fileSize ||
            !file.Seek(static_cast<int64_t>(tagLength), StreamFile::Origin::Begin)) {
            return false;
        }
        next = tagLength;
    } else {
        kept = kId3HeaderSize;
        next = kId3HeaderSize;
    }
    const uint64_t searchStart = next - kept;

    // Candidates are judged in file order and a rejected one lets the scan go
    // on at its next byte. The scan runs through the whole buffer before the
    // next top-up, so a run of rejected candidates costs no extra reads and a
    // short top-up of a nearly full buffer is never taken for the end of the
    // file: only a top-up that brings nothing ends the search. A header
    // without a bit rate (free format, or the bad index 15) is taken for a
    // false sync as well: no frame length or byte rate follows from it.
    for (;;) {
        if (next - kept - searchStart > kMaxBytesWithoutAudio) {
            return false;
        }
        size_t got = 0;
        if (!file.Read(buffer.data() + kept, buffer.size() - kept, &got) || got == 0) {
            return false;
        }
        next += got;
        const size_t total = kept + got;
        for (size_t p = 0; p + kMpegHeaderSize <= total; ++p) {
            MpegHeader header;
            if (!IsMpegSync(&buffer[p]) || !DecodeMpegHeader(MpegHeaderWord(&buffer[p]), &header) ||
                header.bitrateKbps == 0) {
                continue;
            }
            // Any bytes hold a header now and then; a stream holds two in a row.
            const uint64_t offset = next - total + p;
            MpegHeader behind;
            if (!FrameFollows(file, offset, header, &behind)) {
                if (!file.Seek(static_cast<int64_t>(next), StreamFile::Origin::Begin)) {
                    return false;
                }
                continue;
            }
            DescribeMpeg(header, &mp3);
            source->remaining = static_cast<uint32_t>(fileSize - offset);
            source->format.assign(reinterpret_cast<const uint8_t*>(&mp3),
                                  reinterpret_cast<const uint8_t*>(&mp3) + sizeof(mp3));
            source->bitrate = 0;
            source->durationMs = 0;
            MeasureFrames(file, fileSize, offset, header, source);
            return file.Seek(static_cast<int64_t>(offset), StreamFile::Origin::Begin);
        }
        // The last three bytes may begin a header that the next top-up completes.
        kept = std::min(total, kMpegHeaderSize - 1);
        std::memmove(buffer.data(), buffer.data() + total - kept, kept);
    }
}

bool RecogniseAsf(StreamFile& file, uint32_t fileSize, SourceStream* source) {
    uint8_t header[kAsfHeaderObjectSize];
    if (!file.Seek(0, StreamFile::Origin::Begin) || !file.ReadExact(header, sizeof(header)) ||
        !(GuidAt(header) == kAsfHeaderObject) || Le64(header + 16) < kAsfHeaderObjectSize) {
        return false;
    }
    for (;;) {
        uint8_t object[kAsfObjectHeaderSize];
        if (!file.ReadExact(object, sizeof(object))) {
            return false;
        }
        const uint64_t size = Le64(object + 16);
        if (size < kAsfObjectHeaderSize) {
            return false;
        }
        if (!(GuidAt(object) == kAsfStreamPropertiesObject)) {
            const uint32_t skip = static_cast<uint32_t>(size - kAsfObjectHeaderSize);
            if (!file.Seek(skip, StreamFile::Origin::Current)) {
                return false;
            }
            continue;
        }
        uint8_t body[kAsfStreamPropertiesFixedSize];
        if (!file.ReadExact(body, sizeof(body)) ||
            size < kAsfObjectHeaderSize + kAsfStreamPropertiesFixedSize ||
            !(GuidAt(body) == kAsfAudioMedia) ||
            Le32(body + kAsfTypeSpecificLengthOffset) != kAsfAudioFormatSize) {
            return false;
        }
        source->format.assign(kAsfAudioFormatSize, 0);
        if (!file.ReadExact(source->format.data(), kAsfAudioFormatSize)) {
            return false;
        }
        CoverExtraBytes(source->format);
        source->remaining = fileSize;
        return file.Seek(0, StreamFile::Origin::Begin);
    }
}

std::u16string Id3v1FieldText(const uint8_t* bytes, size_t count) {
    if (IsValidUtf8(bytes, count)) {
        return BytesToU16(std::string_view(reinterpret_cast<const char*>(bytes), count));
    }
    std::u16string out(count, u'\0');
    for (size_t i = 0; i < count; ++i) {
        const uint8_t c = bytes[i];
        out[i] = c >= 0x80 && c < 0xA0 ? kCp1252High[c - 0x80] : char16_t{c};
    }
    return out;
}

bool ReadId3v1Trailer(StreamFile& file, DecoderInfo* info) {
    uint64_t position = 0;
    if (!file.Tell(&position)) {
        return false;
    }
    uint8_t tag[kId3v1Size];
    const bool found = file.Seek(-static_cast<int64_t>(kId3v1Size), StreamFile::Origin::End) &&
                       file.ReadExact(tag, sizeof(tag)) && std::memcmp(tag, "TAG", 3) == 0;
    if (found) {
        CopyInfoText(info->title, Id3v1FieldText(tag + kId3v1TitleOffset, kId3v1FieldSize));
        CopyInfoText(info->artist, Id3v1FieldText(tag + kId3v1ArtistOffset, kId3v1FieldSize));
        CopyInfoText(info->album, Id3v1FieldText(tag + kId3v1AlbumOffset, kId3v1FieldSize));
    }
    file.Seek(static_cast<int64_t>(position), StreamFile::Origin::Begin);
    return found;
}
