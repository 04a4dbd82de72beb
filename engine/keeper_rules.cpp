#include "keeper_rules.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <limits>
#include <utility>

namespace {

// MP3 stops at 320 kbit/s and the lossy formats in use stay below this; CD
// audio is 1411 kbit/s and lossless compression rarely halves it.
constexpr uint32_t kLossyBitrateCeiling = 640000;

struct RuleText {
    KeepRule rule;
    const char* name;
    const char* title;
};

constexpr std::array<RuleText, kKeepRuleCount> kRules = {{
    {KeepRule::kLossless, "lossless", "Lossless before lossy"},
    {KeepRule::kBitrate, "bitrate", "Higher bit rate"},
    {KeepRule::kDuration, "duration", "Longer duration"},
    {KeepRule::kTags, "tags", "More tags filled"},
    {KeepRule::kPreferred, "preferred", "In a preferred folder"},
    {KeepRule::kLargerFile, "size", "Larger file"},
    {KeepRule::kOlderFile, "older", "Older file"},
}};

const RuleText& Text(KeepRule rule) { return kRules[static_cast<size_t>(rule)]; }

// How well a file does under one rule: the larger merit wins. An unknown
// modification time is no time: it loses against any known one; ~ turns the
// earliest time into the largest value without overflowing.
std::pair<bool, int64_t> Merit(const FileFacts& f, KeepRule rule) {
    switch (rule) {
        case KeepRule::kLossless:
            return {true, f.lossless};
        case KeepRule::kBitrate:
            return {true, f.bitrate};
        case KeepRule::kDuration:
            return {true, f.durationMs};
        case KeepRule::kTags:
            return {true, f.tagsFilled};
        case KeepRule::kPreferred:
            return {true, f.preferred};
        case KeepRule::kLargerFile:
            return {true, static_cast<int64_t>(
                              std::min<uint64_t>(f.size, std::numeric_limits<int64_t>::max()))};
        case KeepRule::kOlderFile:
            return {f.modified != 0, ~f.modified};
    }
    return {false, 0};
}

}  // namespace

std::vector<KeepRule> DefaultKeepRules() {
    std::vector<KeepRule> rules;
    for (const RuleText& r : kRules) {
        rules.push_back(r.rule);
    }
    return rules;
}

const char* KeepRuleName(KeepRule rule) { return Text(rule).name; }
const char* KeepRuleTitle(KeepRule rule) { return Text(rule).title; }

std::optional<KeepRule> KeepRuleFromName(std::string_view name) {
    for (const RuleText& r : kRules) {
        if (name == r.name) {
            return r.rule;
        }
    }
    return std::nullopt;
}

std::optional<std::vector<KeepRule>> ParseKeepRules(std::string_view text) {
    std::vector<KeepRule> rules;
    while (!text.empty()) {
        const size_t comma = text.find(',');
        const std::optional<KeepRule> rule = KeepRuleFromName(text.substr(0, comma));
        if (!rule || std::find(rules.begin(), rules.end(), *rule) != rules.end()) {
            return std::nullopt;
        }
        rules.push_back(*rule);
        if (comma == std::string_view::npos) {
            break;
        }
        text.remove_prefix(comma + 1);
        if (text.empty()) {
            return std::nullopt;
        }
    }
    return rules;
}

std::string KeepRulesText(const std::vector<KeepRule>& rules) {
    std::string text;
    for (KeepRule rule : rules) {
        text += text.empty() ? "" : ",";
        text += KeepRuleName(rule);
    }
    return text;
}

bool IsLossless(std::u16string_view path, uint32_t bitrate) {
    const size_t slash = path.rfind(u'/');
    const size_t dot = path.rfind(u'.');
    if (dot != std::u16string_view::npos && (slash == std::u16string_view::npos || dot > slash)) {
        std::string extension;
        for (char16_t c : path.substr(dot + 1)) {
            extension += c < 0x80 ? static_cast<char>(std::tolower(c)) : '?';
        }
        for (const char* lossless : {"flac", "wav", "wave", "aif", "aiff", "ape", "wv", "tta", "tak"}) {
            if (extension == lossless) {
                return true;
            }
        }
    }
    return bitrate > kLossyBitrateCeiling;
}

int CompareForKeeping(const FileFacts& a, const FileFacts& b, const std::vector<KeepRule>& rules) {
    if (a.reference != b.reference) {
        return a.reference ? -1 : 1;
    }
    for (KeepRule rule : rules) {
        const auto meritA = Merit(a, rule);
        const auto meritB = Merit(b, rule);
        if (meritA != meritB) {
            return meritA > meritB ? -1 : 1;
        }
    }
    return 0;
}

size_t PickKeeper(const std::vector<std::u16string>& paths, const std::vector<FileFacts>& facts,
                  const std::vector<KeepRule>& rules) {
    size_t best = 0;
    for (size_t i = 1; i < paths.size() && i < facts.size(); ++i) {
        const int order = CompareForKeeping(facts[i], facts[best], rules);
        if (order < 0 || (order == 0 && paths[i] < paths[best])) {
            best = i;
        }
    }
    return best;
}
