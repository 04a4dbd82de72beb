#include "program_version.h"

#include <QCoreApplication>

uint32_t PackVersion(uint32_t major, uint32_t minor, uint32_t third, uint32_t fourth) {
    uint32_t figure = minor;
    if (fourth != 0) {
        figure = minor * 100 + third * 10 + fourth;
    } else if (third != 0) {
        figure = minor * 10 + third;
    }
    return ((major & 0xFFFFu) << 16) | (figure & 0xFFFFu);
}

uint32_t ProgramVersion() {
    return PackVersion(HARMONYFOX_VERSION_MAJOR, HARMONYFOX_VERSION_MINOR, HARMONYFOX_VERSION_PATCH,
                       HARMONYFOX_VERSION_TWEAK);
}

uint32_t ProgramBuild() {
    return HARMONYFOX_BUILD;
}

QString FormatVersionLine(uint32_t version, uint32_t build) {
    QString line = QCoreApplication::translate("ProgramVersion", "Version ") +
                   QString::number(version >> 16) + u'.' + QString::number(version & 0xFFFFu);
    if (build != 0) {
        line += QCoreApplication::translate("ProgramVersion", " (build ") + QString::number(build) +
                u')';
    }
    return line;
}
