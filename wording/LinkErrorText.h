#pragma once

#include "LinkError.h"

#include <string>
#include <string_view>

// How the operator is told about a failure of the link: the window's error box and the command
// line show the same two lines, in German (UTF-8); only an error the help page does not list
// gets the system's own text, which follows the locale.

// "Fehlernummer: 16 !"
[[nodiscard]] std::string FailureText(const LinkError& error);

// How the operator opens the port again after a disconnection: by its button in the window, or
// by the next run of the command line.
enum class ReopenBy { PortButton, NextRun };

// The line below it: the port, the device it stood for and the system's text for the error
// ("COM1 = /dev/ttyUSB0: Gerät belegt"), then, where the link could tell, what held
// the line or what the operator can do about it. Without a port name (a device given by its
// path) the line starts with the device.
[[nodiscard]] std::string DetailText(const LinkError& error,
                                     ReopenBy reopen = ReopenBy::PortButton);

// The warning for a client key that others than its owner may read (it is used all the same):
// "Warnung: die Schlüsseldatei /home/…/bench.key ist auch für andere zugänglich; …".
[[nodiscard]] std::string KeyOpenToOthersText(const std::string& keyFile);

// What is wrong with the options after the '?' of a secured port's name ("unbekannte Angabe
// „speed=9600“ – …"); empty when nothing is.
[[nodiscard]] std::string TlsOptionsReason(std::string_view options);
