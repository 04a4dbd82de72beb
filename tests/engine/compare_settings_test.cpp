#include "compare_settings.h"

#include <gtest/gtest.h>

namespace {

TEST(CompareSettingsTest, StoredValues) {
    EXPECT_EQ(g_compareMethod.load(), 3);
    EXPECT_FALSE(g_accurate.load());
    EXPECT_EQ(g_sensitivity.load(), 0.75f);

    const struct {
        uint32_t stored;
        int32_t method;
    } methods[] = {{0, 3}, {1, 1}, {2, 2}, {3, 3}, {4, 3}, {7, 3}, {0xFFFFFFFFu, 3}};
    for (const auto& m : methods) {
        EXPECT_EQ(CompareMethodFromStored(m.stored), m.method) << m.stored;
    }
    // Every trackbar position survives the round trip through hundredths.
    for (uint32_t h = 0; h <= 100; ++h) {
        EXPECT_EQ(SensitivityToStored(SensitivityFromStored(h)), h);
    }
    EXPECT_EQ(SensitivityFromStored(kDefaultSensitivityHundredths), 0.75f);
    EXPECT_EQ(SensitivityToStored(0.604f), 60u);
    EXPECT_EQ(SensitivityToStored(0.605f), 61u);
}

}  // namespace
