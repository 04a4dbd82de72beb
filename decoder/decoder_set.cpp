#include "decoder_set.h"

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <climits>
#include <cstring>

namespace {

constexpr DecoderFormat kRequestedFormat = kDefaultDecoderFormat;
constexpr uint32_t kOutputRate = 22050;
constexpr float kSampleScale = 1.0f / 32768.0f;

bool EndsWith(const std::string& s, const char* suffix) {
    const size_t n = std::char_traits<char>::length(suffix);
    return s.size() >= n && s.compare(s.size() - n, n, suffix) == 0;
}

}  // namespace

DecoderSet::DecoderSet() {
    LoadPlugins(ProgramFolder());
}

DecoderSet::DecoderSet(const std::string& folder) {
    LoadPlugins(folder);
}

DecoderSet::~DecoderSet() {
    // The current decoder is not closed here: each decoder closes its own file
    // inside Release.
    m_current = nullptr;
    UnloadPlugins();
}

std::string DecoderSet::ProgramFolder() {
    char buffer[PATH_MAX];
    const ssize_t n = readlink("/proc/self/exe", buffer, sizeof(buffer));
    if (n <= 0 || static_cast<size_t>(n) >= sizeof(buffer)) {
        return {};
    }
    std::string path(buffer, static_cast<size_t>(n));
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) {
        return {};
    }
    return path.substr(0, slash == 0 ? 1 : slash);
}

void DecoderSet::LoadPlugins(const std::string& folder) {
    const std::string dirPath = folder.empty() ? std::string(".") : folder;
    DIR* dir = opendir(dirPath.c_str());
    if (dir == nullptr) {
        return;
    }
    const std::string prefix =
        folder.empty() ? std::string() : (folder == "/" ? folder : folder + "/");
    while (const dirent* entry = readdir(dir)) {
        const std::string name = entry->d_name;
        if (!EndsWith(name, ".so") || name.size() == 3) {
            continue;
        }
        const std::string path = prefix.empty() ? "./" + name : prefix + name;
        void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (module == nullptr) {
            continue;
        }
        auto getInterface = reinterpret_cast<GetInterfaceFunc>(dlsym(module, kGetInterfaceName));
        if (getInterface == nullptr) {
            dlclose(module);
            continue;
        }
        IDecoder* decoder = nullptr;
        if (Failed(getInterface(IID_IDecoder, &decoder)) || decoder == nullptr) {
            dlclose(module);
            continue;
        }
        const uint32_t priority = decoder->GetPriority();
        // Descending priority; among equals the library found later goes first.
        auto at = std::lower_bound(m_plugins.begin(), m_plugins.end(), priority,
                                   [](const PluginEntry& e, uint32_t p) { return e.priority > p; });
        m_plugins.insert(at, PluginEntry{module, decoder, priority, path});
    }
    closedir(dir);
}

void DecoderSet::UnloadPlugins() {
    for (PluginEntry& entry : m_plugins) {
        if (entry.decoder != nullptr) {
            entry.decoder->Release();
        }
        if (entry.module != nullptr) {
            dlclose(entry.module);
        }
    }
    m_plugins.clear();
}

int DecoderSet::CurrentPlugin() const {
    for (size_t i = 0; i < m_plugins.size(); ++i) {
        if (m_current != nullptr && m_plugins[i].decoder == m_current) {
            return static_cast<int>(i);
        }
    }
    return -1;
}

HRESULT DecoderSet::OpenFile(const char16_t* path) {
    if (m_current != nullptr) {
        m_current->Close();
        m_current = nullptr;
    }
    if (path == nullptr) {
        return E_FAIL;
    }
    for (PluginEntry& entry : m_plugins) {
        if (entry.decoder != nullptr && Succeeded(entry.decoder->Open(path, &kRequestedFormat))) {
            m_current = entry.decoder;
            return S_OK;
        }
    }
    return E_FAIL;
}

HRESULT DecoderSet::ReadSamples(const float** samples, uint32_t* count) {
    if (m_current == nullptr || samples == nullptr || count == nullptr) {
        return E_FAIL;
    }
    *samples = nullptr;
    *count = 0;
    m_samples.clear();
    uint32_t n = 0;
    const HRESULT hr = ReadAndConvert(m_samples, &n);
    if (Failed(hr)) {
        return hr;
    }
    *samples = n == 0 ? nullptr : m_samples.data();
    *count = n;
    return S_OK;
}

HRESULT DecoderSet::ReadSamples(SampleBuffer& destination, uint32_t* count) {
    if (m_current == nullptr || count == nullptr) {
        return E_FAIL;
    }
    *count = 0;
    return ReadAndConvert(destination, count);
}

HRESULT DecoderSet::ReadAndConvert(SampleBuffer& out, uint32_t* count) {
    const void* data = nullptr;
    uint32_t byteCount = 0;
    DecoderFormat format{};
    const HRESULT hr = m_current->Read(&data, &byteCount, &format);
    if (Failed(hr)) {
        return hr;
    }
    if (format.samplesPerSec == 0 || format.samplesPerSec % kOutputRate != 0 ||
        format.bitsPerSample != 16 || format.channels == 0) {
        return E_FAIL;
    }
    if (byteCount != 0 && data == nullptr) {
        return E_FAIL;
    }
    const uint32_t step = format.samplesPerSec / kOutputRate;
    const uint32_t channels = format.channels;
    const uint64_t frameBytes = 2ull * channels * step;
    const size_t n = static_cast<size_t>(byteCount / frameBytes);
    const size_t first = out.size();
    out.resize(first + n);
    float* samples = out.data() + first;

    const auto* bytes = static_cast<const unsigned char*>(data);
    auto sampleAt = [bytes](size_t index) {
        // Little-endian 16-bit; read bytewise since a chunk need not be aligned.
        return static_cast<int16_t>(
            static_cast<uint16_t>(bytes[2 * index] | (bytes[2 * index + 1] << 8)));
    };
    if (channels == 1 && step == 1 && std::endian::native == std::endian::little) {
        // The usual delivery, exactly the requested format: one plain pass
        // that the compiler puts on vector instructions.
        for (size_t i = 0; i < n; ++i) {
            int16_t v;
            std::memcpy(&v, bytes + 2 * i, sizeof(v));
            samples[i] = static_cast<float>(v) * kSampleScale;
        }
    } else if (channels == 1) {
        for (size_t i = 0; i < n; ++i) {
            samples[i] = static_cast<float>(sampleAt(i * step)) * kSampleScale;
        }
    } else {
        const float reciprocal = 1.0f / static_cast<float>(channels);
        const size_t stride = static_cast<size_t>(step) * channels;
        for (size_t i = 0; i < n; ++i) {
            float sum = 0.0f;
            const size_t firstSample = i * stride;
            for (uint32_t c = 0; c < channels; ++c) {
                sum += static_cast<float>(sampleAt(firstSample + c)) * kSampleScale;
            }
            samples[i] = sum * reciprocal;
        }
    }
    *count = static_cast<uint32_t>(n);
    return S_OK;
}

HRESULT DecoderSet::CloseFile() {
    if (m_current == nullptr) {
        return E_FAIL;
    }
    const HRESULT hr = m_current->Close();
    m_current = nullptr;
    return hr;
}

HRESULT DecoderSet::GetFileInfo(DecoderInfo* info) {
    if (m_current == nullptr) {
        return E_FAIL;
    }
    return m_current->GetInfo(info);
}
