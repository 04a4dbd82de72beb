// Analyzer: turns one audio file into a Grip. One per worker thread; it owns
// that thread's DecoderSet, its sample buffer and transform scratch, and the
// Grip under construction. Used by one thread only.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "decoder_set.h"
#include "grip.h"
#include "skipped_files.h"

class ScanOwner;

inline constexpr uint32_t kAnalysisLength = 661500;  // 30 s: the most samples analysed
inline constexpr uint32_t kMinimumLength = 330750;   // 15 s: fewer after the trim gives no Grip
inline constexpr uint32_t kHalfSecond = 11025;
inline constexpr uint32_t kOneSecond = 22050;
inline constexpr uint32_t kBlockSize = 2048;
inline constexpr uint32_t kSegmentCount = 11;
inline constexpr uint32_t kStretchLength = 6615;  // 22050 * 30 / 100

class Analyzer {
  public:
    // Loads the plug-ins of the program's own folder.
    Analyzer();
    // Loads the plug-ins of pluginFolder.
    explicit Analyzer(const std::string& pluginFolder);
    ~Analyzer();

    Analyzer(const Analyzer&) = delete;
    Analyzer& operator=(const Analyzer&) = delete;

    // Runs the whole extraction for the file at path (zero-terminated UTF-16).
    // S_OK leaves the result in grip(); E_FAIL when the file cannot be read,
    // no plug-in opens it, fewer than 15 s remain after the lead-in, or the
    // decoding fails; failure() then says which.
    HRESULT Extract(const char16_t* path);
    // Why the last Extract failed.
    SkipReason failure() const { return m_failure; }

    // Fills the sample buffer from the open file: lead-in trimmed, between
    // kMinimumLength and kAnalysisLength samples. E_FAIL when too short, or
    // when the decoder failed before that many samples (failure() tells).
    HRESULT ReadPcm();
    // Fills spectrum and drift from the sample buffer; E_FAIL below 2048 samples.
    HRESULT ComputeSpectra();
    // Fills envelope from the sample buffer. Always S_OK.
    HRESULT ComputeEnvelope();

    // dst = the bytes [first, end) up to the first NUL, without leading and
    // trailing blanks and tabs, 'A'..'Z' lowered; other bytes unchanged.
    static void NormalizeKey(std::string& dst, const char* first, const char* end);
    // The normalised file name of path: after the last '/', before the last
    // '.' of the name.
    static std::string NameKey(const std::u16string& path);

    Grip& grip() { return m_grip; }
    SampleBuffer& samples() { return m_samples; }
    DecoderSet& decoders() { return *m_decoders; }
    ScanOwner* owner() const { return m_owner; }
    void SetOwner(ScanOwner* owner) { m_owner = owner; }
    // Scratch for serialising one cache record.
    std::vector<unsigned char>& recordBuffer() { return m_record; }

  private:
    ScanOwner* m_owner = nullptr;
    SkipReason m_failure = SkipReason::kUnsupported;
    uint32_t m_declaredMs = 0;  // the open file's duration as its plug-in tells it
    std::unique_ptr<DecoderSet> m_decoders;
    SampleBuffer m_samples;
    std::vector<float> m_re;
    std::vector<float> m_im;
    std::vector<float> m_tail;      // the last, partial block, zero-padded
    std::vector<float> m_segments;  // kSegmentCount x kBlockSize
    Grip m_grip;
    std::vector<unsigned char> m_record;
};
