#include "analyzer.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "signal_math.h"

namespace {

constexpr float kRiseFactor = 0.333f;
constexpr float kQuietFactor = 0.1f;
// Text of one tag converted to bytes; 255 UTF-16 units need at most 765.
constexpr size_t kTagBytes = 1024;
// A plug-in must end its stream with a failure; one that keeps returning empty
// chunks is taken to have ended after this many in a row.
constexpr uint32_t kMaxEmptyChunks = 1024;

void TagKey(std::string& dst, const char16_t (&field)[kDecoderInfoTextLength]) {
    size_t length = 0;
    while (length < kDecoderInfoTextLength && field[length] != 0) {
        ++length;
    }
    std::string bytes = U16ToBytes(std::u16string_view(field, length));
    if (bytes.size() > kTagBytes) {
        bytes.resize(kTagBytes);
    }
    Analyzer::NormalizeKey(dst, bytes.data(), bytes.data() + bytes.size());
}

// spectrum[k] and segment[k] += |re[k] + i im[k]|; the segments feed only the
// drift, which compares the first kComparedBins bins, so the rest are left.
// Built for the wider vector instructions as well (square roots are exact in
// either), chosen when the processor has them.
HF_CLONES_AVX2 void AddMagnitudes(const float* __restrict re, const float* __restrict im,
                                  float* __restrict spectrum, float* __restrict segment) {
    for (uint32_t k = 0; k < kComparedBins; ++k) {
        const float m = std::sqrt(re[k] * re[k] + im[k] * im[k]);
        spectrum[k] += m;
        segment[k] += m;
    }
    for (uint32_t k = kComparedBins; k < kBlockSize; ++k) {
        spectrum[k] += std::sqrt(re[k] * re[k] + im[k] * im[k]);
    }
}

// v.reserve(count), with the pages of new room taken in large pages where the
// system offers them and made all at once: one page fault at a time costs a
// worker several milliseconds for its first file, more than a file's
// transforms. Only a hint: the buffer works the same without it.
void ReserveMapped(SampleBuffer& v, size_t count) {
    if (v.capacity() >= count) {
        return;
    }
    v.reserve(count);
    const auto page = static_cast<uintptr_t>(sysconf(_SC_PAGESIZE));
    const auto begin = reinterpret_cast<uintptr_t>(v.data());
    const uintptr_t first = (begin + page - 1) / page * page;
    const uintptr_t end = (begin + v.capacity() * sizeof(float)) / page * page;
    if (end <= first) {
        return;
    }
    void* const at = reinterpret_cast<void*>(first);
    madvise(at, end - first, MADV_HUGEPAGE);
#ifdef MADV_POPULATE_WRITE
    madvise(at, end - first, MADV_POPULATE_WRITE);
#endif
}

}  // namespace

Analyzer::Analyzer() : m_decoders(std::make_unique<DecoderSet>()) {}

Analyzer::Analyzer(const std::string& pluginFolder)
    : m_decoders(std::make_unique<DecoderSet>(pluginFolder)) {}

Analyzer::~Analyzer() = default;

void Analyzer::NormalizeKey(std::string& dst, const char* first, const char* end) {
    const char* stop =
        static_cast<const char*>(std::memchr(first, 0, static_cast<size_t>(end - first)));
    if (stop != nullptr) {
        end = stop;
    }
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (end > first && blank(end[-1])) {
        --end;
    }
    while (first < end && blank(*first)) {
        ++first;
    }
    dst.assign(first, end);
    for (char& c : dst) {
        if (c >= 'A' && c <= 'Z') {
            c = static_cast<char>(c - 'A' + 'a');
        }
    }
}

std::string Analyzer::NameKey(const std::u16string& path) {
    const size_t slash = path.rfind(u'/');
    const size_t begin = slash == std::u16string::npos ? 0 : slash + 1;
    size_t end = path.rfind(u'.');
    if (end == std::u16string::npos || end < begin) {
        end = path.size();
    }
    const std::string bytes = U16ToBytes(std::u16string_view(path).substr(begin, end - begin));
    std::string key;
    NormalizeKey(key, bytes.data(), bytes.data() + bytes.size());
    return key;
}

HRESULT Analyzer::Extract(const char16_t* path) {
    m_failure = SkipReason::kUnreadable;
    if (path == nullptr) {
        return E_FAIL;
    }
    // A file that cannot be opened at all is told apart from one that no
    // plug-in takes.
    // Without O_NONBLOCK a file that became a FIFO since the walk met it
    // would hold the worker until some writer came.
    const int probe = open(U16ToBytes(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (probe < 0) {
        return E_FAIL;
    }
    struct stat probed;
    const bool regular = fstat(probe, &probed) == 0 && S_ISREG(probed.st_mode);
    close(probe);
    if (!regular) {
        m_failure = SkipReason::kNotRegular;
        return E_FAIL;
    }
    m_failure = SkipReason::kUnsupported;
    if (Failed(m_decoders->OpenFile(path))) {
        return E_FAIL;
    }
    m_grip.nameKey.clear();
    m_grip.title.clear();
    m_grip.artist.clear();
    m_grip.album.clear();

    DecoderInfo info;
    std::memset(&info, 0, sizeof(info));
    m_declaredMs = 0;
    if (Succeeded(m_decoders->GetFileInfo(&info))) {
        m_grip.nameKey = NameKey(path);
        TagKey(m_grip.title, info.title);
        TagKey(m_grip.artist, info.artist);
        TagKey(m_grip.album, info.album);
        m_declaredMs = info.durationMs;
    }
    if (Failed(ReadPcm())) {
        m_decoders->CloseFile();
        return E_FAIL;
    }
    m_decoders->CloseFile();
    if (!HoldsMusic()) {
        return ExtractFromMusic(path);
    }
    if (Failed(ComputeSpectra())) {
        m_failure = SkipReason::kDamaged;
        return E_FAIL;
    }
    ComputeEnvelope();
    return S_OK;
}

HRESULT Analyzer::ExtractFromMusic(const char16_t* path) {
    // Silence, a constant or faint noise would resemble every other such
    // file. A hidden track after a long silence is analysed from its music;
    // a file without music gives no Grip. The file is read anew from its
    // start, as a plug-in need not seek.
    uint64_t start = 0;
    if (Failed(m_decoders->OpenFile(path))) {
        m_failure = SkipReason::kDamaged;
        return E_FAIL;
    }
    const bool found = FindMusic(&start);
    m_decoders->CloseFile();
    if (!found) {
        return E_FAIL;
    }
    if (Failed(m_decoders->OpenFile(path))) {
        m_failure = SkipReason::kDamaged;
        return E_FAIL;
    }
    // A second before the music, so that the lead-in search sees it begin.
    const HRESULT read = ReadPcm(start > kOneSecond ? start - kOneSecond : 0);
    m_decoders->CloseFile();
    if (Failed(read)) {
        return E_FAIL;
    }
    if (!HoldsMusic()) {
        m_failure = SkipReason::kSilent;
        return E_FAIL;
    }
    if (Failed(ComputeSpectra())) {
        m_failure = SkipReason::kDamaged;
        return E_FAIL;
    }
    ComputeEnvelope();
    return S_OK;
}

namespace {

// Sums samples stretch by stretch, in double precision so that a constant
// shows no deviation however loud it is.
class StretchLevel {
  public:
    // Whether x completes a stretch whose samples deviate at kMusicLevel or more.
    bool AddAndTell(float x) {
        m_sum += x;
        m_sumSq += static_cast<double>(x) * x;
        if (++m_count < kStretchLength) {
            return false;
        }
        const double mean = m_sum / m_count;
        const bool music = m_sumSq / m_count - mean * mean >= kLevel;
        m_sum = m_sumSq = 0.0;
        m_count = 0;
        return music;
    }

  private:
    static constexpr double kLevel = static_cast<double>(kMusicLevel) * kMusicLevel;
    double m_sum = 0.0;
    double m_sumSq = 0.0;
    uint32_t m_count = 0;
};

}  // namespace

bool Analyzer::HoldsMusic() const {
    StretchLevel level;
    return std::any_of(m_samples.begin(), m_samples.end(),
                       [&level](float x) { return level.AddAndTell(x); });
}

bool Analyzer::FindMusic(uint64_t* start) {
    m_failure = SkipReason::kSilent;
    StretchLevel level;
    uint64_t position = 0;  // samples read before the chunk in hand
    uint32_t emptyRun = 0;
    while (position < kMusicSearchLength) {
        m_samples.clear();
        uint32_t read = 0;
        if (const HRESULT hr = m_decoders->ReadSamples(m_samples, &read); Failed(hr)) {
            if (hr != E_END_OF_STREAM) {
                m_failure = SkipReason::kDamaged;
            }
            return false;
        }
        if (m_samples.empty()) {
            if (++emptyRun >= kMaxEmptyChunks) {
                return false;
            }
            continue;
        }
        emptyRun = 0;
        for (size_t i = 0; i < m_samples.size(); ++i) {
            if (level.AddAndTell(m_samples[i])) {
                // The stretch that ends here.
                *start = position + i + 1 - kStretchLength;
                return true;
            }
        }
        position += m_samples.size();
    }
    return false;
}

HRESULT Analyzer::ReadPcm(uint64_t skip) {
    constexpr uint32_t N = kAnalysisLength;
    constexpr uint32_t M = kMinimumLength;
    constexpr uint32_t H = kHalfSecond;
    constexpr uint32_t S = kOneSecond;
    const float w = 1.0f / static_cast<float>(H);

    m_samples.clear();
    // Room for the analysed samples and the chunk that overshoots them, kept
    // from file to file: growing the buffer anew for every file costs more
    // than filling it.
    ReserveMapped(m_samples, N + kOneSecond);
    float sumAbs = 0.0f;
    uint32_t emptyRun = 0;
    // Too little music is "too short" when the stream ended, "damaged" when
    // the decoder gave up.
    m_failure = SkipReason::kTooShort;
    while (m_samples.size() < N) {
        // Decoded straight to the end of the buffer.
        const size_t start = m_samples.size();
        uint32_t count = 0;
        if (const HRESULT hr = m_decoders->ReadSamples(m_samples, &count); Failed(hr)) {
            if (hr != E_END_OF_STREAM) {
                m_failure = SkipReason::kDamaged;
            }
            break;
        }
        if (count == 0) {
            if (++emptyRun >= kMaxEmptyChunks) {
                break;
            }
            continue;
        }
        emptyRun = 0;
        if (skip > 0) {
            const size_t drop =
                static_cast<size_t>(std::min<uint64_t>(skip, m_samples.size() - start));
            m_samples.erase(m_samples.begin() + static_cast<std::ptrdiff_t>(start),
                            m_samples.begin() + static_cast<std::ptrdiff_t>(start + drop));
            skip -= drop;
        }
        const size_t counted = std::min<size_t>(m_samples.size(), N);
        for (size_t i = start; i < counted; ++i) {
            sumAbs += std::fabs(m_samples[i]);
        }
    }

    const uint32_t n = static_cast<uint32_t>(std::min<size_t>(m_samples.size(), N));
    if (n < M) {
        // Nothing decodable at all, or less than the file says it holds, is
        // damage rather than a short piece.
        if (n == 0 || static_cast<uint64_t>(m_declaredMs) * kOneSecond / 1000 >= M) {
            m_failure = SkipReason::kDamaged;
        }
        return E_FAIL;
    }
    const float meanAbs = sumAbs / static_cast<float>(n);
    const float thrRise = meanAbs * kRiseFactor;
    const float thrQuiet = meanAbs * kQuietFactor;

    // Onset search: the largest rise of the mean absolute level from one half
    // second to the next, given up one second after the best rise so far.
    const float* x = m_samples.data();
    float sumFirst = 0.0f;
    for (uint32_t i = 0; i < H; ++i) {
        sumFirst += std::fabs(x[i]);
    }
    float cur = w * sumFirst;
    float prev = 0.0f;
    float best = 0.0f;
    uint32_t bestPos = 0;
    for (uint32_t t = H; t < n; ++t) {
        const float d = cur - prev;
        if (d > thrRise && d > best) {
            best = d;
            bestPos = t;
        }
        if (bestPos != 0 && t - bestPos > S) {
            break;
        }
        if (t >= S) {
            prev = prev - w * std::fabs(x[t - S]);
        }
        cur = cur - w * std::fabs(x[t - H]);
        prev = prev + w * std::fabs(x[t - H]);
        cur = cur + w * std::fabs(x[t]);
    }

    size_t trim = 0;
    if (bestPos != 0) {
        trim = bestPos - H;
    } else {
        trim = n;
        for (uint32_t i = 0; i < n; ++i) {
            if (x[i] > thrQuiet) {
                trim = i;
                break;
            }
        }
    }
    m_samples.erase(m_samples.begin(), m_samples.begin() + static_cast<std::ptrdiff_t>(trim));

    if (m_samples.size() < N) {
        while (m_samples.size() < N) {
            uint32_t count = 0;
            if (const HRESULT hr = m_decoders->ReadSamples(m_samples, &count); Failed(hr)) {
                if (hr != E_END_OF_STREAM) {
                    m_failure = SkipReason::kDamaged;
                }
                break;
            }
            if (count == 0) {
                break;
            }
            // Of the last chunk only what fills the analysis length is kept.
            m_samples.resize(std::min<size_t>(m_samples.size(), N));
        }
    } else {
        m_samples.resize(N);
    }
    return m_samples.size() < M ? E_FAIL : S_OK;
}

HRESULT Analyzer::ComputeSpectra() {
    const size_t total = m_samples.size();
    if (total < kBlockSize) {
        return E_FAIL;
    }
    m_re.resize(kBlockSize);
    m_im.resize(kBlockSize);
    m_segments.assign(static_cast<size_t>(kSegmentCount) * kBlockSize, 0.0f);
    uint32_t counts[kSegmentCount] = {};
    float* spectrum = m_grip.spectrum.data();
    std::fill(spectrum, spectrum + kSpectrumLength, 0.0f);
    uint32_t blocks = 0;

    for (size_t pos = 0; pos < total; pos += kBlockSize) {
        const size_t length = std::min<size_t>(total - pos, kBlockSize);
        const float* block = m_samples.data() + pos;
        if (length < kBlockSize) {
            // The last block, padded with zeros.
            m_tail.assign(kBlockSize, 0.0f);
            std::copy(block, block + length, m_tail.begin());
            block = m_tail.data();
        }
        FftOfReal(block, m_re.data(), m_im.data(), kBlockSize);
        const size_t s = static_cast<size_t>((static_cast<uint64_t>(pos) * kSegmentCount) / total);
        ++counts[s];
        AddMagnitudes(m_re.data(), m_im.data(), spectrum, m_segments.data() + s * kBlockSize);
        ++blocks;
    }

    const float r = 1.0f / static_cast<float>(blocks);
    for (uint32_t k = 0; k < kBlockSize; ++k) {
        spectrum[k] = spectrum[k] * (static_cast<float>(k + 1) * r / 2048.0f);
    }
    if (total > static_cast<size_t>(kSegmentCount) * kBlockSize) {
        for (uint32_t s = 0; s < kSegmentCount; ++s) {
            const float rs = 1.0f / static_cast<float>(counts[s]);
            float* segment = m_segments.data() + static_cast<size_t>(s) * kBlockSize;
            for (uint32_t k = 0; k < kComparedBins; ++k) {
                segment[k] = segment[k] * (static_cast<float>(k + 1) * rs / 2048.0f);
            }
        }
        for (uint32_t j = 0; j + 1 < kSegmentCount; ++j) {
            m_grip.drift[j] =
                CorrelationCoefficient(m_segments.data() + j * kBlockSize,
                                       m_segments.data() + (j + 1) * kBlockSize, kComparedBins);
        }
    } else {
        m_grip.drift.fill(0.0f);
    }
    return S_OK;
}

HRESULT Analyzer::ComputeEnvelope() {
    float* envelope = m_grip.envelope.data();
    std::fill(envelope, envelope + kEnvelopeLength, 0.0f);
    const float* x = m_samples.data();
    const size_t total = m_samples.size();
    // Stretch j ends with sample (j + 1) * 6615 and begins after the end of
    // the one before (stretch 0 at sample 0); the buffer may end inside one.
    auto last = [](uint32_t j) {
        return static_cast<size_t>(j + 1) * kOneSecond * 30 / kEnvelopeLength;
    };
    auto first = [&last](uint32_t j) { return j == 0 ? size_t{0} : last(j - 1) + 1; };
    auto close = [envelope](uint32_t j, float sum, float sumSq, size_t count) {
        const float mean = sum / static_cast<float>(count);
        // Rounding can leave a constant stretch with a tiny negative variance.
        const float variance = sumSq / static_cast<float>(count) - mean * mean;
        envelope[j] = std::sqrt(std::max(variance, 0.0f));
    };
    auto closeAlone = [&](uint32_t j, size_t end) {
        float sum = 0.0f;
        float sumSq = 0.0f;
        for (size_t i = first(j); i < end; ++i) {
            sum += x[i];
            sumSq += x[i] * x[i];
        }
        close(j, sum, sumSq, end - first(j));
    };
    uint32_t whole = 0;  // stretches that end inside the buffer
    while (whole < kEnvelopeLength && last(whole) < total) {
        ++whole;
    }
    uint32_t j = 0;
    if (whole > 0) {
        closeAlone(j++, last(0) + 1);
    }
    // Every stretch sums its own samples in order, so its figures do not
    // change; summing kSide equal stretches side by side only keeps the
    // processor from waiting on each addition in turn.
    constexpr uint32_t kSide = 4;
    constexpr size_t kLength = kStretchLength;  // of every stretch after the first
    for (; j + kSide <= whole; j += kSide) {
        const float* p[kSide];
        float sum[kSide] = {};
        float sumSq[kSide] = {};
        for (uint32_t l = 0; l < kSide; ++l) {
            p[l] = x + first(j + l);
        }
        for (size_t k = 0; k < kLength; ++k) {
            for (uint32_t l = 0; l < kSide; ++l) {
                const float v = p[l][k];
                sum[l] += v;
                sumSq[l] += v * v;
            }
        }
        for (uint32_t l = 0; l < kSide; ++l) {
            close(j + l, sum[l], sumSq[l], kLength);
        }
    }
    for (; j < whole; ++j) {
        closeAlone(j, last(j) + 1);
    }
    if (j < kEnvelopeLength && first(j) < total) {
        closeAlone(j, total);
    }
    return S_OK;
}
