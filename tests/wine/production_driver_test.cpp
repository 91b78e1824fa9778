// SPDX-License-Identifier: MIT
// production_driver_test.cpp
//
// The shipped zephr.sys under Wine: installed as a kernel service, started,
// checked through the real CreateFileA and DeviceIoControl, stopped. Wine
// maps no physical memory, so the firmware reports carry their error lines;
// its SMM and Super I/O requests are not sent (an `out` instruction crashes
// the driver's process under Wine), zephr-testhw.sys covers those.
#include "wine/wine_prefix.h"
#include "wine/wine_suite.h"

#include <gtest/gtest.h>

namespace wine_test {
namespace {

class WineProductionDriver : public WinePrefixTest {};
ZEPHR_WINE_ON_BOTH(WineProductionDriver);

TEST_P(WineProductionDriver, ServesRequestsAndUnloadsCleanlyInOneSession)
{
    prefix().installKernelService("zephr", binary("zephr.sys"));
    prefix().addProgram(binary("zephr_device_check.exe"));

    SessionResult session = prefix().runSession({
        {"start", "net start zephr"},
        {"check", "zephr_device_check.exe production"},
        {"stop", "net stop zephr"},
        {"after-stop", "zephr_device_check.exe absent"},
    });
    ASSERT_FALSE(session.timedOut) << "the Wine session hung";

    const StepResult& start = session.step("start");
    EXPECT_EQ(start.exitCode, 0) << start.output;
    EXPECT_NE(start.output.find("The zephr service was started successfully."), std::string::npos)
        << start.output;

    const StepResult& check = session.step("check");
    EXPECT_EQ(check.exitCode, 0) << check.output;
    for (const char* line :
         {"ok device opens as \\\\.\\ZephrDev with GENERIC_WRITE\n",
          "ok version is 1.5 in 8 bytes\n", "ok function 0x903 is refused\n",
          "ok report output one byte short is too small\n", "ok sensor 256 is out of bounds\n",
          "ok system information reports the unmapped BIOS segment\n",
          "ok driver still serves requests after the reports\n", "ok device handle closes\n"})
        EXPECT_NE(check.output.find(line), std::string::npos)
            << "missing: " << line << check.output;
    EXPECT_NE(check.output.find(", 0 bad\n"), std::string::npos) << check.output;

    const StepResult& stop = session.step("stop");
    EXPECT_EQ(stop.exitCode, 0) << stop.output;
    EXPECT_NE(stop.output.find("The zephr service was stopped successfully."), std::string::npos)
        << stop.output;
    EXPECT_EQ(session.step("after-stop").exitCode, 0) << session.step("after-stop").output;

    // Two handles, each opened and closed, between the load and the unload.
    std::vector<std::string> open = {"Zephr: Open / Close"};
    EXPECT_EQ(driverMessages(session.driverEvents),
              joined({driverLoadMessages, open, open, open, open, driverUnloadMessages}));
    EXPECT_EQ(session.wineMessages, "") << "Wine reported trouble";
}

} // namespace
} // namespace wine_test
