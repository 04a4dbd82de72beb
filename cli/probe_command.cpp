// "harmonyfox-cli probe FILE...": tells for each file which plug-in decodes
// it, what the plug-in reports of it, how many samples arrive in the first
// minute and what fingerprint the program makes of it. One JSON object per
// line on standard output. It decodes through the program's own DecoderSet
// and Analyzer and has no decoding of its own.
#include <array>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <string_view>

#include "analyzer.h"
#include "command.h"
#include "decoder_contract.h"
#include "decoder_set.h"
#include "grip.h"

namespace {

constexpr uint32_t kProbeLength = 60 * kOneSecond;  // samples counted: the first minute
constexpr uint32_t kMaxEmptyChunks = 1024;          // a stream of empty chunks has ended
constexpr size_t kShownValues = 8;                  // leading values shown of each Grip array

const char kUsage[] =
    "usage: harmonyfox-cli probe [--] FILE...\n"
    "\n"
    "Decodes each FILE through the program's plug-ins and prints one JSON object\n"
    "per line: path, plugin (null when none takes the file), durationMs, bitrate,\n"
    "channels, samplesPerSec, title, artist, album, samples (delivered in the first\n"
    "60 s at 22050 Hz) and grip (null, with gripError, when none can be made).\n";

// Appends text as a JSON string. Bytes that are not UTF-8 travel as the lone
// surrogates \udc80..\udcff, as they do in the program's UTF-16 paths.
void AppendJsonString(std::string& out, std::u16string_view text) {
    out.push_back('"');
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        char escape[8];
        switch (u) {
            case u'"':
                out += "\\\"";
                continue;
            case u'\\':
                out += "\\\\";
                continue;
            case u'\n':
                out += "\\n";
                continue;
            case u'\r':
                out += "\\r";
                continue;
            case u'\t':
                out += "\\t";
                continue;
            default:
                break;
        }
        const bool high = u >= 0xD800 && u <= 0xDBFF;
        const bool pairs =
            high && i + 1 < text.size() && text[i + 1] >= 0xDC00 && text[i + 1] <= 0xDFFF;
        if (u < 0x20 || u == 0x7F || (u >= 0xD800 && u <= 0xDFFF && !pairs)) {
            std::snprintf(escape, sizeof(escape), "\\u%04x", static_cast<unsigned>(u));
            out += escape;
        } else if (pairs) {
            out += U16ToBytes(text.substr(i, 2));
            ++i;
        } else {
            out += U16ToBytes(text.substr(i, 1));
        }
    }
    out.push_back('"');
}

void AppendJsonString(std::string& out, const char16_t (&field)[kDecoderInfoTextLength]) {
    size_t n = 0;
    while (n < kDecoderInfoTextLength && field[n] != 0) {
        ++n;
    }
    AppendJsonString(out, std::u16string_view(field, n));
}

void AppendNumber(std::string& out, double value) {
    if (!std::isfinite(value)) {
        out += "null";
        return;
    }
    char text[32];
    std::snprintf(text, sizeof(text), "%.9g", value);
    out += text;
}

template <size_t N>
void AppendLeading(std::string& out, const char* key, const std::array<float, N>& values) {
    out += ",\"";
    out += key;
    out += "\":[";
    for (size_t i = 0; i < N && i < kShownValues; ++i) {
        if (i != 0) {
            out.push_back(',');
        }
        AppendNumber(out, values[i]);
    }
    out.push_back(']');
}

// "libmediadec.so" -> "mediadec".
std::string PluginName(const std::string& path) {
    std::string name = path.substr(path.rfind('/') == std::string::npos ? 0 : path.rfind('/') + 1);
    if (name.rfind("lib", 0) == 0) {
        name.erase(0, 3);
    }
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".so") == 0) {
        name.resize(name.size() - 3);
    }
    return name;
}

std::string Probe(Analyzer& analyzer, const char* given) {
    const std::u16string path = BytesToU16(given);
    DecoderSet& decoders = analyzer.decoders();
    std::string out = "{\"path\":";
    AppendJsonString(out, path);

    out += ",\"plugin\":";
    const bool opened = Succeeded(decoders.OpenFile(path.c_str()));
    const int plugin = opened ? decoders.CurrentPlugin() : -1;
    if (plugin >= 0) {
        AppendJsonString(out,
                         BytesToU16(PluginName(decoders.PluginPath(static_cast<size_t>(plugin)))));
    } else {
        out += "null";
    }

    DecoderInfo info;
    std::memset(&info, 0, sizeof(info));
    const bool described = opened && Succeeded(decoders.GetFileInfo(&info));
    auto number = [&](const char* key, uint32_t value) {
        out += ",\"";
        out += key;
        out += "\":";
        out += described ? std::to_string(value) : std::string("null");
    };
    auto text = [&](const char* key, const char16_t(&field)[kDecoderInfoTextLength]) {
        out += ",\"";
        out += key;
        out += "\":";
        if (described) {
            AppendJsonString(out, field);
        } else {
            out += "null";
        }
    };
    number("durationMs", info.durationMs);
    number("bitrate", info.bitrate);
    number("channels", info.channels);
    number("samplesPerSec", info.samplesPerSec);
    text("title", info.title);
    text("artist", info.artist);
    text("album", info.album);

    uint64_t samples = 0;
    if (opened) {
        uint32_t emptyRun = 0;
        while (samples < kProbeLength) {
            const float* chunk = nullptr;
            uint32_t count = 0;
            if (Failed(decoders.ReadSamples(&chunk, &count))) {
                break;
            }
            if (count == 0 && ++emptyRun >= kMaxEmptyChunks) {
                break;
            }
            if (count != 0) {
                emptyRun = 0;
            }
            samples += count;
        }
        decoders.CloseFile();
    }
    if (samples > kProbeLength) {
        samples = kProbeLength;
    }
    out += ",\"samples\":" + std::to_string(samples);

    out += ",\"grip\":";
    if (!opened) {
        out += "null,\"gripError\":\"no plug-in opens the file\"";
    } else if (Failed(analyzer.Extract(path.c_str()))) {
        out += "null,\"gripError\":";
        out += samples < kMinimumLength ? "\"fewer than 15 s of audio\""
                                        : "\"fewer than 15 s of audio after the lead-in\"";
    } else {
        const Grip& grip = analyzer.grip();
        out += "{\"nameKey\":";
        AppendJsonString(out, BytesToU16(grip.nameKey));
        out += ",\"title\":";
        AppendJsonString(out, BytesToU16(grip.title));
        out += ",\"artist\":";
        AppendJsonString(out, BytesToU16(grip.artist));
        out += ",\"album\":";
        AppendJsonString(out, BytesToU16(grip.album));
        AppendLeading(out, "envelope", grip.envelope);
        AppendLeading(out, "drift", grip.drift);
        AppendLeading(out, "spectrum", grip.spectrum);
        out += "}";
    }
    out += "}\n";
    return out;
}

int RunProbe(int argc, char** argv) {
    int first = 1;
    for (; first < argc; ++first) {
        const char* arg = argv[first];
        if (std::strcmp(arg, "--help") == 0 || std::strcmp(arg, "-h") == 0) {
            std::fputs(kUsage, stdout);
            return 0;
        }
        if (std::strcmp(arg, "--") == 0) {
            ++first;
            break;
        }
        if (arg[0] == '-' && arg[1] != 0) {
            std::fprintf(stderr, "harmonyfox-cli probe: unknown option '%s'\n\n%s", arg, kUsage);
            return 2;
        }
        break;
    }
    if (first >= argc) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    Analyzer analyzer;
    for (int i = first; i < argc; ++i) {
        const std::string line = Probe(analyzer, argv[i]);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
    }
    return 0;
}

const CommandRegistration kProbe("probe", "decode files and print what the program sees of them",
                                 RunProbe);

}  // namespace
