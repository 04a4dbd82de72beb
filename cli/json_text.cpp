#include "json_text.h"

#include <cstdio>
#include <cstdlib>

#include "decoder_contract.h"

namespace {

// The unit nlohmann writes as "\u0001"; it marks a carried UTF-16 unit.
constexpr char16_t kCarrier = 0x0001;
constexpr std::string_view kCarrierEscape = "\\u0001";
constexpr size_t kHexDigits = 4;

bool IsHigh(char16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool IsLow(char16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

}  // namespace

std::string JsonText(std::u16string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t run = 0;  // start of the units not yet converted
    for (size_t i = 0; i < text.size(); ++i) {
        const char16_t u = text[i];
        if (IsHigh(u) && i + 1 < text.size() && IsLow(text[i + 1])) {
            ++i;
            continue;
        }
        if (u != kCarrier && !IsHigh(u) && !IsLow(u)) {
            continue;
        }
        out += U16ToBytes(text.substr(run, i - run));
        char carried[8];
        std::snprintf(carried, sizeof(carried), "\x01%04x", static_cast<unsigned>(u));
        out += carried;
        run = i + 1;
    }
    out += U16ToBytes(text.substr(run));
    return out;
}

std::string DumpJson(const Json& value, int indent) {
    const std::string dumped = value.dump(indent);
    std::string out;
    out.reserve(dumped.size());
    for (size_t i = 0; i < dumped.size(); ++i) {
        if (dumped[i] != '\\') {
            out += dumped[i];
            continue;
        }
        // Every backslash of the dump opens an escape inside a string.
        if (dumped.compare(i, kCarrierEscape.size(), kCarrierEscape) == 0 &&
            i + kCarrierEscape.size() + kHexDigits <= dumped.size()) {
            out += "\\u";
            out += dumped.substr(i + kCarrierEscape.size(), kHexDigits);
            i += kCarrierEscape.size() + kHexDigits - 1;
            continue;
        }
        out += dumped[i];
        if (i + 1 < dumped.size()) {
            out += dumped[++i];
        }
    }
    return out;
}

namespace {

constexpr size_t kEscapeLength = 6;  // "\uXXXX"

// The value of the \uXXXX escape at text[at]; -1 when there is none.
long EscapeAt(const std::string& text, size_t at) {
    if (at + kEscapeLength > text.size() || text[at] != '\\' || text[at + 1] != 'u') {
        return -1;
    }
    char* end = nullptr;
    const std::string hex = text.substr(at + 2, kHexDigits);
    const long value = std::strtol(hex.c_str(), &end, 16);
    return end == hex.c_str() + kHexDigits ? value : -1;
}

}  // namespace

Json ParseJson(const std::string& text) {
    std::string carried;
    carried.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\\') {
            carried += text[i];
            continue;
        }
        const long unit = EscapeAt(text, i);
        if (unit < 0) {
            // Another escape: copied with the character it escapes.
            carried += text[i];
            if (i + 1 < text.size()) {
                carried += text[++i];
            }
            continue;
        }
        const auto u = static_cast<char16_t>(unit);
        if (IsHigh(u) && IsLow(static_cast<char16_t>(EscapeAt(text, i + kEscapeLength)))) {
            carried += text.substr(i, 2 * kEscapeLength);
            i += 2 * kEscapeLength - 1;
            continue;
        }
        if (u == kCarrier || IsHigh(u) || IsLow(u)) {
            carried += std::string(kCarrierEscape) + text.substr(i + 2, kHexDigits);
        } else {
            carried += text.substr(i, kEscapeLength);
        }
        i += kEscapeLength - 1;
    }
    return Json::parse(carried, nullptr, false);
}

std::u16string FromJsonText(const std::string& text) {
    const std::u16string units = BytesToU16(text);
    std::u16string out;
    out.reserve(units.size());
    for (size_t i = 0; i < units.size(); ++i) {
        if (units[i] == kCarrier && i + kHexDigits < units.size()) {
            const std::string hex = U16ToBytes(units.substr(i + 1, kHexDigits));
            char* end = nullptr;
            const long value = std::strtol(hex.c_str(), &end, 16);
            if (end == hex.c_str() + kHexDigits) {
                out += static_cast<char16_t>(value);
                i += kHexDigits;
                continue;
            }
        }
        out += units[i];
    }
    return out;
}
