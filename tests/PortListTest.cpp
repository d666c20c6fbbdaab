#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "platform/serial/PortList.h"
#include "tests/support/TestSupport.h"

using serial::DeviceShortName;
using serial::ListPorts;
using serial::NaturalLess;

TEST(PortList, NaturalOrderComparesNumbersByValue) {
    EXPECT_TRUE(NaturalLess("ttyS2", "ttyS10"));
    EXPECT_FALSE(NaturalLess("ttyS10", "ttyS2"));
    EXPECT_TRUE(NaturalLess("ttyS10", "ttyUSB0"));
    EXPECT_TRUE(NaturalLess("ttyUSB1", "ttyUSB1a"));
    EXPECT_FALSE(NaturalLess("ttyS02", "ttyS2"));
    EXPECT_FALSE(NaturalLess("ttyS2", "ttyS02"));
    EXPECT_TRUE(NaturalLess("/dev/pts/9", "/dev/pts/10"));
}

#ifdef _WIN32
TEST(PortList, RegisteredComPortsWithExtraNamesMergedInNaturalOrder) {
    const auto ports = ListPorts({"COM10", "COM2", "COM10"});
    const auto at = [&](const std::string& name) { return std::find(ports.begin(), ports.end(), name) - ports.begin(); };
    ASSERT_LT(at("COM10"), static_cast<long>(ports.size()));
    EXPECT_LT(at("COM2"), at("COM10"));
    EXPECT_EQ(std::count(ports.begin(), ports.end(), "COM10"), 1);
    EXPECT_TRUE(std::is_sorted(ports.begin(), ports.end(), NaturalLess));
}
#else
TEST(PortList, RealPortsOnlySortedWithExtraPathsMergedIn) {
    testsupport::ScratchDir sys;
    namespace fs = std::filesystem;
    auto tty = [&](const std::string& name, bool device, const char* uartType) {
        fs::create_directories(sys / name);
        if (device) fs::create_directories(sys / (name + "/device"));
        if (uartType) testsupport::WriteFile(sys / (name + "/type"), uartType);
    };
    tty("ttyS10", true, "4\n");
    tty("ttyS2", true, "4\n");
    tty("ttyS3", true, "0\n");  // an 8250 slot with no UART behind it
    tty("ttyUSB0", true, nullptr);
    tty("tty0", false, nullptr);  // a virtual console
    const auto ports = ListPorts({"/tmp/sim/ttySIM0", "/dev/ttyUSB0"}, sys.Path());
    EXPECT_EQ(ports, (std::vector<std::string>{"/dev/ttyS2", "/dev/ttyS10", "/dev/ttyUSB0",
                                               "/tmp/sim/ttySIM0"}));
}
#endif

TEST(PortList, ShortNamesForFilesAndCaptions) {
    EXPECT_EQ(DeviceShortName("/dev/ttyUSB0"), "ttyUSB0");
    EXPECT_EQ(DeviceShortName("/dev/pts/3"), "pts-3");
    EXPECT_EQ(DeviceShortName("/dev/serial/by-id/usb-x"), "serial-by-id-usb-x");
    EXPECT_EQ(DeviceShortName("/tmp/e2e/ttySIM0"), "ttySIM0");
    EXPECT_EQ(DeviceShortName("ttyACM1"), "ttyACM1");
#ifdef _WIN32
    EXPECT_EQ(DeviceShortName("\\\\.\\COM10"), "COM10");
    EXPECT_EQ(DeviceShortName("COM3"), "COM3");
#endif
}

#ifndef _WIN32
TEST(PortList, PermissionHintNamesTheDevicesGroupAndHowToJoinIt) {
    // /dev/null belongs to root's group on every Linux system.
    EXPECT_EQ(serial::PermissionHint("/dev/null"),
              "The device belongs to the group \"root\": join it with \"sudo usermod -aG root $USER\", "
              "then log in again.");
    EXPECT_EQ(serial::PermissionHint("/nonexistent/ttyUSB9"), "");
}
#endif
