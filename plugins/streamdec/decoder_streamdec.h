// CDecoderStreamdec: the decoder object of the Streamdec plug-in. It
// recognises RIFF/WAVE, MPEG audio and ASF files by their structure, hands the
// coded bytes a second's worth at a time to the conversion layer and delivers
// the PCM that the host asked for, with the file's bit rate, duration, source
// format and the tags of an ID3 version 1 trailer.
//
// Made by GetInterface and destroyed by Release. One thread at a time; no
// state is shared between objects.
#pragma once

#include <cstdint>
#include <vector>

#include "acm_layer.h"
#include "decoder_contract.h"
#include "stream_file.h"

class CDecoderStreamdec final : public IDecoder {
  public:
    CDecoderStreamdec() = default;
    CDecoderStreamdec(const CDecoderStreamdec&) = delete;
    CDecoderStreamdec& operator=(const CDecoderStreamdec&) = delete;

    void Release() override;
    HRESULT Open(const char16_t* path, const DecoderFormat* wanted) override;
    HRESULT Close() override;
    HRESULT Read(const void** data, uint32_t* byteCount, DecoderFormat* format) override;
    uint32_t GetPriority() override;
    HRESULT GetInfo(DecoderInfo* info) override;

  private:
    ~CDecoderStreamdec() { Close(); }

    StreamFile file;
    HACMSTREAM stream = nullptr;
    uint32_t remaining = 0;       // coded bytes of the stream not yet read
    std::vector<uint8_t> input;   // coded bytes of one conversion step, sized at Open
    std::vector<uint8_t> output;  // PCM of one step: one second of the wanted format
    DecoderFormat wanted{};
    DecoderInfo info{};
};
