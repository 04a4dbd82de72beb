// A decoder plug-in for tests. It takes only "fake audio" files: a header of
// key=value lines ending with a line "--", then raw PCM bytes that it hands
// out as they stand in the format the header names. Keys:
//   accept=a,b   only these plug-in names take the file (default: all)
//   rate, channels, bits   the format reported with every chunk
//   chunk=N      bytes per Read (default 4096)
//   title, artist, album (UTF-8), duration, bitrate   reported by GetInfo
//   noinfo=1     GetInfo fails
//   endless=1    after the data, Read keeps returning empty chunks
//   log=PATH     a line with the plug-in's name is appended on every Open that succeeds
// Built several times with other FAKE_NAME / FAKE_PRIORITY values.
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "decoder_contract.h"
#include "test_files.h"

#ifndef FAKE_NAME
#define FAKE_NAME "fake"
#endif
#ifndef FAKE_PRIORITY
#define FAKE_PRIORITY 50
#endif

namespace {

class CDecoderFake final : public IDecoder {
  public:
    void Release() override { delete this; }

    HRESULT Open(const char16_t* path, const DecoderFormat* wanted) override {
        if (path == nullptr) {
            return E_INVALIDARG;
        }
        Close();
        const std::string content = ReadWholeFile(U16ToBytes(path));
        if (content.compare(0, 7, "HFFAKE\n") != 0) {
            return E_FAIL;
        }
        const size_t end = content.find("\n--\n");
        if (end == std::string::npos) {
            return E_FAIL;
        }
        std::map<std::string, std::string> keys;
        size_t pos = 7;
        while (pos < end) {
            size_t eol = content.find('\n', pos);
            if (eol == std::string::npos || eol > end) {
                eol = end;
            }
            const std::string line = content.substr(pos, eol - pos);
            const size_t eq = line.find('=');
            if (eq != std::string::npos) {
                keys[line.substr(0, eq)] = line.substr(eq + 1);
            }
            pos = eol + 1;
        }
        if (keys.count("accept") != 0) {
            const std::string list = "," + keys["accept"] + ",";
            if (list.find("," FAKE_NAME ",") == std::string::npos) {
                return E_FAIL;
            }
        }
        auto number = [&keys](const char* key, unsigned long fallback) {
            auto it = keys.find(key);
            return it == keys.end() ? fallback : std::stoul(it->second);
        };
        m_wanted = wanted != nullptr ? *wanted : kDefaultDecoderFormat;
        m_format = m_wanted;
        m_format.samplesPerSec = static_cast<uint32_t>(number("rate", m_wanted.samplesPerSec));
        m_format.channels = static_cast<uint16_t>(number("channels", m_wanted.channels));
        m_format.bitsPerSample = static_cast<uint16_t>(number("bits", m_wanted.bitsPerSample));
        m_chunk = number("chunk", 4096);
        m_noInfo = number("noinfo", 0) != 0;
        m_endless = number("endless", 0) != 0;
        std::memset(&m_info, 0, sizeof(m_info));
        m_info.durationMs = static_cast<uint32_t>(number("duration", 0));
        m_info.bitrate = static_cast<uint32_t>(number("bitrate", 0));
        m_info.channels = m_format.channels;
        m_info.samplesPerSec = m_format.samplesPerSec;
        CopyInfoText(m_info.title, BytesToU16(keys["title"]));
        CopyInfoText(m_info.artist, BytesToU16(keys["artist"]));
        CopyInfoText(m_info.album, BytesToU16(keys["album"]));
        m_data = content.substr(end + 4);
        m_offset = 0;
        m_open = true;
        if (keys.count("log") != 0) {
            if (FILE* log = std::fopen(keys["log"].c_str(), "ab")) {
                std::fputs(FAKE_NAME "\n", log);
                std::fclose(log);
            }
        }
        return S_OK;
    }

    HRESULT Close() override {
        m_open = false;
        m_data.clear();
        return S_OK;
    }

    HRESULT Read(const void** data, uint32_t* byteCount, DecoderFormat* format) override {
        if (data == nullptr || byteCount == nullptr || format == nullptr) {
            return E_INVALIDARG;
        }
        if (!m_open) {
            return E_FAIL;
        }
        if (m_offset >= m_data.size()) {
            if (!m_endless) {
                return E_END_OF_STREAM;
            }
            *data = m_data.data();
            *byteCount = 0;
            *format = m_format;
            return S_OK;
        }
        const size_t n = std::min(m_chunk, m_data.size() - m_offset);
        *data = m_data.data() + m_offset;
        *byteCount = static_cast<uint32_t>(n);
        *format = m_format;
        m_offset += n;
        return S_OK;
    }

    uint32_t GetPriority() override { return FAKE_PRIORITY; }

    HRESULT GetInfo(DecoderInfo* info) override {
        if (info == nullptr) {
            return E_INVALIDARG;
        }
        if (!m_open || m_noInfo) {
            return E_FAIL;
        }
        *info = m_info;
        return S_OK;
    }

  private:
    bool m_open = false;
    bool m_noInfo = false;
    bool m_endless = false;
    DecoderFormat m_wanted{};
    DecoderFormat m_format{};
    DecoderInfo m_info{};
    std::string m_data;
    size_t m_offset = 0;
    size_t m_chunk = 4096;
};

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT GetInterface(GUID iid,
                                                                       IDecoder** decoder) {
    return CreateDecoder<CDecoderFake>(iid, decoder);
}
