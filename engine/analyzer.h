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
// A stretch whose samples deviate less than this (-60 dBFS) holds no music.
inline constexpr float kMusicLevel = 0.001f;
// How far into a file music is looked for when the analysed window holds none.
inline constexpr uint64_t kMusicSearchLength = 120ull * kOneSecond;

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
    // no plug-in opens it, fewer than 15 s remain after the lead-in, the
    // decoding fails, or no music is found in the first two minutes;
    // failure() then says which. Only when the window that the lead-in
    // leads to holds no music is the start of the music looked for further in.
    HRESULT Extract(const char16_t* path);
    // Why the last Extract failed.
    SkipReason failure() const { return m_failure; }

    // Fills the sample buffer from the open file: lead-in trimmed, between
    // kMinimumLength and kAnalysisLength samples. E_FAIL when too short, or
    // when the decoder failed before that many samples (failure() tells).
    // The first skip samples of the stream are passed over unread.
    HRESULT ReadPcm(uint64_t skip = 0);
    // Fills spectrum and drift from the sample buffer; E_FAIL below 2048 samples.
    HRESULT ComputeSpectra();
    // Fills envelope from the sample buffer. Always S_OK.
    HRESULT ComputeEnvelope();
    // Whether the sample buffer holds music: a stretch whose samples deviate
    // by kMusicLevel or more.
    bool HoldsMusic() const;
    // The sample of the open file, read from its start, at which the first
    // stretch of music within kMusicSearchLength begins; false when there is
    // none (failure() is then silent, or damaged when the decoder failed).
    bool FindMusic(uint64_t* start);

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
    // Extract's second try for a file whose analysed window held no music.
    HRESULT ExtractFromMusic(const char16_t* path);

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
