// Files that a scan found but could not fingerprint, and why. The scan driver
// records one SkippedFile per such file with its owner (ScanOwner); the front
// ends count and list them. Plain values; safe on any thread.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Why a file yields no fingerprint. The values are kept in the skip memory
// file beside the cache: never renumber them.
enum class SkipReason : uint8_t {
    kUnsupported = 1,  // no decoder plug-in takes the file
    kDamaged = 2,      // a plug-in took it, then the decoding failed
    kTooShort = 3,     // fewer than 15 s of music after the lead-in
    kUnreadable = 4,   // the file cannot be opened for reading (gone, no access, dangling link)
    kNotRegular = 5,   // a FIFO, device or socket
    kSilent = 6,       // no music where it is looked for: silence, a constant, faint noise
};
inline constexpr int kSkipReasonCount = 6;

// The reason's name in the command line's output: "unsupported", "damaged",
// "too-short", "unreadable", "not-regular", "silent".
std::string_view SkipReasonName(SkipReason reason);
// The reason as the window shows it ("no plug-in reads it", ...).
std::string_view SkipReasonText(SkipReason reason);
// A value read from a file: true and *reason for 1..6, false otherwise.
bool SkipReasonFromByte(uint8_t value, SkipReason* reason);

struct SkippedFile {
    std::u16string path;
    SkipReason reason = SkipReason::kUnsupported;
};

// How many of files were skipped for each reason; index reason - 1.
std::array<int32_t, kSkipReasonCount> CountByReason(const std::vector<SkippedFile>& files);
