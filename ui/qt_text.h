// A UTF-16 text of the engine as a QString, code unit for code unit.
// QString::fromStdU16String reads a leading U+FEFF or U+FFFE as a byte-order
// mark (dropping it, or swapping every unit after it), which would turn a
// name into another.
#pragma once

#include <QString>

#include <string_view>

inline QString ToQString(std::u16string_view text) {
    return QString(reinterpret_cast<const QChar*>(text.data()), static_cast<qsizetype>(text.size()));
}
