// DecoderSet: one thread's handle on every decoder plug-in. It loads each
// "*.so" of a folder (by default the program's own), keeps one decoder object
// of every plug-in in descending order of priority, offers files to them in
// that order and turns the accepted decoder's PCM into 32-bit float mono
// samples at 22050 Hz, full scale +-1.0.
//
// Owns the loaded libraries and their decoder objects. Not thread-safe: a set
// is built, used and destroyed by one thread.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "decoder_contract.h"

// An allocator whose new elements are left unset when a vector grows by
// resize, for buffers that are written right after they grow.
template <class T>
struct UnsetAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UnsetAllocator<U>;
    };
    UnsetAllocator() = default;
    template <class U>
    UnsetAllocator(const UnsetAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

// Converted samples: the decoder writes each chunk straight after growing it.
using SampleBuffer = std::vector<float, UnsetAllocator<float>>;

class DecoderSet {
  public:
    // Loads the plug-ins of the folder holding the running executable.
    DecoderSet();
    // Loads the plug-ins of folder (a path without trailing '/'; empty means
    // the current folder). Never fails: with nothing loadable the set is empty.
    explicit DecoderSet(const std::string& folder);
    ~DecoderSet();

    DecoderSet(const DecoderSet&) = delete;
    DecoderSet& operator=(const DecoderSet&) = delete;

    // Offers the file to the plug-ins, highest priority first. E_FAIL when no
    // plug-in takes it.
    HRESULT OpenFile(const char16_t* path);
    // Reads and converts the next chunk. *samples points into the set's own
    // buffer, valid until the next ReadSamples or the set's destruction; it is
    // null when *count is 0. E_END_OF_STREAM at the end of the file, E_FAIL
    // without an open file or for a chunk format that cannot be converted.
    HRESULT ReadSamples(const float** samples, uint32_t* count);
    // As above, but appends the converted samples to destination, which
    // saves a copy for a caller that keeps them; *count is how many.
    HRESULT ReadSamples(SampleBuffer& destination, uint32_t* count);
    // E_FAIL without an open file, else what the decoder's Close returns.
    HRESULT CloseFile();
    // E_FAIL without an open file, else the decoder's GetInfo result.
    HRESULT GetFileInfo(DecoderInfo* info);

    size_t PluginCount() const { return m_plugins.size(); }
    // Priority of the plug-in at position i (0 = offered first).
    uint32_t PluginPriority(size_t i) const { return m_plugins[i].priority; }
    // File path of the plug-in library at position i.
    const std::string& PluginPath(size_t i) const { return m_plugins[i].path; }
    // Position of the plug-in that holds the open file, or -1.
    int CurrentPlugin() const;

    // The folder of the running executable, without trailing '/'; empty when
    // the platform does not tell.
    static std::string ProgramFolder();

  private:
    struct PluginEntry {
        void* module;
        IDecoder* decoder;
        uint32_t priority;
        std::string path;
    };

    void LoadPlugins(const std::string& folder);
    // Reads the next chunk and converts it to the end of out (grown by the
    // number of samples, in *count).
    HRESULT ReadAndConvert(SampleBuffer& out, uint32_t* count);
    void UnloadPlugins();

    std::vector<PluginEntry> m_plugins;
    IDecoder* m_current = nullptr;
    SampleBuffer m_samples;
};
