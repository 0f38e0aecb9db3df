#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The four port names the window offers; the link keeps a pointer to one of them.
inline constexpr std::array<const char*, 4> kPortNames = {"COM1:", "COM2:", "COM3:", "COM4:"};

// A serial device present now, and what stays the same when it is unplugged and comes back
// under another node: a USB adapter's serial number (or, without one, its place on the bus,
// "1-1:1.0"), a UART's node. Read from sysfs alone, without udev.
struct SerialDevice {
    std::string path;     // "/dev/ttyUSB0"
    std::string identity; // "FT1ZQ3A8:1.0", "1-1:1.0", "/dev/ttyS1"; never contains a space
    std::string place;    // where it sits: "1-1:1.0" on USB, else the node
};

// The serial devices of the machine, in the order the COM names take them: USB serial
// adapters first (ttyUSB, then ttyACM, each in natural order), then on-board UARTs that have
// hardware behind them. The system console is never listed.
[[nodiscard]] std::vector<SerialDevice>
ListSerialDevices(const std::filesystem::path& devDir = "/dev",
                  const std::filesystem::path& sysTtyDir = "/sys/class/tty");

// What a port name stands for at the moment.
struct PortBinding {
    std::string device;   // the node to open; while the device is out, the node it last had
    std::string identity; // the device the name is bound to; empty for $KELMORA_COMn and none
    bool gone = false;    // bound to a device that is unplugged now
};

// The COM names of one run. $KELMORA_COMn names a device outright, or a port on another machine
// ("rfc2217://rack-3:7000"). Every other name is bound,
// the first time it stands for a device, to that device's identity and keeps it for the rest of
// the run: while the device is out the name stands for nothing else, and when it comes back
// under any node the name finds it. Devices that are new take the names still free, in the
// natural order. Nothing is kept between runs.
class CPortNames {
public:
    explicit CPortNames(std::filesystem::path devDir = "/dev",
                        std::filesystem::path sysTtyDir = "/sys/class/tty");

    // Empty device and identity for a name without a device, and for anything but "COM1:" …
    // "COM4:" (see PortIndex).
    [[nodiscard]] PortBinding Resolve(std::string_view portName);

    // Whether sysfs puts the tty node on USB (cdc_acm, or any USB serial adapter's driver);
    // false for a UART and for a pseudo-terminal.
    [[nodiscard]] bool OnUsb(const std::string& device) const;

private:
    void BindNewDevices(const std::vector<SerialDevice>& present);
    [[nodiscard]] const SerialDevice* Find(const std::vector<SerialDevice>& present,
                                           const SerialDevice& bound) const;

    std::filesystem::path m_devDir;
    std::filesystem::path m_sysTtyDir;
    std::array<std::optional<SerialDevice>, kPortNames.size()> m_bound; // node as last seen
};
