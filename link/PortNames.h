#pragma once

#include <array>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

// The four port names the window offers; the link keeps a pointer to one of them.
inline constexpr std::array<const char*, 4> kPortNames = {"COM1:", "COM2:", "COM3:", "COM4:"};

// The serial devices of the machine, in the order the COM names take them: USB serial
// adapters first (ttyUSB, then ttyACM, each in natural order), then on-board UARTs that have
// hardware behind them. The system console is never listed.
[[nodiscard]] std::vector<std::string>
ListSerialDevices(const std::filesystem::path& devDir = "/dev",
                  const std::filesystem::path& sysTtyDir = "/sys/class/tty");

// The device a port name stands for now: $KELMORA_COMn when set, else the n-th device of
// ListSerialDevices(). Empty when there is none.
[[nodiscard]] std::string DeviceForPort(std::string_view portName);
