// The update server's answer parser on any body, against a few running
// versions: every body gets one of the defined outcomes.
#include <QByteArrayView>

#include <cstdlib>

#include "update_check.h"

namespace {

constexpr uint32_t kVersions[] = {0x00000000, 0x00070000, 0x00070001, 0xFFFFFFFF};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArrayView body(data, static_cast<qsizetype>(size));
    for (uint32_t version : kVersions) {
        const int outcome = ParseUpdateAnswer(body, version);
        if (outcome != kUpdateUnexpectedAnswer && outcome != kUpdateAvailable &&
            outcome != kUpdateUpToDate) {
            std::abort();
        }
    }
    return 0;
}
