// The text keys on any bytes: the tag and file-name keys that the tag
// comparison matches, and the path conversion beneath them. A key has no
// blank at either end, no zero byte and no capital ASCII letter; a file name
// survives its way to UTF-16 and back byte for byte.
#include <cstdlib>
#include <cstring>
#include <string>

#include "analyzer.h"
#include "decoder_contract.h"

namespace {

void CheckKey(const std::string& key) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (!key.empty() && (blank(key.front()) || blank(key.back()))) {
        std::abort();
    }
    for (char c : key) {
        if (c == 0 || (c >= 'A' && c <= 'Z')) {
            std::abort();
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto* first = reinterpret_cast<const char*>(data);
    std::string key;
    Analyzer::NormalizeKey(key, first, first + size);
    CheckKey(key);

    const std::string bytes(first, size);
    const std::u16string path = BytesToU16(bytes);
    if (U16ToBytes(path) != bytes) {
        std::abort();
    }
    CheckKey(Analyzer::NameKey(path));

    // The same bytes as UTF-16 code units, as a plug-in might hand them over.
    std::u16string units(size / sizeof(char16_t), u'\0');
    std::memcpy(units.data(), data, units.size() * sizeof(char16_t));
    CheckKey(Analyzer::NameKey(units));
    return 0;
}
