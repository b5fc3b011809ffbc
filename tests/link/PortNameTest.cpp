#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>

#include "platform/PortName.h"

namespace korvid {
namespace {

TEST(PortName, NamesAndDevicePaths) {
    EXPECT_TRUE(IsValidPortName("COM1"));
    EXPECT_TRUE(IsValidPortName("COM4"));
    EXPECT_TRUE(IsValidPortName("/dev/pts/3"));
    for (const char* bad : {"COM0", "COM5", "COM", "com1", "COM12", "", "ttyS0"}) EXPECT_FALSE(IsValidPortName(bad)) << bad;

    EXPECT_EQ(PortDevicePath("/dev/pts/7"), "/dev/pts/7");
    ::setenv("KORVID_COM3", "/tmp/tool-link", 1);
    EXPECT_EQ(PortDevicePath("COM3"), "/tmp/tool-link");
    ::unsetenv("KORVID_COM3");

    bool usb = false;
    for (const auto& e : std::filesystem::directory_iterator("/dev")) {
        std::string n = e.path().filename().string();
        usb = usb || n.rfind("ttyUSB", 0) == 0 || n.rfind("ttyACM", 0) == 0;
    }
    if (!usb) {
        EXPECT_EQ(PortDevicePath("COM2"), "/dev/ttyS1");
    }
}

}  // namespace
}  // namespace korvid
