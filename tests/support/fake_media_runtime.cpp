// A media runtime for tests of the Mediadec plug-in. Installed beside the
// plug-in under the runtime's file name, it "opens" script files that say
// what the reader offers, and logs the calls the plug-in makes:
//   HFMEDIA                        first line
//   output=KIND[,KIND...]          one output; KIND is pcm/CH/BITS/RATE,
//                                  float/CH/BITS/RATE (wave format tag 3),
//                                  coded/CH/BITS/RATE (subtype not PCM) or
//                                  big (a media type of 200 bytes)
//   output=broken                  an output whose format count fails
//   setfail=O/F                    SetOutputProps fails for format F of output O
//   attr=NAME:TYPE:VALUE           TYPE string (VALUE as it stands), long (VALUE
//                                  characters), dword, qword
//   noheader=1                     the reader offers no IWMHeaderInfo
//   samples=N                      N samples of 64 bytes each, then the end
//   error=0xHEX                    GetNextSample fails with it instead of the end
//   log=PATH                       every call is appended to PATH, one a line
#include <atomic>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <map>
#include <new>
#include <sstream>
#include <string>
#include <vector>

#include "media_runtime.h"
#include "ref_counted.h"

namespace {

constexpr uint32_t kBigMediaType = 200;
constexpr uint32_t kSampleBytes = 64;
constexpr GUID kCodedSubtype = {
    0x00000161, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};

class CFakeBuffer final : public RefCounted<INSSBuffer> {
  public:
    HRESULT GetLength(uint32_t* length) override {
        *length = kSampleBytes;
        return S_OK;
    }
    HRESULT GetBufferAndLength(uint8_t** buffer, uint32_t* length) override {
        *buffer = m_bytes;
        *length = kSampleBytes;
        return S_OK;
    }
    uint8_t m_bytes[kSampleBytes] = {};
};

struct FakeFormat {
    std::string kind;
    uint16_t channels = 0;
    uint16_t bits = 0;
    uint32_t rate = 0;
};

class CFakeProps final : public RefCounted<IWMOutputMediaProps> {
  public:
    explicit CFakeProps(FakeFormat format) : m_format(std::move(format)) {}
    HRESULT GetType(GUID* type) override {
        *type = WMMEDIATYPE_Audio;
        return S_OK;
    }
    HRESULT GetMediaType(WM_MEDIA_TYPE* type, uint32_t* size) override {
        const uint32_t needed =
            m_format.kind == "big" ? kBigMediaType : sizeof(WM_MEDIA_TYPE) + sizeof(WAVEFORMATEX);
        if (type == nullptr || *size < needed) {
            *size = needed;
            return type == nullptr ? S_OK : ASF_E_BUFFERTOOSMALL;
        }
        WM_MEDIA_TYPE media{};
        media.majortype = WMMEDIATYPE_Audio;
        media.subtype = m_format.kind == "coded" ? kCodedSubtype : WMMEDIASUBTYPE_PCM;
        media.formattype = WMFORMAT_WaveFormatEx;
        media.cbFormat = sizeof(WAVEFORMATEX);
        media.pbFormat = reinterpret_cast<uint8_t*>(type) + sizeof(WM_MEDIA_TYPE);
        WAVEFORMATEX wave{};
        wave.wFormatTag = m_format.kind == "float" ? 3 : WAVE_FORMAT_PCM;
        wave.nChannels = m_format.channels;
        wave.nSamplesPerSec = m_format.rate;
        wave.wBitsPerSample = m_format.bits;
        wave.nBlockAlign = static_cast<uint16_t>(m_format.channels * m_format.bits / 8);
        wave.nAvgBytesPerSec = wave.nBlockAlign * m_format.rate;
        std::memcpy(type, &media, sizeof(media));
        std::memcpy(media.pbFormat, &wave, sizeof(wave));
        *size = needed;
        return S_OK;
    }

  private:
    FakeFormat m_format;
};

class CFakeReader final : public IWMSyncReader2, public IWMHeaderInfo {
  public:
    HRESULT QueryInterface(const GUID& iid, void** object) override {
        if (object == nullptr) {
            return E_INVALIDARG;
        }
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IWMSyncReader || iid == IID_IWMSyncReader2) {
            *object = static_cast<IWMSyncReader2*>(this);
        } else if (iid == IID_IWMHeaderInfo && !m_noHeader) {
            *object = static_cast<IWMHeaderInfo*>(this);
        } else {
            return E_NOINTERFACE;
        }
        AddRef();
        return S_OK;
    }
    uint32_t AddRef() override { return ++m_refs; }
    uint32_t Release() override {
        const uint32_t left = --m_refs;
        if (left == 0) {
            delete this;
        }
        return left;
    }

    HRESULT Open(const char16_t* path) override {
        std::ifstream in(U16ToBytes(path));
        std::string line;
        if (!std::getline(in, line) || line != "HFMEDIA") {
            return NS_E_INVALID_INPUT_FORMAT;
        }
        ResetScript();
        while (std::getline(in, line)) {
            const size_t eq = line.find('=');
            const std::string key = line.substr(0, eq);
            const std::string value = eq == std::string::npos ? "" : line.substr(eq + 1);
            if (key == "output") {
                m_outputs.emplace_back();
                std::stringstream list(value);
                std::string item;
                while (std::getline(list, item, ',')) {
                    FakeFormat f;
                    char kind[16] = {};
                    unsigned ch = 0, bits = 0, rate = 0;
                    if (std::sscanf(item.c_str(), "%15[a-z]/%u/%u/%u", kind, &ch, &bits, &rate) >=
                        1) {
                        f.kind = kind;
                        f.channels = static_cast<uint16_t>(ch);
                        f.bits = static_cast<uint16_t>(bits);
                        f.rate = rate;
                    }
                    m_outputs.back().push_back(f);
                }
            } else if (key == "setfail") {
                m_setFail = value;
            } else if (key == "attr") {
                const size_t a = value.find(':');
                const size_t b = value.find(':', a + 1);
                m_attributes[value.substr(0, a)] = {value.substr(a + 1, b - a - 1),
                                                    value.substr(b + 1)};
            } else if (key == "noheader") {
                m_noHeader = true;
            } else if (key == "samples") {
                m_samplesLeft = std::stoi(value);
            } else if (key == "error") {
                m_error = static_cast<HRESULT>(std::stoul(value, nullptr, 16));
            } else if (key == "log") {
                m_log = value;
            }
        }
        Log("Open");
        return S_OK;
    }
    HRESULT Close() override {
        Log("Close");
        return S_OK;
    }
    HRESULT GetOutputCount(uint32_t* outputs) override {
        Log("GetOutputCount");
        *outputs = static_cast<uint32_t>(m_outputs.size());
        return S_OK;
    }
    HRESULT GetOutputFormatCount(uint32_t output, uint32_t* formats) override {
        Log("GetOutputFormatCount " + std::to_string(output));
        if (output >= m_outputs.size() ||
            (m_outputs[output].size() == 1 && m_outputs[output][0].kind == "broken")) {
            return NS_E_INVALID_REQUEST;
        }
        *formats = static_cast<uint32_t>(m_outputs[output].size());
        return S_OK;
    }
    HRESULT GetOutputFormat(uint32_t output, uint32_t format,
                            IWMOutputMediaProps** props) override {
        Log("GetOutputFormat " + std::to_string(output) + " " + std::to_string(format));
        *props = new CFakeProps(m_outputs[output][format]);
        m_lastFormat = std::to_string(output) + "/" + std::to_string(format);
        return S_OK;
    }
    HRESULT SetOutputProps(uint32_t output, IWMOutputMediaProps* props) override {
        Log("SetOutputProps " + std::to_string(output));
        return m_lastFormat == m_setFail ? NS_E_INVALID_REQUEST : S_OK;
    }
    HRESULT GetStreamNumberForOutput(uint32_t output, uint16_t* streamNumber) override {
        Log("GetStreamNumberForOutput " + std::to_string(output));
        *streamNumber = static_cast<uint16_t>(output + 10);
        return S_OK;
    }
    HRESULT SetStreamsSelected(uint16_t count, const uint16_t* streamNumbers,
                               const WMT_STREAM_SELECTION* selections) override {
        Log("SetStreamsSelected " + std::to_string(count) + " " + std::to_string(streamNumbers[0]) +
            " " + std::to_string(selections[0]));
        return S_OK;
    }
    HRESULT SetReadStreamSamples(uint16_t streamNumber, bool compressed) override {
        Log("SetReadStreamSamples " + std::to_string(streamNumber) + " " +
            std::to_string(compressed));
        return S_OK;
    }
    HRESULT SetRange(uint64_t start, int64_t duration) override {
        Log("SetRange " + std::to_string(start) + " " + std::to_string(duration));
        return S_OK;
    }
    HRESULT GetNextSample(uint16_t streamNumber, INSSBuffer** sample, uint64_t*, uint64_t*,
                          uint32_t*, uint32_t* outputNumber,
                          uint16_t* sampleStreamNumber) override {
        Log("GetNextSample " + std::to_string(streamNumber) +
            (outputNumber != nullptr ? " output" : "") +
            (sampleStreamNumber != nullptr ? " stream" : ""));
        if (m_samplesLeft <= 0) {
            return m_error != S_OK ? m_error : NS_E_NO_MORE_SAMPLES;
        }
        --m_samplesLeft;
        *sample = new CFakeBuffer();
        return S_OK;
    }

    HRESULT GetAttributeByName(uint16_t* streamNumber, const char16_t* name,
                               WMT_ATTR_DATATYPE* type, uint8_t* value, uint16_t* length) override {
        const std::string key = U16ToBytes(name);
        Log("GetAttributeByName " + std::to_string(*streamNumber) + " " + key + " " +
            std::to_string(*length));
        auto it = m_attributes.find(key);
        if (it == m_attributes.end()) {
            return ASF_E_NOTFOUND;
        }
        std::string bytes;
        const auto& [kind, text] = it->second;
        if (kind == "string" || kind == "long") {
            std::u16string wide = kind == "string" ? BytesToU16(text) : std::u16string();
            if (kind == "long") {
                for (int i = 0; i < std::stoi(text); ++i) {
                    wide.push_back(static_cast<char16_t>(u'a' + i % 26));
                }
            }
            wide.push_back(0);
            bytes.assign(reinterpret_cast<const char*>(wide.data()), wide.size() * 2);
            *type = WMT_TYPE_STRING;
        } else if (kind == "dword") {
            const auto v = static_cast<uint32_t>(std::stoul(text));
            bytes.assign(reinterpret_cast<const char*>(&v), 4);
            *type = WMT_TYPE_DWORD;
        } else if (kind == "qword") {
            const auto v = static_cast<uint64_t>(std::stoull(text));
            bytes.assign(reinterpret_cast<const char*>(&v), 8);
            *type = WMT_TYPE_QWORD;
        }
        if (bytes.size() > *length) {
            *length = static_cast<uint16_t>(bytes.size());
            return ASF_E_BUFFERTOOSMALL;
        }
        std::memcpy(value, bytes.data(), bytes.size());
        *length = static_cast<uint16_t>(bytes.size());
        return S_OK;
    }

  private:
    void ResetScript() {
        m_outputs.clear();
        m_setFail.clear();
        m_attributes.clear();
        m_noHeader = false;
        m_samplesLeft = 0;
        m_error = S_OK;
        m_log.clear();
    }
    void Log(const std::string& call) {
        if (!m_log.empty()) {
            if (FILE* f = std::fopen(m_log.c_str(), "a")) {
                std::fprintf(f, "%s\n", call.c_str());
                std::fclose(f);
            }
        }
    }

    std::atomic<uint32_t> m_refs{1};
    std::vector<std::vector<FakeFormat>> m_outputs;
    std::string m_setFail;
    std::string m_lastFormat;
    std::map<std::string, std::pair<std::string, std::string>> m_attributes;
    bool m_noHeader = false;
    int m_samplesLeft = 0;
    HRESULT m_error = S_OK;
    std::string m_log;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT WMCreateSyncReader(
    IUnknown* certificate, uint32_t rights, IWMSyncReader** reader) {
    if (reader == nullptr || certificate != nullptr || rights != 0) {
        return E_INVALIDARG;
    }
    *reader = new (std::nothrow) CFakeReader();
    return *reader != nullptr ? S_OK : E_OUTOFMEMORY;
}
