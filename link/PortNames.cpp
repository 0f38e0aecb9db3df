#include "PortNames.h"

#include "PortName.h"

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

// Where a USB tty sits: the USB device (it carries idVendor and, on most adapters, the serial
// number) and the interface below it ("1-1:1.0"); one adapter may have several interfaces, each
// a port of its own. None for a tty that is not on USB.
struct UsbPlace {
    fs::path device;
    std::string interface;
};

std::optional<UsbPlace> FindUsbPlace(const fs::path& ttyDir) {
    std::error_code ec;
    const fs::path device = fs::canonical(ttyDir / "device", ec);
    if (ec)
        return std::nullopt;
    for (fs::path dir = device, below; dir.has_relative_path();
         below = dir, dir = dir.parent_path()) {
        if (fs::exists(dir / "idVendor", ec))
            return UsbPlace{dir, (below.empty() ? dir : below).filename().string()};
    }
    return std::nullopt;
}

// The tty's identity and place for the COM names (see SerialDevice).
SerialDevice Describe(const fs::path& ttyDir, const fs::path& node) {
    const auto usb = FindUsbPlace(ttyDir);
    if (!usb)
        return {node.string(), node.string(), node.string()};
    const std::string serial = ReadFirstLine(usb->device / "serial");
    const auto colon = usb->interface.find(':');
    const bool bySerial = !serial.empty() && colon != std::string::npos;
    std::string identity = bySerial ? serial + usb->interface.substr(colon) : usb->interface;
    std::ranges::replace(identity, ' ', '_');
    return {node.string(), identity, usb->interface};
}

// $KELMORA_COMn, empty when unset.
std::string NamedDevice(std::size_t index) {
    const std::string variable = "KELMORA_COM" + std::to_string(index + 1);
    const char* named = std::getenv(variable.c_str());
    return named ? named : "";
}

bool SameNode(const std::string& a, const std::string& b) {
    if (IsRemoteName(a) || IsRemoteName(b))
        return false;
    std::error_code ecA;
    std::error_code ecB;
    const fs::path canonicalA = fs::weakly_canonical(a, ecA);
    const fs::path canonicalB = fs::weakly_canonical(b, ecB);
    return !ecA && !ecB && canonicalA == canonicalB;
}

} // namespace

std::vector<SerialDevice> ListSerialDevices(const fs::path& devDir, const fs::path& sysTtyDir) {
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

    std::vector<SerialDevice> devices;
    devices.reserve(found.size());
    for (const auto& device : found)
        devices.push_back(Describe(sysTtyDir / device.name, devDir / device.name));
    return devices;
}

CPortNames::CPortNames(fs::path devDir, fs::path sysTtyDir)
    : m_devDir(std::move(devDir))
    , m_sysTtyDir(std::move(sysTtyDir)) {}

PortBinding CPortNames::Resolve(std::string_view portName) {
    const auto number = PortIndex(portName);
    if (!number)
        return {};
    const std::size_t index = *number;
    if (std::string named = NamedDevice(index); !named.empty())
        return {std::move(named), "", false};

    const std::vector<SerialDevice> present = ListSerialDevices(m_devDir, m_sysTtyDir);
    BindNewDevices(present);
    std::optional<SerialDevice>& bound = m_bound[index];
    if (!bound)
        return {};
    const SerialDevice* found = Find(present, *bound);
    if (!found)
        return {bound->path, bound->identity, true};
    *bound = *found; // it may have come back under another node, or in another socket
    return {bound->path, bound->identity, false};
}

// The present device a bound name stands for: the one with its identity. Cloned adapters may
// share a serial number; where several of them are present or bound, only the one in its
// socket counts.
const SerialDevice* CPortNames::Find(const std::vector<SerialDevice>& present,
                                     const SerialDevice& bound) const {
    const auto sameIdentity = [&](const SerialDevice& d) {
        return d.identity == bound.identity;
    };
    const bool alone =
        std::ranges::count_if(present, sameIdentity) == 1 &&
        std::ranges::count_if(m_bound, [&](const auto& b) { return b && sameIdentity(*b); }) == 1;
    const auto found = std::ranges::find_if(present, [&](const SerialDevice& d) {
        return sameIdentity(d) && (alone || d.place == bound.place);
    });
    return found == present.end() ? nullptr : &*found;
}

// A device takes a name when no name is bound to it yet and no $KELMORA_COMn names its node.
void CPortNames::BindNewDevices(const std::vector<SerialDevice>& present) {
    std::array<std::string, kPortNames.size()> named;
    for (std::size_t i = 0; i < named.size(); ++i)
        named[i] = NamedDevice(i);
    auto freeName = m_bound.begin();
    for (const SerialDevice& device : present) {
        const bool taken = std::ranges::any_of(
            m_bound, [&](const auto& bound) { return bound && Find(present, *bound) == &device; });
        const bool namedOutright = std::ranges::any_of(named, [&](const std::string& node) {
            return !node.empty() && SameNode(node, device.path);
        });
        if (taken || namedOutright)
            continue;
        while (freeName != m_bound.end() &&
               (freeName->has_value() ||
                !named[static_cast<std::size_t>(freeName - m_bound.begin())].empty()))
            ++freeName;
        if (freeName == m_bound.end())
            return;
        *freeName = device;
    }
}

bool CPortNames::OnUsb(const std::string& device) const {
    std::error_code ec;
    const fs::path node = fs::weakly_canonical(device, ec);
    return !ec && FindUsbPlace(m_sysTtyDir / node.filename()).has_value();
}
