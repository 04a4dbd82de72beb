// The media runtime: the interface between the Mediadec plug-in and the
// library that reads media files for it (libharmonyfox-media.so.1, loaded by
// name at run time). The runtime hands out a synchronous reader that opens a
// file, offers one output per stream with the formats each output can deliver,
// delivers decoded samples of a chosen stream until the end, and answers
// queries for a few header attributes.
//
// Objects are reference counted in the COM manner: whoever receives an
// interface pointer owns one reference and gives it back with Release. A
// reader and everything it hands out are used by one thread at a time;
// different readers may live on different threads at once.
#pragma once

#include <cstdint>

#include "decoder_contract.h"

// Result codes of the runtime, beside those of the decoder contract.
inline constexpr HRESULT NS_E_NO_MORE_SAMPLES = static_cast<HRESULT>(0xC00D0BCFu);
inline constexpr HRESULT NS_E_FILE_OPEN_FAILED = static_cast<HRESULT>(0xC00D001Du);
inline constexpr HRESULT NS_E_INVALID_INPUT_FORMAT = static_cast<HRESULT>(0xC00D0BBEu);
inline constexpr HRESULT NS_E_INVALID_REQUEST = static_cast<HRESULT>(0xC00D002Bu);
inline constexpr HRESULT NS_E_DECODE_FAILED = static_cast<HRESULT>(0xC00D0BD0u);
inline constexpr HRESULT ASF_E_BUFFERTOOSMALL = static_cast<HRESULT>(0xC00D07D2u);
inline constexpr HRESULT ASF_E_NOTFOUND = static_cast<HRESULT>(0xC00D07F0u);

// Interface identifiers.
inline constexpr GUID IID_IUnknown = {
    0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
inline constexpr GUID IID_IWMSyncReader = {
    0x9397F121, 0x7705, 0x4DC9, {0xB0, 0x49, 0x98, 0xB6, 0x98, 0x18, 0x84, 0x14}};
inline constexpr GUID IID_IWMSyncReader2 = {
    0xFAED3D21, 0x1B6B, 0x4AF7, {0x8C, 0xB6, 0x3E, 0x18, 0x9B, 0xBC, 0x18, 0x7B}};
inline constexpr GUID IID_IWMHeaderInfo = {
    0x96406BDA, 0x2B2B, 0x11D3, {0xB3, 0x6B, 0x00, 0xC0, 0x4F, 0x61, 0x08, 0xFF}};

// Media type identifiers.
inline constexpr GUID WMMEDIATYPE_Audio = {
    0x73647561, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID WMMEDIASUBTYPE_PCM = {
    0x00000001, 0x0000, 0x0010, {0x80, 0x00, 0x00, 0xAA, 0x00, 0x38, 0x9B, 0x71}};
inline constexpr GUID WMFORMAT_WaveFormatEx = {
    0x05589F81, 0xC356, 0x11CE, {0xBF, 0x01, 0x00, 0xAA, 0x00, 0x55, 0x59, 0x5A}};

inline constexpr uint16_t WAVE_FORMAT_PCM = 1;

#pragma pack(push, 1)
// The wave format that follows an audio media type (18 bytes, no padding).
struct WAVEFORMATEX {
    uint16_t wFormatTag;
    uint16_t nChannels;
    uint32_t nSamplesPerSec;
    uint32_t nAvgBytesPerSec;
    uint16_t nBlockAlign;
    uint16_t wBitsPerSample;
    uint16_t cbSize;
};
#pragma pack(pop)
static_assert(sizeof(WAVEFORMATEX) == 18);

// A media type. GetMediaType writes the record and then its format block
// (cbFormat bytes) into the same caller's buffer, pbFormat pointing behind
// the record.
struct WM_MEDIA_TYPE {
    GUID majortype;
    GUID subtype;
    GUID formattype;
    uint32_t bFixedSizeSamples;
    uint32_t bTemporalCompression;
    uint32_t lSampleSize;
    uint32_t cbFormat;
    uint8_t* pbFormat;
};
static_assert(sizeof(WM_MEDIA_TYPE) == 72);

// Selection of a stream for SetStreamsSelected.
enum WMT_STREAM_SELECTION : uint32_t { WMT_OFF = 0, WMT_CLEANPOINT_ONLY = 1, WMT_ON = 2 };

// Type of a header attribute's value.
enum WMT_ATTR_DATATYPE : uint32_t {
    WMT_TYPE_DWORD = 0,
    WMT_TYPE_STRING = 1,  // UTF-16, zero-terminated; the length counts bytes with the zero
    WMT_TYPE_BINARY = 2,
    WMT_TYPE_BOOL = 3,
    WMT_TYPE_QWORD = 4,
    WMT_TYPE_WORD = 5,
    WMT_TYPE_GUID = 6,
};

class IUnknown {
  public:
    // S_OK with *object set (one reference taken) when the object offers iid;
    // E_NOINTERFACE with *object null otherwise; E_INVALIDARG for a null slot.
    virtual HRESULT QueryInterface(const GUID& iid, void** object) = 0;
    virtual uint32_t AddRef() = 0;
    // Gives back one reference; the object is freed with the last one.
    virtual uint32_t Release() = 0;

  protected:
    ~IUnknown() = default;
};

// A buffer of delivered sample bytes, valid while a reference is held.
class INSSBuffer : public IUnknown {
  public:
    virtual HRESULT GetLength(uint32_t* length) = 0;
    virtual HRESULT GetBufferAndLength(uint8_t** buffer, uint32_t* length) = 0;

  protected:
    ~INSSBuffer() = default;
};

// One format that an output can deliver.
class IWMMediaProps : public IUnknown {
  public:
    virtual HRESULT GetType(GUID* type) = 0;
    // Writes the media type and its format block into type. *size is the
    // buffer's size in bytes on entry and the bytes needed on return; a null
    // type only asks for the size. ASF_E_BUFFERTOOSMALL when it does not fit.
    virtual HRESULT GetMediaType(WM_MEDIA_TYPE* type, uint32_t* size) = 0;

  protected:
    ~IWMMediaProps() = default;
};

class IWMOutputMediaProps : public IWMMediaProps {
  protected:
    ~IWMOutputMediaProps() = default;
};

// The header attributes of the open file. Offered by the reader through
// QueryInterface.
class IWMHeaderInfo : public IUnknown {
  public:
    // Looks up the attribute name (zero-terminated UTF-16) of stream
    // *streamNumber (0: the file as a whole). *length is the value buffer's
    // size in bytes on entry and the value's length on return; a null value
    // only asks for the length. ASF_E_NOTFOUND when the file has no such
    // attribute, ASF_E_BUFFERTOOSMALL when the value does not fit.
    virtual HRESULT GetAttributeByName(uint16_t* streamNumber, const char16_t* name,
                                       WMT_ATTR_DATATYPE* type, uint8_t* value,
                                       uint16_t* length) = 0;

  protected:
    ~IWMHeaderInfo() = default;
};

// The synchronous reader. Output o is stream number o + 1. An audio output
// offers 16-bit PCM in the source's channel count and rate, in stereo and
// mono, and at the common rates from 8000 to 48000 Hz; any other output
// (video, pictures, text) offers none and is read only as coded samples.
// Every stream starts deselected.
class IWMSyncReader : public IUnknown {
  public:
    // Opens the file at path (zero-terminated UTF-16); a file already open is
    // closed first. NS_E_FILE_OPEN_FAILED when the file cannot be read,
    // NS_E_INVALID_INPUT_FORMAT when it is no media file.
    virtual HRESULT Open(const char16_t* path) = 0;
    // Releases the file. S_OK, also when nothing is open.
    virtual HRESULT Close() = 0;
    virtual HRESULT GetOutputCount(uint32_t* outputs) = 0;
    virtual HRESULT GetOutputFormatCount(uint32_t output, uint32_t* formats) = 0;
    virtual HRESULT GetOutputFormat(uint32_t output, uint32_t format,
                                    IWMOutputMediaProps** props) = 0;
    // Makes one of the output's own formats the one it delivers.
    virtual HRESULT SetOutputProps(uint32_t output, IWMOutputMediaProps* props) = 0;
    virtual HRESULT GetStreamNumberForOutput(uint32_t output, uint16_t* streamNumber) = 0;
    virtual HRESULT SetStreamsSelected(uint16_t count, const uint16_t* streamNumbers,
                                       const WMT_STREAM_SELECTION* selections) = 0;
    // compressed true delivers the stream's coded packets as they stand.
    virtual HRESULT SetReadStreamSamples(uint16_t streamNumber, bool compressed) = 0;
    // Delivery starts at start and lasts duration (both in 100-ns units;
    // duration 0: to the end). Rewinds to the start of the file first.
    virtual HRESULT SetRange(uint64_t start, int64_t duration) = 0;
    // The next sample of stream streamNumber, or of any selected stream when
    // it is 0 (samples of other streams in between are passed over). time and
    // duration are in 100-ns units. Every out-pointer but sample may be null.
    // NS_E_NO_MORE_SAMPLES at the end.
    virtual HRESULT GetNextSample(uint16_t streamNumber, INSSBuffer** sample, uint64_t* time,
                                  uint64_t* duration, uint32_t* flags, uint32_t* outputNumber,
                                  uint16_t* sampleStreamNumber) = 0;

  protected:
    ~IWMSyncReader() = default;
};

class IWMSyncReader2 : public IWMSyncReader {
  protected:
    ~IWMSyncReader2() = default;
};

// The runtime's one export: creates a reader. certificate must be null and
// rights 0.
extern "C" {
typedef HRESULT (*WMCreateSyncReaderFunc)(IUnknown* certificate, uint32_t rights,
                                          IWMSyncReader** reader);
}
inline constexpr const char* kCreateSyncReaderName = "WMCreateSyncReader";
// The runtime's file name; it lies beside the plug-in.
inline constexpr const char* kMediaRuntimeName = "libharmonyfox-media.so.1";
