#include "pair_verdict.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "analyzer.h"
#include "decoder_contract.h"
#include "tolerant_compare.h"

namespace {

constexpr size_t kChunk = 1 << 16;
// A FLAC file opens with "fLaC" and its STREAMINFO block, whose last 16
// bytes are the MD5 signature of the decoded samples (all zero when unset).
constexpr size_t kFlacMd5Offset = 4 + 4 + 18;
constexpr size_t kFlacMd5Size = 16;

// An open file, closed with its holder.
class File {
  public:
    explicit File(const std::u16string& path)
        : m_fd(open(U16ToBytes(path).c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK)) {}
    ~File() {
        if (m_fd >= 0) {
            close(m_fd);
        }
    }
    File(const File&) = delete;
    File& operator=(const File&) = delete;

    // The size of a regular file, or -1.
    off_t RegularSize() const {
        struct stat info;
        if (m_fd < 0 || fstat(m_fd, &info) != 0 || !S_ISREG(info.st_mode)) {
            return -1;
        }
        return info.st_size;
    }
    // Reads up to count bytes; fewer only at the end. -1 on failure.
    ssize_t Read(char* to, size_t count) {
        size_t got = 0;
        while (got < count) {
            const ssize_t n = read(m_fd, to + got, count - got);
            if (n < 0 && errno == EINTR) {
                continue;
            }
            if (n < 0) {
                return -1;
            }
            if (n == 0) {
                break;
            }
            got += static_cast<size_t>(n);
        }
        return static_cast<ssize_t>(got);
    }

  private:
    int m_fd;
};

// Whether both regular files hold the same bytes; read only when their sizes
// are equal.
bool SameBytes(const std::u16string& path1, const std::u16string& path2) {
    File one(path1);
    File two(path2);
    const off_t size = one.RegularSize();
    if (size < 0 || size != two.RegularSize()) {
        return false;
    }
    std::string a(kChunk, '\0');
    std::string b(kChunk, '\0');
    for (off_t left = size; left > 0;) {
        const ssize_t n = one.Read(a.data(), kChunk);
        if (n <= 0 || two.Read(b.data(), static_cast<size_t>(n)) != n ||
            std::memcmp(a.data(), b.data(), static_cast<size_t>(n)) != 0) {
            return false;
        }
        left -= n;
    }
    return true;
}

// The MD5 signature of a FLAC file; all zero when it has none.
std::array<char, kFlacMd5Size> FlacSignature(const std::u16string& path) {
    std::array<char, kFlacMd5Size> md5{};
    File file(path);
    char head[kFlacMd5Offset + kFlacMd5Size];
    if (file.RegularSize() < 0 ||
        file.Read(head, sizeof(head)) != static_cast<ssize_t>(sizeof(head)) ||
        std::memcmp(head, "fLaC", 4) != 0 || (head[4] & 0x7F) != 0) {
        return md5;
    }
    std::memcpy(md5.data(), head + kFlacMd5Offset, kFlacMd5Size);
    return md5;
}

bool SameFlacSignature(const std::u16string& path1, const std::u16string& path2) {
    const std::array<char, kFlacMd5Size> none{};
    const std::array<char, kFlacMd5Size> one = FlacSignature(path1);
    return one != none && one == FlacSignature(path2);
}

// Whether both files decode to the same samples over their analysed windows.
// The window starts where the music does, so two lossless copies of one
// recording agree sample for sample whatever their containers.
bool SameDecodedWindow(Analyzer& decoder, const std::u16string& path1,
                       const std::u16string& path2) {
    if (Failed(decoder.Extract(path1.c_str()))) {
        return false;
    }
    const SampleBuffer first = decoder.samples();
    if (Failed(decoder.Extract(path2.c_str()))) {
        return false;
    }
    const SampleBuffer& second = decoder.samples();
    return first.size() == second.size() && std::equal(first.begin(), first.end(), second.begin());
}

}  // namespace

PairVerdict JudgeVerdict(const DuplicatePair& pair, Analyzer* decoder) {
    PairVerdict out;
    if (!pair.contentMatch) {
        out.verdict = SameBytes(pair.path1, pair.path2) ? Verdict::kSameFile : Verdict::kTagsOnly;
        return out;
    }
    out.offsetSeconds = static_cast<float>(pair.shift) * kStretchSeconds;
    if (SameBytes(pair.path1, pair.path2)) {
        out.verdict = Verdict::kSameFile;
    } else if (SameFlacSignature(pair.path1, pair.path2) ||
               (pair.sameFingerprint && decoder != nullptr &&
                SameDecodedWindow(*decoder, pair.path1, pair.path2))) {
        out.verdict = Verdict::kSameAudio;
    } else if (pair.shift != 0) {
        out.verdict = Verdict::kShifted;
    } else if (pair.narrowBand) {
        out.verdict = Verdict::kBandLimited;
    } else {
        out.verdict = Verdict::kSameRecording;
    }
    return out;
}

std::string_view VerdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::kSameFile:
            return "same file";
        case Verdict::kSameAudio:
            return "same audio";
        case Verdict::kSameRecording:
            return "same recording";
        case Verdict::kShifted:
            return "shifted";
        case Verdict::kBandLimited:
            return "band-limited";
        case Verdict::kTagsOnly:
            return "tags only";
    }
    return "tags only";
}
