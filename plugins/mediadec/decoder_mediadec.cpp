// Mediadec: the decoder plug-in that lets the media runtime read a file and
// deliver its audio as exactly the PCM the host asks for. It holds no decoder
// and no parser of its own: it picks the output and format, reads samples and
// asks for five header attributes.
//
// The runtime library is loaded when the first decoder object of the process
// is created and unloaded when the last one goes; every object is used by one
// thread, objects may be created and released on several threads at once.
#include <dlfcn.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <new>
#include <string>

#include "decoder_contract.h"
#include "media_runtime.h"

namespace {

constexpr uint32_t kPriority = 100;
// Room for the media type and the wave format behind it.
constexpr uint32_t kMediaTypeBufferSize = 90;
constexpr uint16_t kTextAttributeSize = 2048;
constexpr uint32_t kMaxTextUnits = kDecoderInfoTextLength - 1;
constexpr uint64_t kUnitsPerMillisecond = 10000;

// Process-wide state of the plug-in, shared by all its objects. The count
// alone would not order the storing of the handle and entry point before an
// object on another thread uses them, so the mutex guards all three.
std::mutex g_runtimeLock;
std::atomic<int32_t> g_liveObjects{0};
void* g_runtimeModule = nullptr;
WMCreateSyncReaderFunc g_createSyncReader = nullptr;

// The runtime lies beside this plug-in; failing that, the loader's own search
// is asked.
void* LoadRuntime() {
    Dl_info self{};
    if (dladdr(reinterpret_cast<const void*>(&LoadRuntime), &self) != 0 &&
        self.dli_fname != nullptr) {
        std::string path = self.dli_fname;
        const size_t slash = path.rfind('/');
        path = (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) +
               kMediaRuntimeName;
        if (void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL)) {
            return module;
        }
    }
    return dlopen(kMediaRuntimeName, RTLD_NOW | RTLD_LOCAL);
}

bool IsSameGuid(const GUID& a, const GUID& b) {
    return a == b;
}

class CDecoderMediadec final : public IDecoder {
  public:
    CDecoderMediadec() {
        WMCreateSyncReaderFunc create = nullptr;
        {
            std::lock_guard<std::mutex> hold(g_runtimeLock);
            if (++g_liveObjects == 1) {
                g_runtimeModule = LoadRuntime();
                if (g_runtimeModule != nullptr) {
                    g_createSyncReader = reinterpret_cast<WMCreateSyncReaderFunc>(
                        dlsym(g_runtimeModule, kCreateSyncReaderName));
                }
            }
            if (g_runtimeModule != nullptr) {
                create = g_createSyncReader;
            }
        }
        IWMSyncReader* first = nullptr;
        if (create != nullptr && Succeeded(create(nullptr, 0, &first)) && first != nullptr) {
            void* second = nullptr;
            if (Succeeded(first->QueryInterface(IID_IWMSyncReader2, &second))) {
                m_reader = static_cast<IWMSyncReader2*>(second);
            }
            first->Release();
        }
    }

    void Release() override { delete this; }

    HRESULT Open(const char16_t* path, const DecoderFormat* wanted) override {
        if (path == nullptr) {
            return E_INVALIDARG;
        }
        if (m_reader == nullptr) {
            return E_FAIL;
        }
        Close();
        m_wanted = wanted != nullptr ? *wanted : kDefaultDecoderFormat;
        HRESULT hr = m_reader->Open(path);
        if (Failed(hr)) {
            return hr;
        }
        m_opened = true;
        uint32_t outputs = 0;
        hr = m_reader->GetOutputCount(&outputs);
        if (Failed(hr)) {
            return hr;
        }
        uint32_t chosen = 0;
        bool found = false;
        for (uint32_t o = 0; o < outputs && !found; ++o) {
            uint32_t formats = 0;
            if (Failed(m_reader->GetOutputFormatCount(o, &formats))) {
                continue;
            }
            for (uint32_t f = 0; f < formats && !found; ++f) {
                IWMOutputMediaProps* props = nullptr;
                if (Failed(m_reader->GetOutputFormat(o, f, &props)) || props == nullptr) {
                    continue;
                }
                if (Fits(props) && Succeeded(m_reader->SetOutputProps(o, props))) {
                    chosen = o;
                    found = true;
                }
                props->Release();
            }
        }
        if (!found) {
            // The reader keeps the file until the next Open, Close or Release.
            return E_FAIL;
        }
        hr = m_reader->GetStreamNumberForOutput(chosen, &m_streamNumber);
        if (Failed(hr)) {
            return hr;
        }
        const WMT_STREAM_SELECTION on = WMT_ON;
        hr = m_reader->SetStreamsSelected(1, &m_streamNumber, &on);
        if (Failed(hr)) {
            return hr;
        }
        hr = m_reader->SetReadStreamSamples(m_streamNumber, false);
        if (Failed(hr)) {
            return hr;
        }
        hr = m_reader->SetRange(0, 0);
        if (Failed(hr)) {
            return hr;
        }
        return S_OK;
    }

    HRESULT Close() override {
        ReleaseSample();
        if (m_reader != nullptr && m_opened) {
            m_reader->Close();
        }
        m_streamNumber = 0;
        m_opened = false;
        return S_OK;
    }

    HRESULT Read(const void** data, uint32_t* byteCount, DecoderFormat* format) override {
        if (data == nullptr || byteCount == nullptr || format == nullptr) {
            return E_INVALIDARG;
        }
        // A file that Open refused stays open in the reader, but without a
        // chosen stream there is nothing to read from it.
        if (m_reader == nullptr || !m_opened || m_streamNumber == 0) {
            return E_FAIL;
        }
        *data = nullptr;
        *byteCount = 0;
        ReleaseSample();
        uint64_t time = 0;
        uint64_t duration = 0;
        uint32_t flags = 0;
        INSSBuffer* sample = nullptr;
        HRESULT hr = m_reader->GetNextSample(m_streamNumber, &sample, &time, &duration, &flags,
                                             nullptr, nullptr);
        if (hr == NS_E_NO_MORE_SAMPLES) {
            return E_END_OF_STREAM;
        }
        if (Failed(hr)) {
            return hr;
        }
        if (sample == nullptr) {
            return E_FAIL;
        }
        uint8_t* buffer = nullptr;
        uint32_t length = 0;
        hr = sample->GetBufferAndLength(&buffer, &length);
        if (Failed(hr)) {
            sample->Release();
            return hr;
        }
        *data = buffer;
        *byteCount = length;
        *format = m_wanted;
        m_sample = sample;
        return S_OK;
    }

    uint32_t GetPriority() override { return kPriority; }

    HRESULT GetInfo(DecoderInfo* info) override {
        if (info == nullptr) {
            return E_INVALIDARG;
        }
        if (m_reader == nullptr || !m_opened) {
            return E_FAIL;
        }
        void* object = nullptr;
        if (Failed(m_reader->QueryInterface(IID_IWMHeaderInfo, &object)) || object == nullptr) {
            return E_NOINTERFACE;
        }
        auto* header = static_cast<IWMHeaderInfo*>(object);
        std::memset(info, 0, sizeof(*info));
        bool any = false;
        any = ReadText(header, u"Title", info->title) || any;
        any = ReadText(header, u"Author", info->artist) || any;
        any = ReadText(header, u"WM/AlbumTitle", info->album) || any;

        uint16_t stream = 0;
        WMT_ATTR_DATATYPE type = WMT_TYPE_BINARY;
        uint32_t bitrate = 0;
        uint16_t length = sizeof(bitrate);
        if (Succeeded(header->GetAttributeByName(&stream, u"Bitrate", &type,
                                                 reinterpret_cast<uint8_t*>(&bitrate), &length)) &&
            type == WMT_TYPE_DWORD && length == sizeof(bitrate)) {
            info->bitrate = bitrate;
            any = true;
        }
        stream = 0;
        uint64_t duration = 0;
        length = sizeof(duration);
        if (Succeeded(header->GetAttributeByName(&stream, u"Duration", &type,
                                                 reinterpret_cast<uint8_t*>(&duration), &length)) &&
            type == WMT_TYPE_QWORD && length == sizeof(duration)) {
            // Saturated rather than wrapped: a duration past 49 days must not
            // read as a short one.
            const uint64_t ms = duration / kUnitsPerMillisecond;
            info->durationMs = ms > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(ms);
            any = true;
        }
        header->Release();
        return any ? S_OK : E_FAIL;
    }

  private:
    ~CDecoderMediadec() {
        Close();
        if (m_reader != nullptr) {
            m_reader->Release();
            m_reader = nullptr;
        }
        std::lock_guard<std::mutex> hold(g_runtimeLock);
        if (--g_liveObjects == 0) {
            if (g_runtimeModule != nullptr) {
                dlclose(g_runtimeModule);
            }
            g_runtimeModule = nullptr;
            g_createSyncReader = nullptr;
        }
    }

    void ReleaseSample() {
        if (m_sample != nullptr) {
            m_sample->Release();
            m_sample = nullptr;
        }
    }

    // True when props describe exactly the wanted integer PCM.
    bool Fits(IWMOutputMediaProps* props) const {
        alignas(WM_MEDIA_TYPE) uint8_t buffer[kMediaTypeBufferSize];
        uint32_t size = sizeof(buffer);
        auto* type = reinterpret_cast<WM_MEDIA_TYPE*>(buffer);
        if (Failed(props->GetMediaType(type, &size))) {
            return false;
        }
        if (!IsSameGuid(type->majortype, WMMEDIATYPE_Audio) ||
            !IsSameGuid(type->subtype, WMMEDIASUBTYPE_PCM) ||
            !IsSameGuid(type->formattype, WMFORMAT_WaveFormatEx) ||
            type->cbFormat < sizeof(WAVEFORMATEX) - sizeof(uint16_t) ||
            type->pbFormat < buffer + sizeof(WM_MEDIA_TYPE) ||
            type->pbFormat + sizeof(WAVEFORMATEX) > buffer + sizeof(buffer)) {
            return false;
        }
        WAVEFORMATEX wave;
        std::memcpy(&wave, type->pbFormat, sizeof(wave));
        return wave.wFormatTag == WAVE_FORMAT_PCM && wave.nChannels == m_wanted.channels &&
               wave.wBitsPerSample == m_wanted.bitsPerSample &&
               wave.nSamplesPerSec == m_wanted.samplesPerSec;
    }

    // Copies one string attribute of the file into field. True when accepted.
    static bool ReadText(IWMHeaderInfo* header, const char16_t* name,
                         char16_t (&field)[kDecoderInfoTextLength]) {
        alignas(char16_t) uint8_t value[kTextAttributeSize];
        uint16_t stream = 0;
        uint16_t length = sizeof(value);
        WMT_ATTR_DATATYPE type = WMT_TYPE_BINARY;
        if (Failed(header->GetAttributeByName(&stream, name, &type, value, &length)) ||
            type != WMT_TYPE_STRING || length == 0) {
            return false;
        }
        const uint32_t even = length & ~1u;
        const uint32_t units = even > 2 * kMaxTextUnits ? kMaxTextUnits : length / 2u;
        std::memcpy(field, value, units * sizeof(char16_t));
        // The record was cleared, so a string cut at 255 stays terminated.
        return true;
    }

    IWMSyncReader2* m_reader = nullptr;
    INSSBuffer* m_sample = nullptr;
    bool m_opened = false;
    uint16_t m_streamNumber = 0;
    DecoderFormat m_wanted{};
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT GetInterface(GUID iid,
                                                                       IDecoder** decoder) {
    return CreateDecoder<CDecoderMediadec>(iid, decoder);
}
