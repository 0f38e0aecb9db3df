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
    }
    void TearDown() override { fs::remove_all(root); }

    void Device(const std::string& name, const std::string& uartType = "") {
        std::ofstream(dev / name) << "";
        fs::create_directories(sys / name);
        if (!uartType.empty())
            std::ofstream(sys / name / "type") << uartType << "\n";
    }
    void Console(const std::string& active) {
        std::ofstream(sys / "console" / "active") << active << "\n";
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        for (const auto& path : ListSerialDevices(dev, sys))
            names.push_back(fs::path(path).filename().string());
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

TEST(PortNames, EnvironmentNamesTheDeviceOutright) {
    PortEnvironment ports{{"/dev/serial/by-id/panel", "", "/tmp/x", ""}};
    EXPECT_EQ(DeviceForPort("COM1:"), "/dev/serial/by-id/panel");
    EXPECT_EQ(DeviceForPort("COM3:"), "/tmp/x");
    EXPECT_EQ(DeviceForPort("COM9:"), "");
    EXPECT_EQ(DeviceForPort("com1:"), "");
}

} // namespace
