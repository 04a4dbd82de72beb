#include "cache_record.h"

#include <array>
#include <bit>
#include <cmath>
#include <cstring>

namespace {

// No value of a Grip made from audio comes near this; a larger one is damage.
constexpr float kMaxGripValue = 1e6f;

// Reads fields of one record from a byte range; every read fails once the
// range is exhausted.
class RecordReader {
  public:
    RecordReader(const unsigned char* data, size_t size) : m_data(data), m_size(size) {}

    size_t offset() const { return m_offset; }
    bool Room(size_t count) const { return m_size - m_offset >= count; }

    bool Length(int16_t* value) {
        if (!Room(2)) {
            return false;
        }
        *value = static_cast<int16_t>(GetUint(m_data + m_offset, 2));
        m_offset += 2;
        return true;
    }
    bool Units(std::u16string& text, size_t count) {
        if ((m_size - m_offset) / 2 < count) {
            return false;
        }
        text.resize(count);
        for (size_t i = 0; i < count; ++i) {
            text[i] = static_cast<char16_t>(GetUint(m_data + m_offset + 2 * i, 2));
        }
        m_offset += 2 * count;
        return true;
    }
    template <size_t N>
    bool Floats(std::array<float, N>& values) {
        if ((m_size - m_offset) / 4 < N) {
            return false;
        }
        if constexpr (std::endian::native == std::endian::little) {
            std::memcpy(values.data(), m_data + m_offset, 4 * N);
        } else {
            for (size_t i = 0; i < N; ++i) {
                const auto bits = static_cast<uint32_t>(GetUint(m_data + m_offset + 4 * i, 4));
                std::memcpy(&values[i], &bits, 4);
            }
        }
        m_offset += 4 * N;
        return true;
    }
    bool Text(std::string& text) {
        int16_t length = 0;
        if (!Length(&length) || length < 0 || !Room(static_cast<size_t>(length))) {
            return false;
        }
        text.assign(reinterpret_cast<const char*>(m_data + m_offset), static_cast<size_t>(length));
        m_offset += static_cast<size_t>(length);
        return true;
    }
    bool Marker() {
        if (!Room(sizeof(kRecordEndMarker)) ||
            std::memcmp(m_data + m_offset, kRecordEndMarker, sizeof(kRecordEndMarker)) != 0) {
            return false;
        }
        m_offset += sizeof(kRecordEndMarker);
        return true;
    }

  private:
    const unsigned char* m_data;
    size_t m_size;
    size_t m_offset = 0;
};

template <size_t N>
bool Sane(const std::array<float, N>& values) {
    for (float v : values) {
        if (!(std::fabs(v) <= kMaxGripValue)) {  // NaN fails too
            return false;
        }
    }
    return true;
}

// The offset of the next end marker at or after from, or kNowhere.
uint64_t FindMarker(FileWindow& window, uint64_t from) {
    while (from < window.size() && window.size() - from >= sizeof(kRecordEndMarker)) {
        const size_t span =
            static_cast<size_t>(std::min<uint64_t>(kReadWindow, window.size() - from));
        const unsigned char* data = window.Bytes(from, span);
        if (data == nullptr) {
            return kNowhere;
        }
        const void* hit = memmem(data, span, kRecordEndMarker, sizeof(kRecordEndMarker));
        if (hit != nullptr) {
            return from + static_cast<uint64_t>(static_cast<const unsigned char*>(hit) - data);
        }
        from += span - (sizeof(kRecordEndMarker) - 1);
    }
    return kNowhere;
}

void PutLength(std::vector<unsigned char>& out, size_t length) {
    out.push_back(static_cast<unsigned char>(length & 0xFF));
    out.push_back(static_cast<unsigned char>((length >> 8) & 0xFF));
}

template <size_t N>
void PutFloats(std::vector<unsigned char>& out, const std::array<float, N>& values) {
    if constexpr (std::endian::native == std::endian::little) {
        const auto* bytes = reinterpret_cast<const unsigned char*>(values.data());
        out.insert(out.end(), bytes, bytes + 4 * N);
        return;
    }
    for (float v : values) {
        uint32_t bits;
        std::memcpy(&bits, &v, 4);
        for (int shift = 0; shift < 32; shift += 8) {
            out.push_back(static_cast<unsigned char>((bits >> shift) & 0xFF));
        }
    }
}

}  // namespace

void ParseRecord(FileWindow& window, uint64_t offset, ParsedRecord& out) {
    out.good = false;
    out.shaped = false;
    const size_t span =
        static_cast<size_t>(std::min<uint64_t>(kMaxRecordSize, window.size() - offset));
    const unsigned char* data = window.Bytes(offset, span);
    if (data == nullptr) {
        return;
    }
    RecordReader in(data, span);
    Grip& g = out.grip;
    int16_t pathLength = 0;
    if (!in.Length(&pathLength) || pathLength < 1 ||
        !in.Units(out.path, static_cast<size_t>(pathLength)) || !in.Floats(g.envelope) ||
        !in.Floats(g.drift) || !in.Floats(g.spectrum) || !in.Text(g.nameKey) || !in.Text(g.title) ||
        !in.Text(g.artist) || !in.Text(g.album) || !in.Room(sizeof(kRecordEndMarker))) {
        return;
    }
    out.shaped = true;
    out.end = offset + in.offset() + sizeof(kRecordEndMarker);
    g.sequence = kNotInScan;
    out.good = in.Marker() && out.path.find(u'\0') == std::u16string::npos && Sane(g.envelope) &&
               Sane(g.drift) && Sane(g.spectrum);
}

uint64_t NextGoodRecord(FileWindow& window, uint64_t from, ParsedRecord& record) {
    uint64_t computed = record.shaped ? record.end : kNowhere;
    uint64_t search = from + 1;
    for (;;) {
        const uint64_t marker = FindMarker(window, search);
        const uint64_t after = marker == kNowhere ? kNowhere : marker + sizeof(kRecordEndMarker);
        if (computed != kNowhere && computed <= after) {
            const uint64_t candidate = computed;
            computed = kNowhere;
            if (candidate < window.size()) {
                ParseRecord(window, candidate, record);
                if (record.good) {
                    return candidate;
                }
            }
            if (candidate == after) {
                search = marker + 1;
                continue;
            }
        }
        if (marker == kNowhere || window.failed()) {
            return kNowhere;
        }
        if (after < window.size()) {
            ParseRecord(window, after, record);
            if (record.good) {
                return after;
            }
        }
        search = marker + 1;
    }
}

bool SerializeRecord(const std::u16string& path, const Grip& grip,
                     std::vector<unsigned char>& buffer) {
    const std::string* texts[] = {&grip.nameKey, &grip.title, &grip.artist, &grip.album};
    if (path.empty() || path.size() > static_cast<size_t>(kMaxLength16)) {
        return false;
    }
    size_t size = kRecordFixedSize + 2 * path.size();
    for (const std::string* text : texts) {
        if (text->size() > static_cast<size_t>(kMaxLength16)) {
            return false;
        }
        size += text->size();
    }
    buffer.clear();
    buffer.reserve(size);
    PutLength(buffer, path.size());
    for (char16_t unit : path) {
        PutLength(buffer, unit);
    }
    PutFloats(buffer, grip.envelope);
    PutFloats(buffer, grip.drift);
    PutFloats(buffer, grip.spectrum);
    for (const std::string* text : texts) {
        PutLength(buffer, text->size());
        buffer.insert(buffer.end(), text->begin(), text->end());
    }
    buffer.insert(buffer.end(), std::begin(kRecordEndMarker), std::end(kRecordEndMarker));
    return true;
}
