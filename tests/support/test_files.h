// Helpers for tests: temporary folders, plug-in folders made of chosen fake
// plug-ins, fake audio files and signal generators.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

// A fresh folder under the system's temporary folder, removed with everything
// in it when the object goes.
class TempDir {
  public:
    // inMemory: under /dev/shm where it can be, for tests that write and
    // sync thousands of small files.
    explicit TempDir(bool inMemory = false);
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;

    const std::string& path() const { return m_path; }
    std::string File(const std::string& name) const { return m_path + "/" + name; }

  private:
    std::string m_path;
};

// Copies the named fake plug-ins (e.g. "fake_high") into folder.
void InstallPlugins(const std::string& folder, const std::vector<std::string>& names);

// Writes a fake audio file: the header keys, then 16-bit little-endian samples.
void WriteFakeAudio(const std::string& path, const std::map<std::string, std::string>& keys,
                    const std::vector<int16_t>& samples);
// As above with raw payload bytes.
void WriteFakeAudioBytes(const std::string& path, const std::map<std::string, std::string>& keys,
                         const std::string& payload);

// Float samples in -1..1 to 16-bit, rounded and clamped.
std::vector<int16_t> ToPcm16(const std::vector<float>& samples);

// A sine of the given frequency and amplitude at 22050 Hz.
std::vector<float> Sine(size_t count, double frequency, double amplitude, double rate = 22050.0);

// A music-like test signal: a few tones whose pitches and loudness change
// every quarter second, seeded so that different seeds give different pieces.
std::vector<float> MusicLike(size_t count, uint32_t seed, double rate = 22050.0);

// A piece that the content comparison tells apart from every other seed's:
// notes drawn from a few seed-chosen pitches (with two overtones each) at a
// seed-chosen tempo, so both the mean spectrum and the loudness curve differ.
std::vector<float> Piece(size_t count, uint32_t seed, double rate = 22050.0);

std::u16string U16(const std::string& utf8);

// The whole content of a file; empty when it cannot be read.
std::string ReadWholeFile(const std::string& file);

// s in single quotes, safe to paste into a shell command.
std::string ShellQuoted(const std::string& s);
