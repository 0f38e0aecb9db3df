#include "PortNames.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <optional>
#include <set>
#include <sstream>
#include <tuple>

namespace fs = std::filesystem;

namespace {

// Families of serial devices in the order the COM names take them.
constexpr std::array<std::string_view, 3> kFamilies = {"ttyUSB", "ttyACM", "ttyS"};

struct DeviceName {
    std::size_t family; // index into kFamilies
    unsigned number;    // ttyUSB10 sorts after ttyUSB2
    std::string name;
};

std::optional<DeviceName> ParseDeviceName(const std::string& name) {
    for (std::size_t f = 0; f < kFamilies.size(); ++f) {
        const std::string_view prefix = kFamilies[f];
        if (!name.starts_with(prefix) || name.size() == prefix.size())
            continue;
        unsigned number = 0;
        const char* first = name.data() + prefix.size();
        const char* last = name.data() + name.size();
        const auto [end, ec] = std::from_chars(first, last, number);
        if (ec == std::errc() && end == last)
            return DeviceName{f, number, name};
    }
    return std::nullopt;
}

std::string ReadFirstLine(const fs::path& file) {
    std::ifstream in(file);
    std::string line;
    std::getline(in, line);
    return line;
}

// The ttys the kernel writes its console to, e.g. "tty0 ttyS0".
std::set<std::string> ConsoleTtys(const fs::path& sysTtyDir) {
    std::istringstream words(ReadFirstLine(sysTtyDir / "console" / "active"));
    std::set<std::string> names;
    for (std::string word; words >> word;)
        names.insert(word);
    return names;
}

// The 8250 driver registers ttyS0..ttyS31 whether or not a UART answers; sysfs gives the
// detected UART type, and 0 (PORT_UNKNOWN) means nothing is there. Reading it avoids
// opening the device just to ask.
bool UartPresent(const fs::path& ttyDir) {
    const std::string type = ReadFirstLine(ttyDir / "type");
    return !type.empty() && type != "0";
}

// 1 … 4 for "COM1:" … "COM4:" (colon optional), 0 for anything else.
int PortNumber(std::string_view portName) {
    if (portName.ends_with(':'))
        portName.remove_suffix(1);
    if (portName.size() != 4 || !portName.starts_with("COM") || portName[3] < '1' ||
        portName[3] > '4')
        return 0;
    return portName[3] - '0';
}

} // namespace

std::vector<std::string> ListSerialDevices(const fs::path& devDir, const fs::path& sysTtyDir) {
    const std::set<std::string> console = ConsoleTtys(sysTtyDir);
    std::vector<DeviceName> found;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(sysTtyDir, ec)) {
        const std::string name = entry.path().filename().string();
        const auto device = ParseDeviceName(name);
        if (!device || console.contains(name) || !fs::exists(devDir / name, ec))
            continue;
        if (kFamilies[device->family] == "ttyS" && !UartPresent(entry.path()))
            continue;
        found.push_back(*device);
    }
    std::ranges::sort(found, {}, [](const DeviceName& d) { return std::tie(d.family, d.number); });

    std::vector<std::string> paths;
    paths.reserve(found.size());
    for (const auto& device : found)
        paths.push_back((devDir / device.name).string());
    return paths;
}

std::string DeviceForPort(std::string_view portName) {
    const int number = PortNumber(portName);
    if (number == 0)
        return {};
    const std::string variable = "KELMORA_COM" + std::to_string(number);
    if (const char* named = std::getenv(variable.c_str()); named && *named)
        return named;
    const std::vector<std::string> devices = ListSerialDevices();
    return static_cast<std::size_t>(number) <= devices.size() ? devices[number - 1] : std::string();
}
