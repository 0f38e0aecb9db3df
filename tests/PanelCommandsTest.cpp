#include "PanelCommands.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

TEST(PanelCommands, ClearIsTildeC) {
    EXPECT_EQ(ClearCommand(), "~C");
}

TEST(PanelCommands, LedCommandsOfTheWindowsNineButtons) {
    const struct {
        int nLed;
        LedMode mode;
        std::string_view command;
    } cases[] = {
        {0, LedMode::On, "~L01"}, {0, LedMode::Off, "~L00"}, {0, LedMode::Blink, "~L02"},
        {1, LedMode::On, "~L11"}, {1, LedMode::Off, "~L10"}, {1, LedMode::Blink, "~L12"},
        {2, LedMode::On, "~L21"}, {2, LedMode::Off, "~L20"}, {2, LedMode::Blink, "~L22"},
    };
    for (const auto& [nLed, mode, command] : cases)
        EXPECT_EQ(LedCommand(nLed, mode), command);
}

TEST(PanelCommands, UnknownLedOrModeGivesNothingToSend) {
    EXPECT_EQ(LedCommand(-1, LedMode::On), "");
    EXPECT_EQ(LedCommand(3, LedMode::On), "");
    EXPECT_EQ(LedCommand(INT_MIN, LedMode::Off), "");
    EXPECT_EQ(LedCommand(0, static_cast<LedMode>(7)), "");
}

} // namespace
