#pragma once

#include <string>

// What an LED of the panel does; the window's buttons "AN", "AUS", "BLINK".
enum class LedMode { Off, On, Blink };

// Clears the panel's text: "~C".
[[nodiscard]] std::string ClearCommand();

// Sets one LED: "~L" + LED digit + mode digit, e.g. "~L12" for the second LED blinking.
// nLed is 0 … 2 for the LEDs the window labels "1" … "3". Empty for any other LED or an
// unknown mode, so a wrong call sends nothing rather than a command the panel misreads.
[[nodiscard]] std::string LedCommand(int nLed, LedMode mode);
