// CHalfRateMixer: the media runtime's short way to the host's usual request,
// one channel at half the source's rate (a 44100 Hz file read at 22050 Hz).
// One pass mixes the channels, low-pass filters and keeps every second sample
// as 16-bit PCM. The filter has the general resampler's shape (a 65-tap
// Kaiser-windowed sinc, beta 9, cut at 97 % of the new band), so the host
// receives what the resampler would give, at a fraction of its cost.
//
// One object per decoded stream; used by one thread at a time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// How the samples of one decoded frame lie in memory.
struct PcmFrameLayout {
    enum Kind { kFloat, kInt16, kInt32 };
    Kind kind = kFloat;
    bool planar = false;  // one array per channel, else the channels interleaved
    int channels = 0;     // 1 or 2
};

class CHalfRateMixer {
  public:
    CHalfRateMixer();

    // Whether frames of this layout can be mixed.
    static bool Takes(const PcmFrameLayout& layout);

    // Mixes `frames` frames (data: one pointer per plane; a full-scale float
    // is 1.0, integers full scale) and appends to out every output sample
    // whose filter input is complete, as native-endian 16-bit PCM. Output
    // sample i stands for input frame 2i.
    void Push(const uint8_t* const* data, const PcmFrameLayout& layout, int frames,
              std::vector<uint8_t>& out);
    // The end of the stream: appends the samples the filter still holds back
    // (one per two input frames in all, rounded up), then starts afresh.
    void Flush(std::vector<uint8_t>& out);
    // Forgets all input.
    void Reset();

  private:
    // Appends mixed input at the next positions.
    void Append(const float* values, size_t count);
    // Writes the lead and the input held back until it could be made.
    void Start();
    // Filters what is ready: whole blocks of outputs, or all when last.
    void Produce(std::vector<uint8_t>& out, bool last);

    // The mixed input, preceded by the filter's lead, split by the parity of
    // its position: m_even[j] is position 2j, m_odd[j] 2j + 1, counted from
    // the first output sample not yet produced.
    std::vector<float> m_even;
    std::vector<float> m_odd;
    uint64_t m_position = 0;  // positions appended so far
    // Input held back until the lead, which mirrors it, can be made.
    std::vector<float> m_head;
    bool m_started = false;
    std::vector<float> m_mixed;
    std::vector<int16_t> m_filtered;
};
