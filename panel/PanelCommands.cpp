#include "PanelCommands.h"

namespace {

constexpr char kCommandStart = '~';
constexpr int kLedCount = 3;

// Written out per mode, so neither the enum's order nor the window's button order (AN, AUS,
// BLINK) can leak into the digit the panel reads.
constexpr char ModeDigit(LedMode mode) {
    switch (mode) {
    case LedMode::Off:
        return '0';
    case LedMode::On:
        return '1';
    case LedMode::Blink:
        return '2';
    }
    return '\0';
}

} // namespace

std::string ClearCommand() {
    return {kCommandStart, 'C'};
}

std::string LedCommand(int nLed, LedMode mode) {
    const char modeDigit = ModeDigit(mode);
    if (nLed < 0 || nLed >= kLedCount || modeDigit == '\0')
        return {};
    return {kCommandStart, 'L', static_cast<char>('0' + nLed), modeDigit};
}
