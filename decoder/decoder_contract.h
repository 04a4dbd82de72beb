// The decoder plug-in contract: the declarations that the program and every
// decoder plug-in are built from. Plug-ins are shared libraries exporting one
// C function, GetInterface, that hands out IDecoder objects. The layout of
// IDecoder's virtual table and of the two records is an agreement between
// separately built libraries: nothing here may be reordered or widened.
//
// Thread use: an IDecoder object is used by one thread at a time; objects of
// the same plug-in may live on different threads at once.
#pragma once

#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

// 16-byte interface identifier, laid out like the Windows GUID.
struct GUID {
    uint32_t data1;
    uint16_t data2;
    uint16_t data3;
    uint8_t data4[8];
};
static_assert(sizeof(GUID) == 16);

inline bool operator==(const GUID& a, const GUID& b) {
    return std::memcmp(&a, &b, sizeof(GUID)) == 0;
}

// Result codes: negative means failure.
using HRESULT = int32_t;

inline constexpr HRESULT S_OK = 0;
inline constexpr HRESULT E_FAIL = static_cast<HRESULT>(0x80004005u);
inline constexpr HRESULT E_INVALIDARG = static_cast<HRESULT>(0x80070057u);
inline constexpr HRESULT E_NOINTERFACE = static_cast<HRESULT>(0x80004002u);
inline constexpr HRESULT E_OUTOFMEMORY = static_cast<HRESULT>(0x8007000Eu);
// A decoder has no more samples. Inside the scan engine the same value says
// that a path is not in the fingerprint store.
inline constexpr HRESULT E_END_OF_STREAM = static_cast<HRESULT>(0x80040001u);

inline constexpr bool Failed(HRESULT hr) {
    return hr < 0;
}
inline constexpr bool Succeeded(HRESULT hr) {
    return hr >= 0;
}

// {F3BDC279-8EC9-468F-B1CF-B3396A978B75}: this version of the contract.
inline constexpr GUID IID_IDecoder = {
    0xF3BDC279, 0x8EC9, 0x468F, {0xB1, 0xCF, 0xB3, 0x39, 0x6A, 0x97, 0x8B, 0x75}};

// A PCM sample format. Samples are little-endian signed integers of
// bitsPerSample bits, channels interleaved.
struct DecoderFormat {
    uint16_t formatTag;  // always 1 (integer PCM); handed back unchanged
    uint16_t bitsPerSample;
    uint16_t channels;
    uint32_t samplesPerSec;
};

// What the program always asks for, and what a plug-in uses when given no format.
inline constexpr DecoderFormat kDefaultDecoderFormat = {1, 16, 1, 22050};

inline constexpr int kDecoderInfoTextLength = 256;

// Properties and tags of an opened file. A plug-in zeroes the whole record
// before filling what it knows.
struct DecoderInfo {
    uint32_t durationMs;                     // 0 when unknown
    uint32_t bitrate;                        // bits per second, 0 when unknown
    uint32_t channels;                       // of the source, 0 when unknown
    uint32_t samplesPerSec;                  // of the source, 0 when unknown
    char16_t title[kDecoderInfoTextLength];  // zero-terminated, at most 255 code units
    char16_t artist[kDecoderInfoTextLength];
    char16_t album[kDecoderInfoTextLength];
};

// A decoder object. Destroyed only through Release, whose body lives in the
// plug-in that made it, so there is deliberately no virtual destructor.
class IDecoder {
  public:
    // Closes whatever is open and frees the object.
    virtual void Release() = 0;
    // Prepares the file at path (zero-terminated UTF-16) for delivery in the
    // wanted format (the default when null). E_INVALIDARG for a null path;
    // a failure means this plug-in does not take the file.
    virtual HRESULT Open(const char16_t* path, const DecoderFormat* wanted) = 0;
    // Always S_OK.
    virtual HRESULT Close() = 0;
    // Next chunk: *data stays valid until the next Read, Open, Close or
    // Release. E_END_OF_STREAM at the end, E_FAIL when nothing is open.
    virtual HRESULT Read(const void** data, uint32_t* byteCount, DecoderFormat* format) = 0;
    // Plug-ins are offered files in descending order of this value.
    virtual uint32_t GetPriority() = 0;
    // Fills the whole record for the open file; E_FAIL when nothing is open.
    virtual HRESULT GetInfo(DecoderInfo* info) = 0;

  protected:
    ~IDecoder() = default;
};

// The one export of a plug-in, looked up by this unmangled name.
extern "C" {
typedef HRESULT (*GetInterfaceFunc)(GUID iid, IDecoder** decoder);
}
inline constexpr const char* kGetInterfaceName = "GetInterface";

// What every plug-in's GetInterface does: E_INVALIDARG without a slot,
// E_NOINTERFACE (slot untouched) for another identifier, else a new T in the
// slot and S_OK, or null and E_OUTOFMEMORY.
template <class T>
HRESULT CreateDecoder(GUID iid, IDecoder** decoder) {
    if (decoder == nullptr) {
        return E_INVALIDARG;
    }
    if (!(iid == IID_IDecoder)) {
        return E_NOINTERFACE;
    }
    *decoder = new (std::nothrow) T();
    return *decoder != nullptr ? S_OK : E_OUTOFMEMORY;
}

// Decodes the UTF-8 sequence at s[0..n): its length in bytes, with the code
// point in *cp, or 0 when it is no valid UTF-8 (overlong forms, surrogates and
// values past U+10FFFF are not).
inline size_t DecodeUtf8(const unsigned char* s, size_t n, char32_t* cp) {
    const unsigned char c = s[0];
    if (c < 0x80) {
        *cp = c;
        return 1;
    }
    size_t len = 0;
    char32_t value = 0;
    char32_t min = 0;
    if ((c & 0xE0) == 0xC0) {
        len = 2, value = c & 0x1F, min = 0x80;
    } else if ((c & 0xF0) == 0xE0) {
        len = 3, value = c & 0x0F, min = 0x800;
    } else if ((c & 0xF8) == 0xF0) {
        len = 4, value = c & 0x07, min = 0x10000;
    } else {
        return 0;
    }
    if (len > n) {
        return 0;
    }
    for (size_t k = 1; k < len; ++k) {
        if ((s[k] & 0xC0) != 0x80) {
            return 0;
        }
        value = (value << 6) | (s[k] & 0x3F);
    }
    if (value < min || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return 0;
    }
    *cp = value;
    return len;
}

// Paths cross the contract as UTF-16. Linux file names are bytes and need not
// be UTF-8; a byte that is not part of valid UTF-8 travels as the lone
// surrogate U+DC80..U+DCFF, so every name survives the round trip.
inline std::u16string BytesToU16(std::string_view bytes) {
    std::u16string out;
    out.reserve(bytes.size());
    const auto* s = reinterpret_cast<const unsigned char*>(bytes.data());
    const size_t n = bytes.size();
    size_t i = 0;
    while (i < n) {
        char32_t cp = 0;
        const size_t len = DecodeUtf8(s + i, n - i, &cp);
        if (len == 0) {
            out.push_back(static_cast<char16_t>(0xDC00 + s[i]));
            ++i;
        } else if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
            i += len;
        } else {
            out.push_back(static_cast<char16_t>(cp));
            i += len;
        }
    }
    return out;
}

// The inverse of BytesToU16: UTF-8, with escaped bytes restored. A lone
// surrogate that is no escape becomes U+FFFD.
inline std::string U16ToBytes(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    auto put = [&out](char32_t cp) {
        if (cp < 0x80) {
            out.push_back(static_cast<char>(cp));
        } else if (cp < 0x800) {
            out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else if (cp < 0x10000) {
            out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        } else {
            out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
            out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
        }
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (u >= 0xD800 && u <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            put(0x10000 + ((char32_t(u) - 0xD800) << 10) + (char32_t(text[i + 1]) - 0xDC00));
            ++i;
        } else if (u >= 0xDC80 && u <= 0xDCFF) {
            out.push_back(static_cast<char>(u - 0xDC00));
        } else if (u >= 0xD800 && u <= 0xDFFF) {
            put(0xFFFD);
        } else {
            put(u);
        }
    }
    return out;
}

// Copies text into a zero-terminated DecoderInfo field, cut to 255 code units
// without splitting a surrogate pair.
inline void CopyInfoText(char16_t (&field)[kDecoderInfoTextLength], std::u16string_view text) {
    size_t n = text.size() < kDecoderInfoTextLength - 1 ? text.size() : kDecoderInfoTextLength - 1;
    if (n > 0 && n < text.size() && text[n - 1] >= 0xD800 && text[n - 1] <= 0xDBFF) {
        --n;
    }
    std::memcpy(field, text.data(), n * sizeof(char16_t));
    field[n] = 0;
}
