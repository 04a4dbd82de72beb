#include "json_text.h"

#include <cstdio>

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
