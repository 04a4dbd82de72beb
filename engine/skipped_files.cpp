#include "skipped_files.h"

namespace {

struct ReasonNames {
    std::string_view name;
    std::string_view text;
};

constexpr ReasonNames kNames[kSkipReasonCount] = {
    {"unsupported", "no plug-in reads it"},      {"damaged", "damaged"},
    {"too-short", "shorter than 15 s of music"}, {"unreadable", "unreadable"},
    {"not-regular", "not a regular file"},       {"silent", "no music in its first two minutes"},
};

const ReasonNames& NamesOf(SkipReason reason) {
    const int index = static_cast<int>(reason) - 1;
    return kNames[index >= 0 && index < kSkipReasonCount ? index : 0];
}

}  // namespace

std::string_view SkipReasonName(SkipReason reason) {
    return NamesOf(reason).name;
}

std::string_view SkipReasonText(SkipReason reason) {
    return NamesOf(reason).text;
}

bool SkipReasonFromByte(uint8_t value, SkipReason* reason) {
    if (value < 1 || value > kSkipReasonCount) {
        return false;
    }
    *reason = static_cast<SkipReason>(value);
    return true;
}

std::array<int32_t, kSkipReasonCount> CountByReason(const std::vector<SkippedFile>& files) {
    std::array<int32_t, kSkipReasonCount> counts{};
    for (const SkippedFile& file : files) {
        ++counts[static_cast<size_t>(static_cast<int>(file.reason) - 1)];
    }
    return counts;
}
