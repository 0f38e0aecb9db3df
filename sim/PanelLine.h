#pragma once

#include <UniqueFd.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <system_error>

namespace sim {

struct ReadResult {
    std::size_t count = 0; // bytes read; 0 with no error: nothing there now
    std::error_code error;
};

// The panel's end of the serial line, non-blocking.
//
// On a pseudo-terminal the panel reads the master side and keeps its own descriptor of the tool's
// side open the whole time: the tool closes and reopens the line on every port or speed change,
// and with no descriptor left on that side the master would report a hangup (EIO) until the tool
// opens it again. The panel never locks the tool's side for exclusive use; it only clears the
// exclusive-use mark of a program that was killed while it held the line.
class PanelLine {
public:
    // A new pseudo-terminal pair; the tool opens Path(). The speed is only recorded there.
    [[nodiscard]] static PanelLine OpenPseudoTerminal(unsigned baud);
    // A serial device at the given speed; Path() is that device.
    [[nodiscard]] static PanelLine OpenDevice(const std::string& path, unsigned baud);

    [[nodiscard]] bool IsOpen() const { return fd_.valid(); }
    [[nodiscard]] const std::string& Error() const { return error_; } // German, for the operator
    [[nodiscard]] const std::string& Path() const { return path_; }
    [[nodiscard]] bool IsPseudoTerminal() const { return toolSide_.valid(); }
    [[nodiscard]] unsigned Baud() const { return baud_; }
    [[nodiscard]] int Fd() const { return fd_.get(); }

    [[nodiscard]] ReadResult Read(std::span<std::uint8_t> buffer) const;
    // Sends one byte to the tool (XON or XOFF).
    [[nodiscard]] std::error_code Send(std::uint8_t byte) const;
    // On a pseudo-terminal: clears the exclusive-use mark a killed program left on its side and
    // says whether there was one. Cheap enough to ask a few times a second.
    [[nodiscard]] bool ClearStaleExclusivity() const;

private:
    static PanelLine Failed(std::string error);

    UniqueFd fd_;
    UniqueFd toolSide_;
    std::string path_;
    unsigned baud_ = 0;
    std::string error_;
};

} // namespace sim
