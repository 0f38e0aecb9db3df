#include "ErrorLines.h"

#include <cstring>

std::string FailureLine(const LinkError& error) {
    return "Fehlernummer: " + std::to_string(static_cast<int>(error.errorNumber)) + " !";
}

namespace {

std::string HoldReason(LinkHold hold) {
    switch (hold) {
    case LinkHold::CtsOff:
        return " – CTS ist aus: Anzeige nicht bereit oder Kabel ohne CTS-Leitung.";
    case LinkHold::OutputHeld:
        return " – die Anzeige hält die Ausgabe an (XOFF).";
    case LinkHold::None:
        break;
    }
    return {};
}

} // namespace

std::string DetailLine(const LinkError& error) {
    std::string port = error.portName;
    if (port.ends_with(':'))
        port.pop_back();
    if (error.device.empty())
        return port + ": kein serielles Gerät gefunden.";
    const std::string where = port.empty() ? error.device : port + " = " + error.device;
    return where + ": " + std::strerror(static_cast<int>(error.errorNumber)) +
           HoldReason(error.hold);
}
