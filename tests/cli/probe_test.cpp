// harmonyfox-cli probe, run as the user runs it: one JSON object per line,
// read back with a small JSON reader of the test's own.
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "decoder_contract.h"
#include "test_files.h"

namespace fs = std::filesystem;

namespace {

// A parsed JSON value. Strings are kept as UTF-16 so that escaped lone
// surrogates survive.
struct Json {
    enum Kind { kNull, kBool, kNumber, kString, kArray, kObject } kind = kNull;
    bool boolean = false;
    double number = 0;
    std::u16string text;
    std::vector<Json> items;
    std::map<std::string, Json> members;

    const Json& operator[](const std::string& key) const {
        static const Json missing{};
        auto it = members.find(key);
        return it == members.end() ? missing : it->second;
    }
    bool Has(const std::string& key) const { return members.count(key) != 0; }
};

// A strict reader: anything that is not JSON makes ok false.
class JsonReader {
  public:
    explicit JsonReader(const std::string& text) : m_s(text) {}

    bool Parse(Json& out) {
        Value(out);
        Blank();
        return m_ok && m_pos == m_s.size();
    }

  private:
    void Blank() {
        while (m_pos < m_s.size() && (m_s[m_pos] == ' ' || m_s[m_pos] == '\n')) {
            ++m_pos;
        }
    }
    bool Take(char c) {
        Blank();
        if (m_pos < m_s.size() && m_s[m_pos] == c) {
            ++m_pos;
            return true;
        }
        return false;
    }
    void Value(Json& v) {
        Blank();
        if (m_pos >= m_s.size()) {
            m_ok = false;
            return;
        }
        const char c = m_s[m_pos];
        if (c == '{') {
            ++m_pos;
            v.kind = Json::kObject;
            if (Take('}')) {
                return;
            }
            do {
                Json key;
                Blank();
                String(key);
                if (!Take(':')) {
                    m_ok = false;
                    return;
                }
                Value(v.members[U16ToBytes(key.text)]);
            } while (m_ok && Take(','));
            m_ok = m_ok && Take('}');
        } else if (c == '[') {
            ++m_pos;
            v.kind = Json::kArray;
            if (Take(']')) {
                return;
            }
            do {
                v.items.emplace_back();
                Value(v.items.back());
            } while (m_ok && Take(','));
            m_ok = m_ok && Take(']');
        } else if (c == '"') {
            String(v);
        } else if (m_s.compare(m_pos, 4, "null") == 0) {
            m_pos += 4;
        } else if (m_s.compare(m_pos, 4, "true") == 0 || m_s.compare(m_pos, 5, "false") == 0) {
            v.kind = Json::kBool;
            v.boolean = c == 't';
            m_pos += v.boolean ? 4 : 5;
        } else {
            size_t used = 0;
            try {
                v.number = std::stod(m_s.substr(m_pos, 40), &used);
            } catch (...) {
                used = 0;
            }
            m_ok = used > 0;
            v.kind = Json::kNumber;
            m_pos += used;
        }
    }
    void String(Json& v) {
        v.kind = Json::kString;
        if (m_pos >= m_s.size() || m_s[m_pos] != '"') {
            m_ok = false;
            return;
        }
        ++m_pos;
        std::string run;
        auto flush = [&] {
            v.text += BytesToU16(run);
            run.clear();
        };
        while (m_pos < m_s.size() && m_s[m_pos] != '"') {
            const unsigned char c = static_cast<unsigned char>(m_s[m_pos]);
            if (c < 0x20) {
                m_ok = false;  // control characters must be escaped
                return;
            }
            if (c != '\\') {
                run.push_back(static_cast<char>(c));
                ++m_pos;
                continue;
            }
            flush();
            const char e = m_pos + 1 < m_s.size() ? m_s[m_pos + 1] : 0;
            m_pos += 2;
            switch (e) {
                case '"':
                    v.text.push_back(u'"');
                    break;
                case '\\':
                    v.text.push_back(u'\\');
                    break;
                case '/':
                    v.text.push_back(u'/');
                    break;
                case 'n':
                    v.text.push_back(u'\n');
                    break;
                case 'r':
                    v.text.push_back(u'\r');
                    break;
                case 't':
                    v.text.push_back(u'\t');
                    break;
                case 'b':
                    v.text.push_back(u'\b');
                    break;
                case 'f':
                    v.text.push_back(u'\f');
                    break;
                case 'u':
                    if (m_pos + 4 > m_s.size()) {
                        m_ok = false;
                        return;
                    }
                    v.text.push_back(
                        static_cast<char16_t>(std::stoul(m_s.substr(m_pos, 4), nullptr, 16)));
                    m_pos += 4;
                    break;
                default:
                    m_ok = false;
                    return;
            }
        }
        flush();
        if (m_pos >= m_s.size()) {
            m_ok = false;
            return;
        }
        ++m_pos;
    }

    const std::string& m_s;
    size_t m_pos = 0;
    bool m_ok = true;
};

std::string Quote(const std::string& s) {
    std::string out = "'";
    for (char c : s) {
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    }
    return out + "'";
}

struct CliRun {
    int exitCode = -1;
    std::vector<std::string> lines;
};

CliRun Cli(const std::string& arguments) {
    const std::string command =
        std::string(HF_BIN_DIR) + "/harmonyfox-cli " + arguments + " 2>/dev/null";
    CliRun run;
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) {
        return run;
    }
    std::string all;
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof(buffer), pipe)) > 0) {
        all.append(buffer, n);
    }
    const int status = pclose(pipe);
    run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    size_t start = 0;
    while (start < all.size()) {
        const size_t end = all.find('\n', start);
        run.lines.push_back(
            all.substr(start, end == std::string::npos ? std::string::npos : end - start));
        start = end == std::string::npos ? all.size() : end + 1;
    }
    return run;
}

Json ParseLine(const std::string& line) {
    Json value;
    EXPECT_TRUE(JsonReader(line).Parse(value)) << line;
    return value;
}

bool Encode(const std::string& arguments) {
    const std::string command = "ffmpeg -nostdin -loglevel error -y " + arguments;
    return std::system(command.c_str()) == 0;
}

TEST(ProbeTest, DescribesATaggedFileAndRefusesAText) {
    TempDir dir;
    // 20 s of music-like sound, tagged with text that needs escaping.
    const std::string wav = dir.File("source.wav");
    {
        const std::vector<int16_t> pcm = ToPcm16(MusicLike(20 * 22050, 3));
        std::ofstream out(wav, std::ios::binary);
        auto u32 = [&out](uint32_t v) { out.write(reinterpret_cast<const char*>(&v), 4); };
        auto u16 = [&out](uint16_t v) { out.write(reinterpret_cast<const char*>(&v), 2); };
        out << "RIFF";
        u32(static_cast<uint32_t>(36 + pcm.size() * 2));
        out << "WAVEfmt ";
        u32(16), u16(1), u16(1), u32(22050), u32(44100), u16(2), u16(16);
        out << "data";
        u32(static_cast<uint32_t>(pcm.size() * 2));
        out.write(reinterpret_cast<const char*>(pcm.data()),
                  static_cast<std::streamsize>(pcm.size() * 2));
    }
    const std::string title = "Say \"Hi\" \\ Caf\xC3\xA9 \xF0\x9F\x8E\xB5";
    const std::string mp3 = dir.File("Tagged Song.mp3");
    ASSERT_TRUE(
        Encode("-i " + Quote(wav) + " -metadata title=" + Quote(title) +
               " -metadata artist=Ensemble -metadata album='Live Set' -c:a libmp3lame -b:a 128k " +
               Quote(mp3)));
    const std::string text = dir.File("notes.txt");
    std::ofstream(text) << "no audio here\n";
    const std::string shortWav = dir.File("short.wav");
    ASSERT_TRUE(Encode("-i " + Quote(wav) + " -t 5 " + Quote(shortWav)));

    // A file that no plug-in opens still gets its line but fails the run.
    const CliRun run = Cli("probe " + Quote(mp3) + " " + Quote(text) + " " + Quote(shortWav));
    EXPECT_EQ(run.exitCode, 3);
    EXPECT_EQ(Cli("probe " + Quote(mp3) + " " + Quote(shortWav)).exitCode, 0);
    ASSERT_EQ(run.lines.size(), 3u);

    const Json tagged = ParseLine(run.lines[0]);
    EXPECT_EQ(tagged["path"].text, U16(mp3));
    EXPECT_EQ(tagged["plugin"].text, u"mediadec");
    EXPECT_NEAR(tagged["durationMs"].number, 20000, 200);
    EXPECT_NEAR(tagged["bitrate"].number, 128000, 1280);
    EXPECT_EQ(tagged["channels"].kind, Json::kNumber);
    EXPECT_EQ(tagged["samplesPerSec"].kind, Json::kNumber);
    EXPECT_EQ(tagged["title"].text, U16(title));
    EXPECT_EQ(tagged["artist"].text, u"Ensemble");
    EXPECT_EQ(tagged["album"].text, u"Live Set");
    EXPECT_NEAR(tagged["samples"].number, 20 * 22050, 22050 * 0.2);
    const Json& grip = tagged["grip"];
    ASSERT_EQ(grip.kind, Json::kObject) << run.lines[0];
    EXPECT_FALSE(tagged.Has("gripError"));
    EXPECT_EQ(grip["nameKey"].text, u"tagged song");
    EXPECT_EQ(grip["title"].text, U16("say \"hi\" \\ caf\xC3\xA9 \xF0\x9F\x8E\xB5"));
    EXPECT_EQ(grip["artist"].text, u"ensemble");
    EXPECT_EQ(grip["album"].text, u"live set");
    for (const char* key : {"envelope", "drift", "spectrum"}) {
        SCOPED_TRACE(key);
        ASSERT_EQ(grip[key].kind, Json::kArray);
        ASSERT_EQ(grip[key].items.size(), 8u);
        for (const Json& v : grip[key].items) {
            EXPECT_EQ(v.kind, Json::kNumber);
        }
    }
    EXPECT_GT(grip["spectrum"].items[5].number, 0.0);

    const Json refused = ParseLine(run.lines[1]);
    EXPECT_EQ(refused["path"].text, U16(text));
    EXPECT_TRUE(refused.Has("plugin"));
    EXPECT_EQ(refused["plugin"].kind, Json::kNull);
    EXPECT_EQ(refused["samples"].number, 0);
    EXPECT_EQ(refused["grip"].kind, Json::kNull);
    EXPECT_EQ(refused["gripError"].kind, Json::kString);

    const Json tooShort = ParseLine(run.lines[2]);
    EXPECT_EQ(tooShort["plugin"].kind, Json::kString);
    EXPECT_NEAR(tooShort["samples"].number, 5 * 22050, 22050 * 0.05);
    EXPECT_EQ(tooShort["grip"].kind, Json::kNull);
    EXPECT_EQ(tooShort["gripError"].text, u"fewer than 15 s of audio");
}

// Names that are not UTF-8 or hold JSON's special characters come back as
// they were given.
TEST(ProbeTest, OddPathsAreEscaped) {
    TempDir dir;
    const std::string odd = dir.File("a\"b\\c\td\x01\xFF.mp3");
    std::ofstream(odd) << "x";
    const CliRun run = Cli("probe -- " + Quote(odd));
    EXPECT_EQ(run.exitCode, 3);
    ASSERT_EQ(run.lines.size(), 1u);
    const Json value = ParseLine(run.lines[0]);
    EXPECT_EQ(value["path"].text, BytesToU16(odd));
    EXPECT_EQ(U16ToBytes(value["path"].text), odd);
}

TEST(ProbeTest, UsageAndExitCodes) {
    struct Case {
        const char* arguments;
        int exitCode;
        bool printsUsage;
    };
    const Case cases[] = {
        {"probe", 2, false},
        {"probe --bogus", 2, false},
        {"probe --help", 0, true},
        {"probe --", 2, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.arguments);
        const CliRun run = Cli(c.arguments);
        EXPECT_EQ(run.exitCode, c.exitCode);
        EXPECT_EQ(!run.lines.empty() && run.lines[0].rfind("usage: harmonyfox-cli probe", 0) == 0,
                  c.printsUsage);
    }

    // A path that is no readable file fails the run with 1 (over the 3 of the
    // undecodable text) and prints no line; the other files are still probed.
    TempDir dir;
    const std::string text = dir.File("notes.txt");
    std::ofstream(text) << "no audio here\n";
    const std::string locked = dir.File("locked.mp3");
    std::ofstream(locked) << "x";
    fs::permissions(locked, fs::perms::none);
    std::vector<std::string> bad = {dir.File("missing.mp3"), dir.path()};
    if (geteuid() != 0) {  // permissions do not hold back the superuser
        bad.push_back(locked);
    }
    for (const std::string& path : bad) {
        SCOPED_TRACE(path);
        const CliRun run = Cli("probe " + Quote(path) + " " + Quote(text));
        EXPECT_EQ(run.exitCode, 1);
        ASSERT_EQ(run.lines.size(), 1u);
        EXPECT_EQ(ParseLine(run.lines[0])["path"].text, U16(text));
    }
}

}  // namespace
