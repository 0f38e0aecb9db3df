#include "PtyPair.h"

#include <PortNames.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace fs = std::filesystem;

namespace {

// A fake /dev and /sys/class/tty: names only, nothing is opened.
class SerialDeviceScan : public ::testing::Test {
protected:
    fs::path root = fs::temp_directory_path() / ("kelmora-scan-" + std::to_string(::getpid()));
    fs::path dev = root / "dev";
    fs::path sys = root / "sys";

    void SetUp() override {
        fs::create_directories(dev);
        fs::create_directories(sys / "console");
        for (int n = 1; n <= 4; ++n)
            ::unsetenv(("KELMORA_COM" + std::to_string(n)).c_str());
    }
    void TearDown() override { fs::remove_all(root); }

    void Device(const std::string& name, const std::string& uartType = "") {
        std::ofstream(dev / name) << "";
        fs::create_directories(sys / name);
        if (!uartType.empty())
            std::ofstream(sys / name / "type") << uartType << "\n";
    }
    // A USB serial tty below interface `usbDevice`:1.0, as the kernel lays it out; `serial` empty
    // for a device without a serial number.
    void UsbDevice(const std::string& name, const std::string& usbDevice,
                   const std::string& serial) {
        const fs::path usb = root / "devices" / usbDevice;
        const fs::path tty = usb / (usbDevice + ":1.0") / name;
        fs::create_directories(tty);
        std::ofstream(usb / "idVendor") << "0403\n";
        if (!serial.empty())
            std::ofstream(usb / "serial") << serial << "\n";
        Device(name);
        fs::create_directory_symlink(tty, sys / name / "device");
    }
    void Unplug(const std::string& name) {
        fs::remove(dev / name);
        fs::remove_all(sys / name);
    }
    void Console(const std::string& active) {
        std::ofstream(sys / "console" / "active") << active << "\n";
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& device : ListSerialDevices(dev, sys))
            names.push_back(fs::path(device.path).filename().string());
        return names;
    }
};

TEST_F(SerialDeviceScan, UsbAdaptersComeFirstInNaturalOrderThenUarts) {
    Device("ttyS1", "4");
    Device("ttyUSB10");
    Device("ttyACM0");
    Device("ttyUSB2");
    Device("ttyS0", "4");
    EXPECT_EQ(Names(),
              (std::vector<std::string>{"ttyUSB2", "ttyUSB10", "ttyACM0", "ttyS0", "ttyS1"}));
}

TEST_F(SerialDeviceScan, ConsoleAndUartsWithoutHardwareAreLeftOut) {
    Device("ttyS0", "4"); // the kernel console
    Device("ttyS1", "0"); // registered, but no UART answered
    Device("ttyS2");      // no type at all
    Device("ttyS3", "4");
    Device("ttyUSB0");
    Console("tty0 ttyS0");
    EXPECT_EQ(Names(), (std::vector<std::string>{"ttyUSB0", "ttyS3"}));
}

TEST_F(SerialDeviceScan, OnlyDevicesWithANodeAndASerialNameCount) {
    fs::create_directories(sys / "ttyUSB0"); // unplugged: sysfs entry lingers, no node
    Device("tty1");
    Device("ttyUSBx");
    Device("ttyACM3");
    EXPECT_EQ(Names(), (std::vector<std::string>{"ttyACM3"}));
}

// What each name stands for through a run in which devices come and go: "-" for nothing,
// the node, and "getrennt" while the name's own device is out.
class PortBindingRun : public SerialDeviceScan {
protected:
    CPortNames names{dev, sys};
    std::vector<std::string> Bindings() {
        std::vector<std::string> shown;
        for (const char* portName : kPortNames) {
            const PortBinding b = names.Resolve(portName);
            shown.push_back(b.device.empty() ? "-"
                                             : fs::path(b.device).filename().string() +
                                                   (b.gone ? " getrennt" : ""));
        }
        return shown;
    }
    using Names = std::vector<std::string>;
};

TEST_F(PortBindingRun, ANameKeepsItsDeviceWhileItIsOutAndFindsItUnderAnyNode) {
    UsbDevice("ttyUSB0", "1-1", "A1");
    UsbDevice("ttyACM0", "1-2", ""); // no serial number: its place on the bus
    Device("ttyS1", "4");
    EXPECT_EQ(Bindings(), (Names{"ttyUSB0", "ttyACM0", "ttyS1", "-"}));
    EXPECT_EQ(names.Resolve("COM1:").identity, "A1:1.0");
    EXPECT_EQ(names.Resolve("COM2:").identity, "1-2:1.0");

    Unplug("ttyUSB0");
    EXPECT_EQ(Bindings(), (Names{"ttyUSB0 getrennt", "ttyACM0", "ttyS1", "-"}));
    UsbDevice("ttyUSB0", "1-3", "B2"); // another adapter gets the free node
    UsbDevice("ttyUSB1", "1-4", "C3"); // sorts before ttyACM0, moves no name
    EXPECT_EQ(Bindings(), (Names{"ttyUSB0 getrennt", "ttyACM0", "ttyS1", "ttyUSB0"}));

    Unplug("ttyUSB0");
    UsbDevice("ttyUSB2", "1-5", "A1"); // the first adapter back, in another socket
    EXPECT_EQ(Bindings(), (Names{"ttyUSB2", "ttyACM0", "ttyS1", "ttyUSB0 getrennt"}));
}

TEST_F(PortBindingRun, ClonedAdaptersWithOneSerialNumberAreToldApartByTheirSocket) {
    UsbDevice("ttyUSB0", "1-1", "A50285BI");
    EXPECT_EQ(Bindings(), (Names{"ttyUSB0", "-", "-", "-"}));
    UsbDevice("ttyUSB1", "1-2", "A50285BI");
    EXPECT_EQ(Bindings(), (Names{"ttyUSB0", "ttyUSB1", "-", "-"}));
    Unplug("ttyUSB0");
    EXPECT_EQ(Bindings(), (Names{"ttyUSB0 getrennt", "ttyUSB1", "-", "-"}));
    UsbDevice("ttyUSB0", "1-1", "A50285BI");
    EXPECT_EQ(Bindings(), (Names{"ttyUSB0", "ttyUSB1", "-", "-"}));
}

TEST_F(PortBindingRun, EnvironmentNamesADeviceOutrightAndNoOtherNameTakesIt) {
    Device("ttyS1", "4");
    Device("ttyS2", "4");
    ::setenv("KELMORA_COM1", (dev / "ttyS2").c_str(), 1);
    ::setenv("KELMORA_COM3", "/dev/serial/by-id/panel", 1);
    EXPECT_EQ(Bindings(), (Names{"ttyS2", "ttyS1", "panel", "-"}));
    EXPECT_EQ(names.Resolve("COM1:").identity, "");
    EXPECT_EQ(names.Resolve("COM9:").device, "");
    EXPECT_EQ(names.Resolve("com1:").device, "");
}

} // namespace
