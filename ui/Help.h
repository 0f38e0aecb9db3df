#pragma once

#include <functional>

// What the window asks of the help: only its contents page.
inline constexpr unsigned HELP_CONTENTS = 3;

using HelpRequest = std::function<void(unsigned nCommand)>;

// Opens the program's help page with the desktop's browser; does nothing if none can.
void OpenHelp(unsigned nCommand);
