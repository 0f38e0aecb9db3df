#pragma once

#include <LinkError.h>

#include <string>

// The two lines standard error shows for a failure of the link: the window's message and the
// same detail its box shows beneath it.

// "Fehlernummer: 2 !"
[[nodiscard]] std::string FailureLine(const LinkError& error);

// "COM1 = /dev/ttyUSB0: No such file or directory", with what held the line when the link could
// tell. Without a port name (a device given by path) the line starts with the device.
[[nodiscard]] std::string DetailLine(const LinkError& error);
