// The "Folders" setting's parser on any text, taken as UTF-8 or, when the
// first byte is odd, as raw UTF-16 code units (lone surrogates included).
// Writing the parsed list and parsing it again must give the same list.
#include <QString>

#include <cstdlib>

#include "settings_store.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) {
        return 0;
    }
    const auto* rest = reinterpret_cast<const char*>(data + 1);
    const QString text = (data[0] & 1) != 0
                             ? QString(reinterpret_cast<const QChar*>(rest),
                                       static_cast<qsizetype>((size - 1) / sizeof(QChar)))
                             : QString::fromUtf8(rest, static_cast<qsizetype>(size - 1));
    const std::vector<std::u16string> folders = ParseFolders(text);
    for (const std::u16string& folder : folders) {
        if (folder.empty()) {
            std::abort();
        }
    }
    if (ParseFolders(FormatFolders(folders)) != folders) {
        std::abort();
    }
    return 0;
}
