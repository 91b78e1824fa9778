// SPDX-License-Identifier: MIT
// plugin_test.cpp
//
// Gaugelet.dll on real Win32 under Wine, loaded by gaugehost.exe with the
// real LoadLibraryA: without the driver every reader answers the
// driver-missing text; with the shipped driver started, the library's
// attach opens the device and asks for the system information report once,
// and its detach closes the device.
#include "wine/wine_prefix.h"
#include "wine/wine_suite.h"

#include <gtest/gtest.h>

namespace wine_test {
namespace {

const char* const readers[] = {"GetCPUTemp", "GetGPUTemp", "GetDIMMTemp",  "GetOTHERTemp",
                               "GetFAN1RPM", "GetFAN2RPM", "GetFAN1Speed", "GetFAN2Speed"};

// gaugehost info names each reader the library lists and whether it exports it.
void expectEveryReaderExported(const StepResult& info)
{
    EXPECT_EQ(info.exitCode, 0) << info.output;
    EXPECT_NE(info.output.find("init: \"GetCPUTemp|GetGPUTemp|GetDIMMTemp|GetOTHERTemp|"
                               "GetFAN1RPM|GetFAN2RPM|GetFAN1Speed|GetFAN2Speed\"\n"),
              std::string::npos)
        << info.output;
    for (const char* reader : readers) {
        size_t section = info.output.find(std::string("reader ") + reader + "\n");
        ASSERT_NE(section, std::string::npos) << reader << " missing in:\n" << info.output;
        const std::string yes = "  exported: yes\n";
        size_t exported = info.output.find("  exported: ", section);
        ASSERT_NE(exported, std::string::npos) << info.output;
        EXPECT_EQ(info.output.substr(exported, yes.size()), yes)
            << reader << ":\n"
            << info.output.substr(section, 300);
    }
    EXPECT_NE(info.output.find("dlltype: 1\n"), std::string::npos) << info.output;
}

class WinePlugin : public WinePrefixTest {
  protected:
    void SetUp() override
    {
        WinePrefixTest::SetUp();
        if (IsSkipped())
            return;
        prefix().installKernelService("zephr", binary("zephr.sys"));
        for (const char* program : {"gaugehost.exe", "Gaugelet.dll", "zephr_device_check.exe"})
            prefix().addProgram(binary(program));
    }
};
ZEPHR_WINE_ON_WIN32(WinePlugin);

TEST_P(WinePlugin, EveryReaderAnswersDriverMissingWhileTheServiceIsStopped)
{
    std::vector<SessionStep> steps = {{"device", "zephr_device_check.exe absent"},
                                      {"info", "gaugehost.exe info"}};
    for (const char* reader : readers)
        steps.push_back(
            {std::string("call-") + reader, std::string("gaugehost.exe call ") + reader});
    steps.push_back({"malformed-refresh", "gaugehost.exe call GetCPUTemp x7 f yes"});
    SessionResult session = prefix().runSession(steps);
    ASSERT_FALSE(session.timedOut) << "the Wine session hung";

    EXPECT_EQ(session.step("device").exitCode, 0) << session.step("device").output;
    expectEveryReaderExported(session.step("info"));
    for (const char* reader : readers) {
        const StepResult& call = session.step(std::string("call-") + reader);
        EXPECT_EQ(call.exitCode, 1) << reader << ": an error text is a failed call";
        EXPECT_EQ(call.output, "ERROR: Could not load zephr driver.\n") << reader;
    }
    EXPECT_EQ(session.step("malformed-refresh").output, "ERROR: Could not load zephr driver.\n");
    EXPECT_EQ(session.driverEvents, std::vector<std::string>{}) << "the driver was never started";
    EXPECT_EQ(session.wineMessages, "");
}

TEST_P(WinePlugin, OpensTheDeviceAndReadsTheReportOnceWhenTheDriverRuns)
{
    SessionResult session = prefix().runSession({
        {"start", "net start zephr"},
        {"info", "gaugehost.exe info"},
        {"stop", "net stop zephr"},
    });
    ASSERT_FALSE(session.timedOut) << "the Wine session hung";

    EXPECT_EQ(session.step("start").exitCode, 0) << session.step("start").output;
    expectEveryReaderExported(session.step("info"));
    EXPECT_EQ(session.step("stop").exitCode, 0) << session.step("stop").output;
    // info calls no reader: what the driver sees is the attach and the detach.
    EXPECT_EQ(session.driverEvents,
              joined({driverLoadMessages, pluginLoadEvents(""), driverUnloadMessages}));
    EXPECT_EQ(session.wineMessages, "");
}

} // namespace
} // namespace wine_test
