#include "PanelCommands.h"

#include <gtest/gtest.h>

#include <climits>

namespace {

TEST(PanelCommands, UnknownLedOrModeGivesNothingToSend) {
    EXPECT_EQ(LedCommand(-1, LedMode::On), "");
    EXPECT_EQ(LedCommand(3, LedMode::On), "");
    EXPECT_EQ(LedCommand(INT_MIN, LedMode::Off), "");
    EXPECT_EQ(LedCommand(0, static_cast<LedMode>(7)), "");
}

} // namespace
