// Audio fixtures for the plug-in tests: WAV files written byte by byte, other
// formats encoded from them by the ffmpeg tool, and helpers that decode a file
// through a DecoderSet and line the result up with the signal it was made from.
// Every function is for one test thread; files go wherever the caller says
// (normally a TempDir).
#pragma once

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

class DecoderSet;

// The integer that a PCM WAV of `bits` bits (8, 16, 24 or 32) stores for a
// sample in -1..1: rounded, clamped, and for 8 bits offset to unsigned 0..255.
int32_t QuantizeSample(float value, uint16_t bits);

// The bytes of a complete RIFF/WAVE file of integer PCM (format tag 1, a
// 16-byte format chunk, then the data chunk). interleaved holds frames of
// `channels` samples in -1..1.
std::string WavBytes(const std::vector<float>& interleaved, uint32_t rate, uint16_t channels,
                     uint16_t bits);

// Writes WavBytes(...) to path. false when the file cannot be written.
bool WriteWav(const std::string& path, const std::vector<float>& interleaved, uint32_t rate,
              uint16_t channels, uint16_t bits);

// Writes bytes to path as they stand. false when the file cannot be written.
bool WriteBytes(const std::string& path, const std::string& bytes);

// Runs `ffmpeg -y -i inPath <extraArgs...> outPath` with its output silenced,
// e.g. extraArgs {"-c:a", "libmp3lame", "-b:a", "128k"}. true when ffmpeg
// exits with 0 and outPath exists.
bool EncodeWithFfmpeg(const std::string& inPath, const std::string& outPath,
                      const std::vector<std::string>& extraArgs);

// A mix of steady tones (100 Hz to 4 kHz) whose loudness swells and fades,
// defined in continuous time: the same seed gives the same sound at every
// sample rate, so a signal generated at 22050 Hz is the reference for one
// resampled from any other rate. Peaks stay below 0.9. With a delay, sample i
// holds the sound of time i / rate - delaySeconds (for lining up a decoded
// stream whose delay is a fraction of a sample).
std::vector<float> Tones(size_t count, uint32_t seed, double rate, double delaySeconds = 0.0);

// Interleaves equally long channels into frames.
std::vector<float> Interleave(const std::vector<std::vector<float>>& channels);

// Opens path (UTF-8) in the set and appends every delivered sample to out
// until the end of the stream, a failed read, or maxSamples. Returns the
// result of OpenFile; on success the file is closed again.
int32_t DecodeAll(DecoderSet& set, const std::string& path, std::vector<float>& out,
                  size_t maxSamples = std::numeric_limits<size_t>::max());

struct Alignment {
    int lag = 0;               // decoded[i + lag] lines up with reference[i]
    double correlation = 0.0;  // Pearson correlation over the whole overlap at that lag
};

// The lag in [-maxLag, maxLag] at which decoded best matches reference. The
// lag is searched on a window of `window` samples taken 0.5 s into reference
// (or from its start when it is short); the correlation is then measured over
// the whole overlap.
Alignment BestAlignment(const std::vector<float>& reference, const std::vector<float>& decoded,
                        int maxLag, size_t window = 22050);

// Pearson correlation of a[i] and b[i + lag] over their overlap (0 when the
// overlap is shorter than two samples or either side is constant).
double CorrelationAtLag(const std::vector<float>& a, const std::vector<float>& b, int lag);

// Copies the built plug-in lib<name>.so (e.g. "streamdec") from the program's
// folder into folder, so that a DecoderSet on folder sees that plug-in alone.
void InstallRealPlugin(const std::string& folder, const std::string& name);
