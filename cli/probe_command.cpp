// "harmonyfox-cli probe FILE...": tells for each file which plug-in decodes
// it, what the plug-in reports of it, how many samples arrive in the first
// minute and what fingerprint the program makes of it. One JSON object per
// line on standard output. It decodes through the program's own DecoderSet
// and Analyzer and has no decoding of its own.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <array>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "analyzer.h"
#include "command.h"
#include "command_line.h"
#include "decoder_contract.h"
#include "decoder_set.h"
#include "grip.h"
#include "json_text.h"

namespace {

constexpr uint32_t kProbeLength = 60 * kOneSecond;  // samples counted: the first minute
constexpr uint32_t kMaxEmptyChunks = 1024;          // a stream of empty chunks has ended
constexpr size_t kShownValues = 8;                  // leading values shown of each Grip array
constexpr int kExitNotDecoded = 3;                  // some FILE is read by no plug-in

const char kDescription[] =
    "Decodes each FILE through the program's plug-ins and prints one JSON object\n"
    "per line: path, plugin (null when none takes the file), durationMs, bitrate,\n"
    "channels, samplesPerSec, title, artist, album, samples (delivered in the first\n"
    "60 s at 22050 Hz) and grip (null, with gripError, when none can be made).";

const char kFooter[] =
    "Exit status: 0 every FILE was probed and decoded; 1 some FILE is missing, a\n"
    "folder, not a regular file or unreadable (said on standard error, no line\n"
    "printed); 2 bad arguments; 3 no plug-in opens some FILE (said on standard\n"
    "error; its line is printed with plugin null). 1 wins over 3.";

// Why path cannot be probed at all, or null when it can.
const char* FileProblem(const char* path) {
    struct stat info;
    if (stat(path, &info) != 0) {
        return errno == ENOENT || errno == ENOTDIR ? "no such file" : std::strerror(errno);
    }
    if (S_ISDIR(info.st_mode)) {
        return "is a folder, not a file";
    }
    if (!S_ISREG(info.st_mode)) {
        return "not a regular file";
    }
    const int file = open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
        return errno == EACCES ? "cannot be read: permission denied" : std::strerror(errno);
    }
    close(file);
    return nullptr;
}

std::string JsonField(const char16_t (&field)[kDecoderInfoTextLength]) {
    size_t n = 0;
    while (n < kDecoderInfoTextLength && field[n] != 0) {
        ++n;
    }
    return JsonText(std::u16string_view(field, n));
}

// The leading values of a Grip array; a value that is not finite is null.
template <size_t N>
Json Leading(const std::array<float, N>& values) {
    Json out = Json::array();
    for (size_t i = 0; i < N && i < kShownValues; ++i) {
        out.push_back(std::isfinite(values[i]) ? Json(values[i]) : Json(nullptr));
    }
    return out;
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

// One JSON line for the file at given; opened tells whether a plug-in took it.
std::string Probe(Analyzer& analyzer, const std::string& given, bool& opened) {
    const std::u16string path = BytesToU16(given);
    DecoderSet& decoders = analyzer.decoders();
    Json out;
    out["path"] = JsonText(path);

    opened = Succeeded(decoders.OpenFile(path.c_str()));
    const int plugin = opened ? decoders.CurrentPlugin() : -1;
    out["plugin"] = plugin >= 0 ? Json(PluginName(decoders.PluginPath(static_cast<size_t>(plugin))))
                                : Json(nullptr);

    DecoderInfo info;
    std::memset(&info, 0, sizeof(info));
    const bool described = opened && Succeeded(decoders.GetFileInfo(&info));
    auto number = [&](const char* key, uint32_t value) {
        out[key] = described ? Json(value) : Json(nullptr);
    };
    auto text = [&](const char* key, const char16_t(&field)[kDecoderInfoTextLength]) {
        out[key] = described ? Json(JsonField(field)) : Json(nullptr);
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
    out["samples"] = samples;

    if (!opened) {
        out["grip"] = nullptr;
        out["gripError"] = "no plug-in opens the file";
    } else if (Failed(analyzer.Extract(path.c_str()))) {
        out["grip"] = nullptr;
        out["gripError"] = samples < kMinimumLength ? "fewer than 15 s of audio"
                                                    : "fewer than 15 s of audio after the lead-in";
    } else {
        const Grip& grip = analyzer.grip();
        out["grip"] = {{"nameKey", JsonText(BytesToU16(grip.nameKey))},
                       {"title", JsonText(BytesToU16(grip.title))},
                       {"artist", JsonText(BytesToU16(grip.artist))},
                       {"album", JsonText(BytesToU16(grip.album))},
                       {"envelope", Leading(grip.envelope)},
                       {"drift", Leading(grip.drift)},
                       {"spectrum", Leading(grip.spectrum)}};
    }
    return DumpJson(out, -1) + "\n";
}

int RunProbe(int argc, char** argv) {
    CLI::App app(kDescription, "harmonyfox-cli probe");
    SetUpCommandLine(app);
    app.footer(kFooter);
    std::vector<std::string> files;
    app.add_option("FILE", files, "the files to decode")->required()->type_name("");
    if (const std::optional<int> exit = ParseCommandLine(app, argc, argv)) {
        return *exit;
    }
    Analyzer analyzer;
    bool unreadable = false;
    bool undecoded = false;
    for (const std::string& file : files) {
        if (const char* problem = FileProblem(file.c_str())) {
            std::fprintf(stderr, "harmonyfox-cli probe: %s: %s\n", file.c_str(), problem);
            unreadable = true;
            continue;
        }
        bool opened = false;
        const std::string line = Probe(analyzer, file, opened);
        std::fwrite(line.data(), 1, line.size(), stdout);
        std::fflush(stdout);
        if (!opened) {
            std::fprintf(stderr, "harmonyfox-cli probe: %s: no plug-in opens the file\n",
                         file.c_str());
            undecoded = true;
        }
    }
    return unreadable ? kExitFailure : undecoded ? kExitNotDecoded : kExitOk;
}

const CommandRegistration kProbe("probe", "decode files and print what the program sees of them",
                                 RunProbe);

}  // namespace
