// The media runtime's synchronous reader on FFmpeg: libavformat opens and
// demultiplexes the file, libavcodec decodes the chosen audio stream (FLAC
// goes to libFLAC, which is faster at it) and libswresample converts it to
// the PCM format chosen for its output.
//
// A reader and the objects it hands out are used by one thread at a time; the
// reference counts are atomic so that a sample may be given back anywhere.
#include <dlfcn.h>
#include <sys/stat.h>

#include <algorithm>
#include <atomic>
#include <climits>
#include <cstring>
#include <ctime>
#include <memory>
#include <new>
#include <string>
#include <vector>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
}

#include "flac_frames.h"
#include "half_rate_mixer.h"
#include "media_runtime.h"
#include "ref_counted.h"

namespace {

constexpr int64_t kUnitsPerSecond = 10000000;  // 100-ns units
// Opening a file (the demuxer's open and its look at the streams) may use
// this much of the thread's processor time, in microseconds; ordinary files
// take a few milliseconds. Processor time, so that a busy machine does not
// cut off an ordinary file; the wall-clock limit catches a demuxer that waits
// on a slow disk while it reads through what a crafted file holds.
constexpr int64_t kOpenCpuLimitUs = 300000;
constexpr int64_t kOpenWallLimitUs = 10000000;
constexpr int64_t kNoDeadline = INT64_MAX;

// Processor time of the calling thread, in microseconds.
int64_t ThreadCpuMicros() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    constexpr int64_t kMicrosPerSecond = 1000000;
    constexpr int64_t kNanosPerMicro = 1000;
    return int64_t{now.tv_sec} * kMicrosPerSecond + now.tv_nsec / kNanosPerMicro;
}
// Bytes the demuxer may read to learn the streams' parameters.
constexpr int64_t kProbeSize = 2 * 1024 * 1024;
// Bytes that a raw demuxer (FLAC's, for one) hands its frame parser per read:
// each read costs a trip through the parser, and its own default of 1 KiB
// makes several per coded frame.
constexpr int64_t kRawPacketSize = 64 * 1024;
// The score a format earns from the file's name and an ID3 tag before any
// audio is seen. Below it the name alone, or a few bytes that chance puts in
// any file, chose the format: the content is no sound the demuxer knows.
constexpr int kLeastContentScore = AVPROBE_SCORE_EXTENSION / 2 - 1;
constexpr uint16_t kDeliveredBits = 16;
constexpr uint32_t kMaxSourceChannels = 32;
// Rates every audio output offers besides the source's own.
constexpr uint32_t kOfferedRates[] = {48000, 44100, 32000, 22050, 16000, 11025, 8000};
constexpr uint32_t kMediaTypeSize = sizeof(WM_MEDIA_TYPE) + sizeof(WAVEFORMATEX);
// Private identifier by which the reader recognises its own format objects.
constexpr GUID IID_CMediaProps = {
    0x4C2B8E1D, 0x93A7, 0x4F0E, {0x8D, 0x61, 0x27, 0xB5, 0x0C, 0x9E, 0x43, 0xA1}};

// Header attribute names and the tags that answer them.
struct TagName {
    const char16_t* attribute;
    const char* tags[2];
};
constexpr TagName kTagNames[] = {
    {u"Title", {"title", nullptr}},          {u"Author", {"artist", "author"}},
    {u"WM/AlbumTitle", {"album", nullptr}},  {u"WM/AlbumArtist", {"album_artist", nullptr}},
    {u"WM/Genre", {"genre", nullptr}},       {u"WM/Year", {"date", "year"}},
    {u"WM/TrackNumber", {"track", nullptr}}, {u"Description", {"comment", "description"}},
    {u"Copyright", {"copyright", nullptr}},
};

bool SameText(const char16_t* a, const char16_t* b) {
    while (*a != 0 && *a == *b) {
        ++a, ++b;
    }
    return *a == *b;
}

// A delivered sample: its own copy of the bytes.
class CMediaBuffer final : public RefCounted<INSSBuffer> {
  public:
    HRESULT GetLength(uint32_t* length) override {
        if (length == nullptr) {
            return E_INVALIDARG;
        }
        *length = static_cast<uint32_t>(m_bytes.size());
        return S_OK;
    }
    HRESULT GetBufferAndLength(uint8_t** buffer, uint32_t* length) override {
        if (buffer == nullptr || length == nullptr) {
            return E_INVALIDARG;
        }
        *buffer = m_bytes.data();
        *length = static_cast<uint32_t>(m_bytes.size());
        return S_OK;
    }

    std::vector<uint8_t> m_bytes;
};

struct PcmFormat {
    uint16_t channels;
    uint32_t rate;
};

// One format of one output.
class CMediaProps final : public RefCounted<IWMOutputMediaProps> {
  public:
    CMediaProps(uint32_t output, PcmFormat format) : m_output(output), m_format(format) {}

    HRESULT GetType(GUID* type) override {
        if (type == nullptr) {
            return E_INVALIDARG;
        }
        *type = WMMEDIATYPE_Audio;
        return S_OK;
    }
    HRESULT GetMediaType(WM_MEDIA_TYPE* type, uint32_t* size) override {
        if (size == nullptr) {
            return E_INVALIDARG;
        }
        if (type == nullptr) {
            *size = kMediaTypeSize;
            return S_OK;
        }
        if (*size < kMediaTypeSize) {
            *size = kMediaTypeSize;
            return ASF_E_BUFFERTOOSMALL;
        }
        WAVEFORMATEX wave{};
        wave.wFormatTag = WAVE_FORMAT_PCM;
        wave.nChannels = m_format.channels;
        wave.nSamplesPerSec = m_format.rate;
        wave.nBlockAlign = static_cast<uint16_t>(m_format.channels * kDeliveredBits / 8);
        wave.nAvgBytesPerSec = m_format.rate * wave.nBlockAlign;
        wave.wBitsPerSample = kDeliveredBits;
        wave.cbSize = 0;
        WM_MEDIA_TYPE media{};
        media.majortype = WMMEDIATYPE_Audio;
        media.subtype = WMMEDIASUBTYPE_PCM;
        media.formattype = WMFORMAT_WaveFormatEx;
        media.bFixedSizeSamples = 1;
        media.bTemporalCompression = 0;
        media.lSampleSize = wave.nBlockAlign;
        media.cbFormat = sizeof(WAVEFORMATEX);
        media.pbFormat = reinterpret_cast<uint8_t*>(type) + sizeof(WM_MEDIA_TYPE);
        std::memcpy(type, &media, sizeof(media));
        std::memcpy(media.pbFormat, &wave, sizeof(wave));
        *size = kMediaTypeSize;
        return S_OK;
    }

    uint32_t output() const { return m_output; }
    PcmFormat format() const { return m_format; }

  private:
    // The reader recognises its own format objects by this identifier.
    bool Answers(const GUID& iid) const override {
        return iid == IID_IUnknown || iid == IID_CMediaProps;
    }

    uint32_t m_output;
    PcmFormat m_format;
};

// Everything the reader keeps about one stream of the open file.
struct StreamState {
    AVStream* stream = nullptr;
    std::vector<PcmFormat> formats;  // empty for anything but decodable audio
    int chosen = -1;                 // index into formats; -1: the first
    bool selected = false;
    bool compressed = false;
    AVCodecContext* codec = nullptr;
    std::unique_ptr<CFlacFrames> flac;  // decodes instead of codec when set
    SwrContext* swr = nullptr;
    AVSampleFormat swrFormat = AV_SAMPLE_FMT_NONE;
    AVChannelLayout swrLayout{};
    int swrRate = 0;
    // Mono at half the source's rate goes through the mixer instead.
    CHalfRateMixer mixer;
    bool mixing = false;
    bool flushSent = false;  // the decoder has been told that the input ended
    bool done = false;       // nothing more comes from this stream
    bool failed = false;     // the decoder could not be opened
    uint64_t position = 0;   // output frames produced so far, delivered or skipped

    bool Decoding() const { return codec != nullptr || flac != nullptr; }
    // As avcodec_send_packet and avcodec_receive_frame, on whichever decodes.
    int Send(const AVPacket* packet) {
        return flac != nullptr ? flac->Send(packet) : avcodec_send_packet(codec, packet);
    }
    int Receive(AVFrame* frame) {
        return flac != nullptr ? flac->Receive(frame) : avcodec_receive_frame(codec, frame);
    }
    void Reset() {
        if (codec != nullptr) {
            avcodec_free_context(&codec);
        }
        flac.reset();
        swr_free(&swr);
        av_channel_layout_uninit(&swrLayout);
        swrFormat = AV_SAMPLE_FMT_NONE;
        swrRate = 0;
        mixer.Reset();
        mixing = false;
        flushSent = false;
        done = false;
        failed = false;
        position = 0;
    }
};

class CMediaReader final : public IWMSyncReader2, public IWMHeaderInfo {
  public:
    CMediaReader() = default;

    HRESULT QueryInterface(const GUID& iid, void** object) override {
        if (object == nullptr) {
            return E_INVALIDARG;
        }
        *object = nullptr;
        if (iid == IID_IUnknown || iid == IID_IWMSyncReader || iid == IID_IWMSyncReader2) {
            *object = static_cast<IWMSyncReader2*>(this);
        } else if (iid == IID_IWMHeaderInfo) {
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

    HRESULT Open(const char16_t* path) override;
    HRESULT Close() override;
    HRESULT GetOutputCount(uint32_t* outputs) override;
    HRESULT GetOutputFormatCount(uint32_t output, uint32_t* formats) override;
    HRESULT GetOutputFormat(uint32_t output, uint32_t format, IWMOutputMediaProps** props) override;
    HRESULT SetOutputProps(uint32_t output, IWMOutputMediaProps* props) override;
    HRESULT GetStreamNumberForOutput(uint32_t output, uint16_t* streamNumber) override;
    HRESULT SetStreamsSelected(uint16_t count, const uint16_t* streamNumbers,
                               const WMT_STREAM_SELECTION* selections) override;
    HRESULT SetReadStreamSamples(uint16_t streamNumber, bool compressed) override;
    HRESULT SetRange(uint64_t start, int64_t duration) override;
    HRESULT GetNextSample(uint16_t streamNumber, INSSBuffer** sample, uint64_t* time,
                          uint64_t* duration, uint32_t* flags, uint32_t* outputNumber,
                          uint16_t* sampleStreamNumber) override;

    HRESULT GetAttributeByName(uint16_t* streamNumber, const char16_t* name,
                               WMT_ATTR_DATATYPE* type, uint8_t* value, uint16_t* length) override;

  private:
    ~CMediaReader() {
        Close();
        if (m_spare != nullptr) {
            m_spare->Release();
        }
        av_packet_free(&m_packet);
        av_frame_free(&m_frame);
    }

    // An empty buffer with one reference for the caller: the last one handed
    // out when nobody else holds it any more, else a new one. Null when
    // memory runs out.
    CMediaBuffer* TakeBuffer();
    bool Eligible(const StreamState& s, uint16_t streamNumber) const;
    HRESULT OpenDecoder(StreamState& s);
    // Drains decoded frames of s into out until some bytes result. S_OK with
    // bytes, S_FALSE-like 1 when the decoder needs input, a failure when
    // decoding broke down.
    HRESULT Drain(StreamState& s, std::vector<uint8_t>& out);
    HRESULT Convert(StreamState& s, const AVFrame* frame, std::vector<uint8_t>& out);
    void ApplyRange(StreamState& s, std::vector<uint8_t>& out, size_t firstByte);
    PcmFormat Chosen(const StreamState& s) const {
        return s.formats[s.chosen < 0 ? 0 : static_cast<size_t>(s.chosen)];
    }
    const char* FindTag(uint16_t streamNumber, const char* key) const;

    // The demuxer's interrupt callback: 1 once the open has run past its time.
    static int OpenTimedOut(void* opaque) {
        auto* reader = static_cast<CMediaReader*>(opaque);
        // Once open, reading asks too, but has no limit.
        if (reader->m_openDeadline == kNoDeadline) {
            return reader->m_openTimedOut ? 1 : 0;
        }
        // The thread's processor time costs a system call; it cannot have
        // passed its limit before as much time has passed on the clock.
        const int64_t now = av_gettime_relative();
        if (now > reader->m_openDeadline ||
            (now > reader->m_openCpuCheckFrom && ThreadCpuMicros() > reader->m_openCpuDeadline)) {
            reader->m_openTimedOut = true;
        }
        return reader->m_openTimedOut ? 1 : 0;
    }

    std::atomic<uint32_t> m_refs{1};
    AVFormatContext* m_format = nullptr;
    int64_t m_openDeadline = kNoDeadline;      // microseconds of av_gettime_relative
    int64_t m_openCpuDeadline = kNoDeadline;   // microseconds of ThreadCpuMicros
    int64_t m_openCpuCheckFrom = kNoDeadline;  // microseconds of av_gettime_relative
    bool m_openTimedOut = false;
    std::vector<StreamState> m_streams;
    AVPacket* m_packet = av_packet_alloc();
    AVFrame* m_frame = av_frame_alloc();
    bool m_inputEnded = false;
    bool m_readStarted = false;
    // The buffer handed out last, with the reader's own reference, so that
    // its memory serves the next sample once the caller has given it back.
    CMediaBuffer* m_spare = nullptr;
    int m_retries = 0;
    uint64_t m_rangeStart = 0;  // 100-ns units
    int64_t m_rangeLength = 0;  // 100-ns units, 0: to the end
};

constexpr HRESULT kNeedInput = 1;
// A demuxer that keeps saying "not yet" is taken to have ended.
constexpr int kMaxRetries = 1000;
// A decoder that reports damage this often in a row without a frame has
// broken down.
constexpr int kMaxDamagedInARow = 1000;

HRESULT CMediaReader::Open(const char16_t* path) {
    if (path == nullptr) {
        return E_INVALIDARG;
    }
    Close();
    if (m_packet == nullptr || m_frame == nullptr) {
        return E_OUTOFMEMORY;
    }
    const std::string bytes = U16ToBytes(path);
    // Only regular files: a pipe or device would block the reader forever.
    struct stat info {};
    if (bytes.empty() || stat(bytes.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) {
        return NS_E_FILE_OPEN_FAILED;
    }
    // "file:" keeps a name such as "http:x.mp3" a file name, and the
    // protocol list keeps playlist-like formats from reaching anything else.
    const std::string url = "file:" + bytes;
    m_format = avformat_alloc_context();
    if (m_format == nullptr) {
        return E_OUTOFMEMORY;
    }
    // A crafted file can keep a demuxer walking through empty structures for
    // minutes before it gives up; the open is cut off at a time limit that an
    // ordinary file never comes near. Reading samples later has no limit.
    const int64_t openStart = av_gettime_relative();
    m_openDeadline = openStart + kOpenWallLimitUs;
    m_openCpuCheckFrom = openStart + kOpenCpuLimitUs;
    m_openCpuDeadline = ThreadCpuMicros() + kOpenCpuLimitUs;
    m_openTimedOut = false;
    m_format->interrupt_callback.callback = &CMediaReader::OpenTimedOut;
    m_format->interrupt_callback.opaque = this;
    AVDictionary* options = nullptr;
    av_dict_set(&options, "protocol_whitelist", "file", 0);
    av_dict_set_int(&options, "probesize", kProbeSize, 0);
    av_dict_set_int(&options, "raw_packet_size", kRawPacketSize, 0);
    const int opened = avformat_open_input(&m_format, url.c_str(), nullptr, &options);
    av_dict_free(&options);
    if (opened < 0) {
        m_format = nullptr;
        return opened == AVERROR(ENOENT) || opened == AVERROR(EACCES) || opened == AVERROR(EISDIR)
                   ? NS_E_FILE_OPEN_FAILED
                   : NS_E_INVALID_INPUT_FORMAT;
    }
    if (m_format->probe_score < kLeastContentScore) {
        avformat_close_input(&m_format);
        return NS_E_INVALID_INPUT_FORMAT;
    }
    // Cut off inside, the look at the streams may still report success with
    // half of what it needed.
    const int found = avformat_find_stream_info(m_format, nullptr);
    m_openDeadline = kNoDeadline;
    m_openCpuCheckFrom = kNoDeadline;
    m_openCpuDeadline = kNoDeadline;
    if (found < 0 || m_openTimedOut) {
        avformat_close_input(&m_format);
        return NS_E_INVALID_INPUT_FORMAT;
    }
    m_streams.resize(m_format->nb_streams);
    for (unsigned i = 0; i < m_format->nb_streams; ++i) {
        StreamState& s = m_streams[i];
        s.stream = m_format->streams[i];
        s.stream->discard = AVDISCARD_ALL;
        const AVCodecParameters* par = s.stream->codecpar;
        if (par->codec_type != AVMEDIA_TYPE_AUDIO ||
            avcodec_find_decoder(par->codec_id) == nullptr) {
            continue;
        }
        std::vector<uint16_t> channels;
        const int sourceChannels = par->ch_layout.nb_channels;
        if (sourceChannels > 0 && static_cast<uint32_t>(sourceChannels) <= kMaxSourceChannels) {
            channels.push_back(static_cast<uint16_t>(sourceChannels));
        }
        for (uint16_t c : {uint16_t{2}, uint16_t{1}}) {
            if (std::find(channels.begin(), channels.end(), c) == channels.end()) {
                channels.push_back(c);
            }
        }
        std::vector<uint32_t> rates;
        if (par->sample_rate > 0) {
            rates.push_back(static_cast<uint32_t>(par->sample_rate));
        }
        for (uint32_t r : kOfferedRates) {
            if (std::find(rates.begin(), rates.end(), r) == rates.end()) {
                rates.push_back(r);
            }
        }
        for (uint16_t c : channels) {
            for (uint32_t r : rates) {
                s.formats.push_back(PcmFormat{c, r});
            }
        }
    }
    m_inputEnded = false;
    m_readStarted = false;
    m_rangeStart = 0;
    m_rangeLength = 0;
    return S_OK;
}

HRESULT CMediaReader::Close() {
    for (StreamState& s : m_streams) {
        s.Reset();
    }
    m_streams.clear();
    if (m_format != nullptr) {
        avformat_close_input(&m_format);
    }
    if (m_packet != nullptr) {
        av_packet_unref(m_packet);
    }
    return S_OK;
}

HRESULT CMediaReader::GetOutputCount(uint32_t* outputs) {
    if (outputs == nullptr) {
        return E_INVALIDARG;
    }
    if (m_format == nullptr) {
        return NS_E_INVALID_REQUEST;
    }
    *outputs = static_cast<uint32_t>(m_streams.size());
    return S_OK;
}

HRESULT CMediaReader::GetOutputFormatCount(uint32_t output, uint32_t* formats) {
    if (formats == nullptr) {
        return E_INVALIDARG;
    }
    if (m_format == nullptr || output >= m_streams.size()) {
        return NS_E_INVALID_REQUEST;
    }
    *formats = static_cast<uint32_t>(m_streams[output].formats.size());
    return S_OK;
}

HRESULT CMediaReader::GetOutputFormat(uint32_t output, uint32_t format,
                                      IWMOutputMediaProps** props) {
    if (props == nullptr) {
        return E_INVALIDARG;
    }
    *props = nullptr;
    if (m_format == nullptr || output >= m_streams.size() ||
        format >= m_streams[output].formats.size()) {
        return NS_E_INVALID_REQUEST;
    }
    *props = new (std::nothrow) CMediaProps(output, m_streams[output].formats[format]);
    return *props != nullptr ? S_OK : E_OUTOFMEMORY;
}

HRESULT CMediaReader::SetOutputProps(uint32_t output, IWMOutputMediaProps* props) {
    if (props == nullptr) {
        return E_INVALIDARG;
    }
    if (m_format == nullptr || output >= m_streams.size()) {
        return NS_E_INVALID_REQUEST;
    }
    void* object = nullptr;
    if (Failed(props->QueryInterface(IID_CMediaProps, &object))) {
        return NS_E_INVALID_REQUEST;
    }
    auto* own = static_cast<CMediaProps*>(static_cast<IWMOutputMediaProps*>(object));
    const PcmFormat wanted = own->format();
    const bool sameOutput = own->output() == output;
    own->Release();
    StreamState& s = m_streams[output];
    if (!sameOutput) {
        return NS_E_INVALID_REQUEST;
    }
    for (size_t i = 0; i < s.formats.size(); ++i) {
        if (s.formats[i].channels == wanted.channels && s.formats[i].rate == wanted.rate) {
            if (s.chosen != static_cast<int>(i)) {
                // The conversion is rebuilt for the new format at the next frame.
                swr_free(&s.swr);
                s.swrFormat = AV_SAMPLE_FMT_NONE;
                s.mixer.Reset();
                s.mixing = false;
            }
            s.chosen = static_cast<int>(i);
            return S_OK;
        }
    }
    return NS_E_INVALID_REQUEST;
}

HRESULT CMediaReader::GetStreamNumberForOutput(uint32_t output, uint16_t* streamNumber) {
    if (streamNumber == nullptr) {
        return E_INVALIDARG;
    }
    if (m_format == nullptr || output >= m_streams.size() || output >= UINT16_MAX) {
        return NS_E_INVALID_REQUEST;
    }
    *streamNumber = static_cast<uint16_t>(output + 1);
    return S_OK;
}

HRESULT CMediaReader::SetStreamsSelected(uint16_t count, const uint16_t* streamNumbers,
                                         const WMT_STREAM_SELECTION* selections) {
    if (count == 0 || streamNumbers == nullptr || selections == nullptr) {
        return E_INVALIDARG;
    }
    if (m_format == nullptr) {
        return NS_E_INVALID_REQUEST;
    }
    for (uint16_t i = 0; i < count; ++i) {
        if (streamNumbers[i] == 0 || streamNumbers[i] > m_streams.size()) {
            return E_INVALIDARG;
        }
    }
    for (uint16_t i = 0; i < count; ++i) {
        StreamState& s = m_streams[streamNumbers[i] - 1u];
        s.selected = selections[i] != WMT_OFF;
        s.stream->discard = s.selected ? AVDISCARD_DEFAULT : AVDISCARD_ALL;
    }
    return S_OK;
}

HRESULT CMediaReader::SetReadStreamSamples(uint16_t streamNumber, bool compressed) {
    if (m_format == nullptr) {
        return NS_E_INVALID_REQUEST;
    }
    if (streamNumber == 0 || streamNumber > m_streams.size()) {
        return E_INVALIDARG;
    }
    m_streams[streamNumber - 1u].compressed = compressed;
    return S_OK;
}

HRESULT CMediaReader::SetRange(uint64_t start, int64_t duration) {
    if (m_format == nullptr) {
        return NS_E_INVALID_REQUEST;
    }
    if (duration < 0) {
        return E_INVALIDARG;
    }
    if (m_readStarted) {
        if (avformat_seek_file(m_format, -1, INT64_MIN, 0, 0, AVSEEK_FLAG_BACKWARD) < 0 &&
            av_seek_frame(m_format, -1, 0, AVSEEK_FLAG_BACKWARD | AVSEEK_FLAG_BYTE) < 0) {
            return NS_E_INVALID_REQUEST;
        }
        for (StreamState& s : m_streams) {
            s.Reset();
        }
        m_inputEnded = false;
        m_readStarted = false;
    }
    m_rangeStart = start;
    m_rangeLength = duration;
    return S_OK;
}

CMediaBuffer* CMediaReader::TakeBuffer() {
    if (m_spare != nullptr) {
        if (m_spare->AddRef() == 2) {
            m_spare->m_bytes.clear();
            return m_spare;
        }
        // Still held elsewhere: the holder keeps it, the reader lets go.
        m_spare->Release();
        m_spare->Release();
        m_spare = nullptr;
    }
    auto* buffer = new (std::nothrow) CMediaBuffer();
    if (buffer != nullptr) {
        buffer->AddRef();
        m_spare = buffer;
    }
    return buffer;
}

bool CMediaReader::Eligible(const StreamState& s, uint16_t streamNumber) const {
    if (!s.selected || s.done) {
        return false;
    }
    return streamNumber == 0 || &s == &m_streams[streamNumber - 1u];
}

HRESULT CMediaReader::OpenDecoder(StreamState& s) {
    if (s.formats.empty()) {
        return NS_E_INVALID_REQUEST;
    }
    s.flac = CFlacFrames::Create(s.stream->codecpar);
    if (s.flac != nullptr) {
        return S_OK;
    }
    const AVCodec* decoder = avcodec_find_decoder(s.stream->codecpar->codec_id);
    s.codec = decoder != nullptr ? avcodec_alloc_context3(decoder) : nullptr;
    if (s.codec == nullptr || avcodec_parameters_to_context(s.codec, s.stream->codecpar) < 0) {
        avcodec_free_context(&s.codec);
        return NS_E_DECODE_FAILED;
    }
    // One worker thread decodes one file; more threads per file only compete.
    s.codec->thread_count = 1;
    // Checksums of the coded frames would only decide what gets logged, and
    // nothing is logged: a damaged frame decodes the same either way.
    s.codec->err_recognition = 0;
    s.codec->pkt_timebase = s.stream->time_base;
    if (avcodec_open2(s.codec, decoder, nullptr) < 0) {
        avcodec_free_context(&s.codec);
        return NS_E_DECODE_FAILED;
    }
    return S_OK;
}

// The layout of frame when it can go through the half-rate mixer for target:
// one output channel at half the frame's rate, from one or two channels
// (a stereo pair, or two without names) in a sample format the mixer reads.
bool HalfRateLayout(const PcmFormat& target, const AVFrame* frame, PcmFrameLayout* layout) {
    if (target.channels != 1 || frame->sample_rate <= 0 ||
        static_cast<uint64_t>(frame->sample_rate) != 2ull * target.rate) {
        return false;
    }
    const AVChannelLayout& channels = frame->ch_layout;
    const AVChannelLayout stereo = AV_CHANNEL_LAYOUT_STEREO;
    if (channels.nb_channels == 2 && channels.order != AV_CHANNEL_ORDER_UNSPEC &&
        av_channel_layout_compare(&channels, &stereo) != 0) {
        return false;
    }
    layout->channels = channels.nb_channels;
    switch (frame->format) {
        case AV_SAMPLE_FMT_FLT:
        case AV_SAMPLE_FMT_FLTP:
            layout->kind = PcmFrameLayout::kFloat;
            break;
        case AV_SAMPLE_FMT_S16:
        case AV_SAMPLE_FMT_S16P:
            layout->kind = PcmFrameLayout::kInt16;
            break;
        case AV_SAMPLE_FMT_S32:
        case AV_SAMPLE_FMT_S32P:
            layout->kind = PcmFrameLayout::kInt32;
            break;
        default:
            return false;
    }
    layout->planar = av_sample_fmt_is_planar(static_cast<AVSampleFormat>(frame->format)) != 0;
    return CHalfRateMixer::Takes(*layout);
}

HRESULT CMediaReader::Convert(StreamState& s, const AVFrame* frame, std::vector<uint8_t>& out) {
    const PcmFormat target = Chosen(s);
    PcmFrameLayout mixable;
    if (HalfRateLayout(target, frame, &mixable)) {
        // The usual request, mono at half the rate, costs one filtering pass
        // of the mixed channels instead of the general resampler's stages.
        swr_free(&s.swr);
        s.swrFormat = AV_SAMPLE_FMT_NONE;
        s.mixing = true;
        const size_t first = out.size();
        s.mixer.Push(frame->extended_data, mixable, frame->nb_samples, out);
        ApplyRange(s, out, first);
        return S_OK;
    }
    if (s.mixing) {
        // The stream changed its shape: what the mixer holds comes first.
        const size_t first = out.size();
        s.mixer.Flush(out);
        s.mixing = false;
        ApplyRange(s, out, first);
    }
    AVChannelLayout inLayout{};
    if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC || frame->ch_layout.nb_channels <= 0) {
        int n = frame->ch_layout.nb_channels;
        if (n <= 0 && s.codec != nullptr) {
            n = s.codec->ch_layout.nb_channels;
        }
        if (n <= 0) {
            return NS_E_DECODE_FAILED;
        }
        av_channel_layout_default(&inLayout, n);
    } else if (av_channel_layout_copy(&inLayout, &frame->ch_layout) < 0) {
        return E_OUTOFMEMORY;
    }
    const auto inFormat = static_cast<AVSampleFormat>(frame->format);
    if (s.swr == nullptr || s.swrFormat != inFormat || s.swrRate != frame->sample_rate ||
        av_channel_layout_compare(&s.swrLayout, &inLayout) != 0) {
        // A source that changes its format mid-stream (some MP3 and AAC
        // streams do) gets a fresh conversion; the old one's few buffered
        // frames are dropped.
        swr_free(&s.swr);
        AVChannelLayout outLayout{};
        av_channel_layout_default(&outLayout, target.channels);
        const int made = swr_alloc_set_opts2(&s.swr, &outLayout, AV_SAMPLE_FMT_S16,
                                             static_cast<int>(target.rate), &inLayout, inFormat,
                                             frame->sample_rate, 0, nullptr);
        av_channel_layout_uninit(&outLayout);
        if (made < 0 || swr_init(s.swr) < 0) {
            swr_free(&s.swr);
            av_channel_layout_uninit(&inLayout);
            return NS_E_DECODE_FAILED;
        }
        av_channel_layout_uninit(&s.swrLayout);
        s.swrLayout = inLayout;
        s.swrFormat = inFormat;
        s.swrRate = frame->sample_rate;
    } else {
        av_channel_layout_uninit(&inLayout);
    }
    const int inSamples = frame != nullptr ? frame->nb_samples : 0;
    const int room = swr_get_out_samples(s.swr, inSamples);
    if (room <= 0) {
        return S_OK;
    }
    const size_t frameBytes = static_cast<size_t>(target.channels) * sizeof(int16_t);
    const size_t first = out.size();
    out.resize(first + static_cast<size_t>(room) * frameBytes);
    uint8_t* dst = out.data() + first;
    const int made = swr_convert(s.swr, &dst, room,
                                 const_cast<const uint8_t**>(frame->extended_data), inSamples);
    if (made < 0) {
        out.resize(first);
        return NS_E_DECODE_FAILED;
    }
    out.resize(first + static_cast<size_t>(made) * frameBytes);
    ApplyRange(s, out, first);
    return S_OK;
}

// Keeps of the bytes from firstByte on only the frames inside the range.
void CMediaReader::ApplyRange(StreamState& s, std::vector<uint8_t>& out, size_t firstByte) {
    const PcmFormat target = Chosen(s);
    const size_t frameBytes = static_cast<size_t>(target.channels) * sizeof(int16_t);
    const uint64_t frames = (out.size() - firstByte) / frameBytes;
    const uint64_t begin = s.position;
    s.position += frames;
    if (m_rangeStart == 0 && m_rangeLength == 0) {
        return;
    }
    const uint64_t keepFrom = m_rangeStart * target.rate / kUnitsPerSecond;
    uint64_t keepTo = UINT64_MAX;
    if (m_rangeLength > 0) {
        keepTo =
            (m_rangeStart + static_cast<uint64_t>(m_rangeLength)) * target.rate / kUnitsPerSecond;
    }
    const uint64_t lo = std::clamp(keepFrom, begin, begin + frames) - begin;
    const uint64_t hi = std::clamp(keepTo, begin, begin + frames) - begin;
    std::vector<uint8_t> kept(
        out.begin() + static_cast<std::ptrdiff_t>(firstByte + lo * frameBytes),
        out.begin() + static_cast<std::ptrdiff_t>(firstByte + hi * frameBytes));
    out.resize(firstByte);
    out.insert(out.end(), kept.begin(), kept.end());
    if (s.position >= keepTo) {
        s.done = true;
    }
}

HRESULT CMediaReader::Drain(StreamState& s, std::vector<uint8_t>& out) {
    int damaged = 0;
    while (!s.done) {
        const int got = s.Receive(m_frame);
        if (got == AVERROR(EAGAIN)) {
            return kNeedInput;
        }
        if (got == AVERROR_EOF) {
            // The decoder is empty; what the conversion still holds comes last.
            if (s.mixing) {
                const size_t first = out.size();
                s.mixer.Flush(out);
                s.mixing = false;
                ApplyRange(s, out, first);
            }
            if (s.swr != nullptr) {
                const size_t first = out.size();
                const size_t frameBytes = static_cast<size_t>(Chosen(s).channels) * sizeof(int16_t);
                const int room = swr_get_out_samples(s.swr, 0);
                if (room > 0) {
                    out.resize(first + static_cast<size_t>(room) * frameBytes);
                    uint8_t* dst = out.data() + first;
                    const int made = swr_convert(s.swr, &dst, room, nullptr, 0);
                    out.resize(first + static_cast<size_t>(std::max(made, 0)) * frameBytes);
                    ApplyRange(s, out, first);
                }
            }
            s.done = true;
            return out.empty() ? kNeedInput : S_OK;
        }
        if (got == AVERROR_INVALIDDATA && ++damaged < kMaxDamagedInARow) {
            // A damaged packet that the decoder took in whole and found
            // broken only now: passed over, as at sending.
            continue;
        }
        if (got < 0) {
            s.done = true;
            return NS_E_DECODE_FAILED;
        }
        const HRESULT hr = Convert(s, m_frame, out);
        av_frame_unref(m_frame);
        if (Failed(hr)) {
            s.done = true;
            return hr;
        }
        if (!out.empty()) {
            return S_OK;
        }
    }
    return kNeedInput;
}

HRESULT CMediaReader::GetNextSample(uint16_t streamNumber, INSSBuffer** sample, uint64_t* time,
                                    uint64_t* duration, uint32_t* flags, uint32_t* outputNumber,
                                    uint16_t* sampleStreamNumber) {
    if (sample == nullptr) {
        return E_INVALIDARG;
    }
    *sample = nullptr;
    if (m_format == nullptr) {
        return NS_E_INVALID_REQUEST;
    }
    if (streamNumber > m_streams.size() ||
        (streamNumber != 0 && !m_streams[streamNumber - 1u].selected)) {
        return NS_E_INVALID_REQUEST;
    }
    m_readStarted = true;

    CMediaBuffer* buffer = TakeBuffer();
    if (buffer == nullptr) {
        return E_OUTOFMEMORY;
    }
    // Hands the filled buffer out; time and duration from the output frames
    // (rate 0: a coded packet, whose time the caller sets).
    auto deliver = [&](StreamState& s, uint32_t rate) {
        const auto index = static_cast<uint32_t>(&s - m_streams.data());
        uint64_t frames = 0;
        if (rate != 0) {
            frames = buffer->m_bytes.size() / (Chosen(s).channels * sizeof(int16_t));
        }
        if (time != nullptr) {
            *time = rate != 0 ? (s.position - frames) * kUnitsPerSecond / rate : 0;
        }
        if (duration != nullptr) {
            *duration = rate != 0 ? frames * kUnitsPerSecond / rate : 0;
        }
        if (flags != nullptr) {
            *flags = 0;
        }
        if (outputNumber != nullptr) {
            *outputNumber = index;
        }
        if (sampleStreamNumber != nullptr) {
            *sampleStreamNumber = static_cast<uint16_t>(index + 1);
        }
        *sample = buffer;
        return S_OK;
    };

    for (;;) {
        // Decoded output that is already waiting comes first.
        for (StreamState& s : m_streams) {
            if (!Eligible(s, streamNumber) || s.compressed) {
                continue;
            }
            if (!s.Decoding() && !s.failed) {
                const HRESULT opened = OpenDecoder(s);
                if (Failed(opened)) {
                    s.failed = true;
                    s.done = true;
                    buffer->Release();
                    return opened;
                }
            }
            const HRESULT hr = Drain(s, buffer->m_bytes);
            if (Failed(hr)) {
                buffer->Release();
                return hr;
            }
            if (hr == S_OK) {
                return deliver(s, Chosen(s).rate);
            }
            if (s.flushSent) {
                // A decoder told that the input ended must end its stream
                // rather than ask for more.
                s.done = true;
            }
        }
        if (m_inputEnded) {
            bool pending = false;
            for (StreamState& s : m_streams) {
                if (Eligible(s, streamNumber) && !s.compressed && s.Decoding()) {
                    if (!s.flushSent) {
                        s.Send(nullptr);
                        s.flushSent = true;
                    }
                    pending = true;
                }
            }
            if (!pending) {
                buffer->Release();
                return NS_E_NO_MORE_SAMPLES;
            }
            continue;
        }
        const int read = av_read_frame(m_format, m_packet);
        if (read == AVERROR(EAGAIN) && ++m_retries < kMaxRetries) {
            continue;
        }
        m_retries = 0;
        if (read < 0) {
            // The end, or input that cannot be read further: both end the file.
            m_inputEnded = true;
            continue;
        }
        const auto index = static_cast<size_t>(m_packet->stream_index);
        if (index >= m_streams.size() || !Eligible(m_streams[index], streamNumber)) {
            av_packet_unref(m_packet);
            continue;
        }
        StreamState& s = m_streams[index];
        if (s.compressed) {
            buffer->m_bytes.assign(m_packet->data, m_packet->data + m_packet->size);
            const int64_t pts = m_packet->pts != AV_NOPTS_VALUE ? m_packet->pts : 0;
            const uint64_t when = pts > 0 ? static_cast<uint64_t>(av_rescale_q(
                                                pts, s.stream->time_base, AVRational{1, 10000000}))
                                          : 0;
            av_packet_unref(m_packet);
            deliver(s, 0);
            if (time != nullptr) {
                *time = when;
            }
            return S_OK;
        }
        if (s.Decoding()) {
            // A damaged packet is passed over, as a player would.
            s.Send(m_packet);
        }
        av_packet_unref(m_packet);
    }
}

const char* CMediaReader::FindTag(uint16_t streamNumber, const char* key) const {
    auto lookup = [key](const AVDictionary* metadata) -> const char* {
        const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
        return entry != nullptr && entry->value != nullptr && entry->value[0] != 0 ? entry->value
                                                                                   : nullptr;
    };
    if (streamNumber != 0) {
        return lookup(m_streams[streamNumber - 1u].stream->metadata);
    }
    if (const char* value = lookup(m_format->metadata)) {
        return value;
    }
    // Ogg and some others keep the tags with the audio stream.
    for (const StreamState& s : m_streams) {
        if (s.stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
            return lookup(s.stream->metadata);
        }
    }
    return nullptr;
}

HRESULT CMediaReader::GetAttributeByName(uint16_t* streamNumber, const char16_t* name,
                                         WMT_ATTR_DATATYPE* type, uint8_t* value,
                                         uint16_t* length) {
    if (streamNumber == nullptr || name == nullptr || type == nullptr || length == nullptr) {
        return E_INVALIDARG;
    }
    if (m_format == nullptr) {
        return NS_E_INVALID_REQUEST;
    }
    if (*streamNumber > m_streams.size()) {
        return E_INVALIDARG;
    }
    std::vector<uint8_t> bytes;
    WMT_ATTR_DATATYPE found = WMT_TYPE_BINARY;
    if (SameText(name, u"Bitrate") && *streamNumber == 0) {
        // The coded rates of the streams when the file tells them, else the
        // file's size over its duration.
        int64_t rate = 0;
        for (const StreamState& s : m_streams) {
            rate += std::max<int64_t>(s.stream->codecpar->bit_rate, 0);
        }
        if (rate <= 0) {
            rate = m_format->bit_rate;
        }
        if (rate <= 0) {
            return ASF_E_NOTFOUND;
        }
        const auto dword = static_cast<uint32_t>(std::min<int64_t>(rate, UINT32_MAX));
        bytes.resize(sizeof(dword));
        std::memcpy(bytes.data(), &dword, sizeof(dword));
        found = WMT_TYPE_DWORD;
    } else if (SameText(name, u"Duration") && *streamNumber == 0) {
        int64_t units = 0;
        if (m_format->duration != AV_NOPTS_VALUE && m_format->duration > 0) {
            units = av_rescale(m_format->duration, kUnitsPerSecond, AV_TIME_BASE);
        } else {
            for (const StreamState& s : m_streams) {
                if (s.stream->duration != AV_NOPTS_VALUE && s.stream->duration > 0) {
                    units = std::max(units, av_rescale_q(s.stream->duration, s.stream->time_base,
                                                         AVRational{1, kUnitsPerSecond}));
                }
            }
        }
        if (units <= 0) {
            return ASF_E_NOTFOUND;
        }
        const auto qword = static_cast<uint64_t>(units);
        bytes.resize(sizeof(qword));
        std::memcpy(bytes.data(), &qword, sizeof(qword));
        found = WMT_TYPE_QWORD;
    } else {
        const char* text = nullptr;
        for (const TagName& tag : kTagNames) {
            if (SameText(name, tag.attribute)) {
                for (const char* key : tag.tags) {
                    if (key != nullptr && text == nullptr) {
                        text = FindTag(*streamNumber, key);
                    }
                }
            }
        }
        if (text == nullptr) {
            return ASF_E_NOTFOUND;
        }
        std::u16string wide = BytesToU16(text);
        wide.push_back(0);
        bytes.resize(wide.size() * sizeof(char16_t));
        std::memcpy(bytes.data(), wide.data(), bytes.size());
        found = WMT_TYPE_STRING;
    }
    if (bytes.size() > UINT16_MAX) {
        *length = UINT16_MAX;
        return ASF_E_BUFFERTOOSMALL;
    }
    const auto needed = static_cast<uint16_t>(bytes.size());
    *type = found;
    if (value == nullptr) {
        *length = needed;
        return S_OK;
    }
    if (*length < needed) {
        *length = needed;
        return ASF_E_BUFFERTOOSMALL;
    }
    std::memcpy(value, bytes.data(), bytes.size());
    *length = needed;
    return S_OK;
}

}  // namespace

namespace {

// FFmpeg and the hundred libraries beneath it are loaded with this runtime but
// not unloaded with it: they are not made to be loaded again and again (each
// loading leaves memory of their own behind), so once in, they stay for the
// life of the process. The runtime itself still goes with its last reader.
__attribute__((constructor)) void KeepFfmpegLoaded() {
    const void* anchors[] = {reinterpret_cast<const void*>(&avformat_open_input),
                             reinterpret_cast<const void*>(&avcodec_open2),
                             reinterpret_cast<const void*>(&swr_convert),
                             reinterpret_cast<const void*>(&av_dict_get)};
    for (const void* anchor : anchors) {
        Dl_info where{};
        if (dladdr(anchor, &where) != 0 && where.dli_fname != nullptr) {
            // A reference that is never given back; NODELETE keeps it so.
            dlopen(where.dli_fname, RTLD_NOW | RTLD_NOLOAD | RTLD_NODELETE);
        }
    }
    // A scan offers every file of a folder; what FFmpeg would print about the
    // ones it cannot read is noise on the user's terminal. A file that fails
    // shows up as a counted failure instead.
    av_log_set_level(AV_LOG_QUIET);
}

}  // namespace

extern "C" __attribute__((visibility("default"))) HRESULT WMCreateSyncReader(
    IUnknown* certificate, uint32_t rights, IWMSyncReader** reader) {
    if (reader == nullptr) {
        return E_INVALIDARG;
    }
    *reader = nullptr;
    if (certificate != nullptr || rights != 0) {
        return E_INVALIDARG;
    }
    *reader = new (std::nothrow) CMediaReader();
    return *reader != nullptr ? S_OK : E_OUTOFMEMORY;
}
