// SPDX-License-Identifier: MIT
// wine_session_test.cpp
//
// The reading of Wine's output that every Wine test relies on, on Wine's
// own line formats (no Wine needed).
#include "wine/wine_session.h"

#include <gtest/gtest.h>

namespace wine_test {
namespace {

const char* const sessionOutput =
    "0124:trace:ntoskrnl:load_driver loading driver L\"C:\\\\windows\\\\zephr.sys\"\n"
    "0124:warn:debugstr:vDbgPrintExWithPrefix 00000000:00000001: Zephr: DriverEntry successful\n"
    "0060:trace:ntoskrnl:dispatch_ioctl ioctl 121000 device 0072AAC0 file 0072AE28 in_size 56 "
    "out_size 122628\n"
    "0128:warn:debugstr:vDbgPrintExWithPrefix 00000000:00000001: Zephr: Open / Close\n"
    "0128:trace:ntoskrnl:dispatch_ioctl ioctl 9c40a440 device 00726108 file 00727448 in_size 4 "
    "out_size 4\n"
    "wine: Unhandled privileged instruction at address 01E64847 (thread 012c), starting "
    "debugger...\n"
    "0130:warn:debugstr:OutputDebugStringA \"Zephr: from a program\"\n";

// A program's OutputDebugString is not the driver's DbgPrint.
TEST(WineSessionOutput, DriverEventsKeepTheOrderAndOnlyTheZephrDevice)
{
    EXPECT_EQ(driverEvents(sessionOutput),
              (std::vector<std::string>{"Zephr: DriverEntry successful", "Zephr: Open / Close",
                                        "ioctl 9c40a440 in 4 out 4"}));
}

TEST(WineSessionOutput, WineMessagesAreTheLinesOutsideTheDebugChannels)
{
    EXPECT_EQ(wineMessages(sessionOutput), "wine: Unhandled privileged instruction at address "
                                           "01E64847 (thread 012c), starting debugger...\n");
    EXPECT_EQ(wineMessages("0124:fixme:ntoskrnl:x\n\n"), "");
}

TEST(WineSessionOutput, WindowsLineEndsBecomeUnixOnes)
{
    EXPECT_EQ(unixLines("52\r\nOff\r\n"), "52\nOff\n");
    EXPECT_EQ(unixLines("a\rb\r"), "a\rb\r"); // a lone CR stays
}

TEST(WineSessionResult, AStepThatNeverRanIsNamed)
{
    SessionResult result;
    try {
        result.step("stop");
        FAIL() << "no exception";
    } catch (const std::out_of_range& error) {
        EXPECT_NE(std::string(error.what()).find("'stop'"), std::string::npos) << error.what();
    }
}

} // namespace
} // namespace wine_test
