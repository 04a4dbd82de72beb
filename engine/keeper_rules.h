// Which copy of a group to keep: the facts the rules look at for one file,
// the rules in the user's order, and the choice they make. A file under a
// reference folder is always kept before any other. Shared by the desktop
// program and the command line. Pure functions; safe on any thread.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

enum class KeepRule : uint8_t {
    kLossless,    // a lossless format before a lossy one
    kBitrate,     // the higher bit rate
    kDuration,    // the longer duration
    kTags,        // more of title, artist and album filled
    kPreferred,   // in a preferred folder
    kLargerFile,  // the larger file
    kOlderFile,   // the older file (earlier modification time)
};
inline constexpr size_t kKeepRuleCount = 7;

// Every rule in the order the program suggests (the order of the enum).
std::vector<KeepRule> DefaultKeepRules();
// The rule's name in settings and on the command line: "lossless",
// "bitrate", "duration", "tags", "preferred", "size", "older".
const char* KeepRuleName(KeepRule rule);
// The rule's text in the window ("Lossless before lossy", ...).
const char* KeepRuleTitle(KeepRule rule);
std::optional<KeepRule> KeepRuleFromName(std::string_view name);
// "bitrate,lossless": the named rules in that order. Nothing (not even a
// part) for an unknown or repeated name; an empty text gives no rules.
std::optional<std::vector<KeepRule>> ParseKeepRules(std::string_view text);
std::string KeepRulesText(const std::vector<KeepRule>& rules);

// What the rules know of one file. Zeros stand for unknown and lose against
// any known figure.
struct FileFacts {
    bool lossless = false;
    uint32_t bitrate = 0;     // bits per second
    uint32_t durationMs = 0;
    uint32_t tagsFilled = 0;  // of title, artist, album
    bool preferred = false;   // under a preferred folder
    uint64_t size = 0;        // bytes
    int64_t modified = 0;     // seconds since 1970; 0 unknown
    bool reference = false;   // under a reference folder
};

// Whether the name's extension is one of a lossless format (FLAC, WAV, AIFF,
// APE, WavPack, TTA, TAK), or, for any other name, whether the bit rate is
// above what lossy formats use.
bool IsLossless(std::u16string_view path, uint32_t bitrate);

// Negative when a is the better copy to keep, positive when b is, 0 when the
// reference flag and every rule tie.
int CompareForKeeping(const FileFacts& a, const FileFacts& b, const std::vector<KeepRule>& rules);

// The index of the copy to keep among files (paths[i] has facts[i]): the best
// by CompareForKeeping; of copies that tie, the one whose path sorts first,
// so every front end and every scan order picks the same file. files must not
// be empty and the two vectors must be of one size.
size_t PickKeeper(const std::vector<std::u16string>& paths, const std::vector<FileFacts>& facts,
                  const std::vector<KeepRule>& rules);
