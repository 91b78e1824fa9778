// SPDX-License-Identifier: MIT
// testhw_driver_test.cpp
//
// zephr-testhw.sys under Wine: the production driver code with a built-in
// SMM responder and an empty I/O bus in place of the privileged primitives,
// so the SMM requests travel the whole road (the real loader, the real I/O
// path, the driver's dispatch and SMM code) and come back with the fixed
// values of driver/primitives/testhw_notebook.h.
#include "driver/primitives/testhw_notebook.h"
#include "wine/wine_prefix.h"
#include "wine/wine_suite.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>

namespace wine_test {
namespace {

const char* const service = "zephr-testhw";

class WineTestHardwareDriver : public WinePrefixTest {
  protected:
    void SetUp() override
    {
        WinePrefixTest::SetUp();
        if (IsSkipped())
            return;
        prefix().installKernelService(service, binary("zephr-testhw.sys"));
        for (const char* program : {"gaugehost.exe", "zephr_device_check.exe"})
            prefix().addProgram(binary(program));
        // The plug-in is 32-bit in both: the x64 gaugehost.exe refuses it.
        prefix().addProgram(win32.binary("Gaugelet.dll"));
    }
};
ZEPHR_WINE_ON_BOTH(WineTestHardwareDriver);

// The readers through Gaugelet.dll, which only a 32-bit process loads.
class WineTestHardwareReaders : public WineTestHardwareDriver {};
ZEPHR_WINE_ON_WIN32(WineTestHardwareReaders);

TEST_P(WineTestHardwareDriver, AnswersTheSmmRequestsThroughTheDeviceAndUnloads)
{
    SessionResult session = prefix().runSession({
        {"start", std::string("net start ") + service},
        {"check", "zephr_device_check.exe testhw"},
        {"stop", std::string("net stop ") + service},
        {"after-stop", "zephr_device_check.exe absent"},
    });
    ASSERT_FALSE(session.timedOut) << "the Wine session hung";

    EXPECT_EQ(session.step("start").exitCode, 0) << session.step("start").output;
    const StepResult& check = session.step("check");
    EXPECT_EQ(check.exitCode, 0) << check.output;
    for (const char* line :
         {"ok sensor 0 temperature\n", "ok fan 0 speed is the BIOS value times 30\n",
          "ok fan 1 state reads back high\n",
          "ok an unknown sensor answers no value and the request succeeds\n",
          "ok IOCTL_ZEPHR_GET_TEMP at its minimum lengths fills its output\n",
          "ok IOCTL_ZEPHR_GET_SYSINFO output one byte short is too small\n",
          "ok IOCTL_ZEPHR_SET_FAN_STATE input one byte short is too small\n"})
        EXPECT_NE(check.output.find(line), std::string::npos)
            << "missing: " << line << check.output;
    EXPECT_EQ(session.step("stop").exitCode, 0) << session.step("stop").output;
    EXPECT_EQ(session.step("after-stop").exitCode, 0) << session.step("after-stop").output;

    std::vector<std::string> events = session.driverEvents;
    ASSERT_GE(events.size(), 3u);
    EXPECT_EQ(events.front(), "Zephr: DriverEntry successful");
    // The temperature request of sensor 0 reached the driver as sent.
    EXPECT_NE(std::find(events.begin(), events.end(), "ioctl 9c40a440 in 4 out 4"), events.end());
    std::vector<std::string> tail(events.end() - 3, events.end());
    EXPECT_EQ(tail, driverUnloadMessages);
    EXPECT_EQ(session.wineMessages, "") << "Wine reported trouble";
}

// zephrctl.exe fan-control --once through the whole road: one temperature
// request, then one fan-state setting per fan, each answered by the
// driver's SMM code; then the fans read back as set. A configuration with a
// wrong key is refused with the key named, before any request.
TEST_P(WineTestHardwareDriver, FanControlOnceReadsTheCpuAndSetsEachFan)
{
    prefix().addProgram(binary("zephrctl.exe"));
    // A configuration with a misspelt key, for the refusal.
    std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("zephr-fan-config-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "wrong-key.json") << R"({"fans": [{"fan": 0, "slwo": {"up": 60}}]})";
    prefix().addProgram(folder / "wrong-key.json");
    std::filesystem::remove_all(folder);

    SessionResult session = prefix().runSession({
        {"start", std::string("net start ") + service},
        {"wrong-key", "zephrctl.exe fan-control --config wrong-key.json --once"},
        {"once", "zephrctl.exe fan-control --once"},
        {"fan0", "zephrctl.exe fan-state 0"},
        {"fan1", "zephrctl.exe fan-state 1"},
        {"stop", std::string("net stop ") + service},
    });
    ASSERT_FALSE(session.timedOut) << "the Wine session hung";
    const std::string degrees = std::to_string(TESTHW_TEMP_SENSOR0) + " \xC2\xB0"
                                                                      "C";
    const StepResult& once = session.step("once");
    EXPECT_EQ(once.exitCode, 0) << once.output;
    EXPECT_EQ(once.output, "CPU sensor 0: " + degrees + "\nfan 0: unknown -> Off (CPU " + degrees +
                               ", taking control)\nfan 1: unknown -> Off (CPU " + degrees +
                               ", taking control)\n");
    const StepResult& wrongKey = session.step("wrong-key");
    EXPECT_EQ(wrongKey.exitCode, 2) << wrongKey.output;
    EXPECT_NE(wrongKey.output.find("wrong-key.json: fans[0].slwo: unknown key"), std::string::npos)
        << wrongKey.output;
    EXPECT_EQ(session.step("fan0").output, "fan 0: state 0 (Off)\n");
    EXPECT_EQ(session.step("fan1").output, "fan 1: state 0 (Off)\n");

    std::vector<std::string> requests;
    for (const std::string& event : session.driverEvents)
        if (event.rfind("ioctl ", 0) == 0)
            requests.push_back(event);
    ASSERT_GE(requests.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(requests.begin(), requests.begin() + 3),
              (std::vector<std::string>{"ioctl 9c40a440 in 4 out 4", "ioctl 9c40a400 in 4 out 4",
                                        "ioctl 9c40a400 in 4 out 4"}))
        << "one temperature read, one setting per fan, nothing else";
    EXPECT_EQ(session.wineMessages, "") << "Wine reported trouble";
}

struct ReaderCase {
    const char* step;
    const char* arguments; // after "gaugehost.exe call"
    std::string shown;
    const char* request; // the reader's request as the driver sees it
};

TEST_P(WineTestHardwareReaders, ShowTheValuesWithTheDefaultProfile)
{
    const char* temperature = "ioctl 9c40a440 in 4 out 4";
    const char* fanSpeed = "ioctl 9c40a408 in 4 out 4";
    const char* fanState = "ioctl 9c40a404 in 4 out 4";
    // The report names no product (Wine maps no SMBIOS), so the profile is
    // the default one: GPU sensor 1, DIMM sensor 2, fan speeds not divided.
    const std::vector<ReaderCase> cases = {
        {"cpu", "GetCPUTemp 5 c no", std::to_string(TESTHW_TEMP_SENSOR0) + "\n", temperature},
        {"cpu-fahrenheit", "GetCPUTemp 5 f no",
         std::to_string(TESTHW_TEMP_SENSOR0 * 9 / 5 + 32) + "\n", temperature},
        {"cpu-degree", "--raw GetCPUTemp 5 c yes", std::to_string(TESTHW_TEMP_SENSOR0) + "\xB0",
         temperature},
        {"gpu", "GetGPUTemp", std::to_string(TESTHW_TEMP_SENSOR1) + "\n", temperature},
        {"dimm", "GetDIMMTemp", std::to_string(TESTHW_TEMP_SENSOR2) + "\n", temperature},
        {"other", "GetOTHERTemp", std::to_string(TESTHW_TEMP_SENSOR3) + "\n", temperature},
        {"fan1-rpm", "GetFAN1RPM", std::to_string(TESTHW_FAN0_SPEED * 30) + "\n", fanSpeed},
        {"fan2-rpm", "GetFAN2RPM", std::to_string(TESTHW_FAN1_SPEED * 30) + "\n", fanSpeed},
        {"fan1-state", "GetFAN1Speed", "Slow\n", fanState},
        {"fan2-state", "GetFAN2Speed", "Off\n", fanState},
    };
    std::vector<SessionStep> steps = {{"start", std::string("net start ") + service}};
    for (const ReaderCase& reader : cases)
        steps.push_back({reader.step, std::string("gaugehost.exe call ") + reader.arguments});
    steps.push_back({"stop", std::string("net stop ") + service});

    SessionResult session = prefix().runSession(steps);
    ASSERT_FALSE(session.timedOut) << "the Wine session hung";

    EXPECT_EQ(session.step("start").exitCode, 0) << session.step("start").output;
    std::vector<std::string> expectedEvents = driverLoadMessages;
    for (const ReaderCase& reader : cases) {
        const StepResult& call = session.step(reader.step);
        EXPECT_EQ(call.exitCode, 0) << reader.step << ": " << call.output;
        EXPECT_EQ(call.output, reader.shown) << reader.step;
        expectedEvents = joined({expectedEvents, pluginLoadEvents(reader.request)});
    }
    EXPECT_EQ(session.step("stop").exitCode, 0) << session.step("stop").output;
    EXPECT_EQ(session.driverEvents, joined({expectedEvents, driverUnloadMessages}));
    EXPECT_EQ(session.wineMessages, "") << "Wine reported trouble";
}

// The x64 gaugehost.exe does not load the 32-bit plug-in and says why,
// for info and call alike, before the library is touched.
class WineTestHardware64BitHost : public WineTestHardwareDriver {};
ZEPHR_WINE_ON_WIN64(WineTestHardware64BitHost);

TEST_P(WineTestHardware64BitHost, RefusesThe32BitPluginByName)
{
    SessionResult session = prefix().runSession({
        {"info", "gaugehost.exe info"},
        {"call", "gaugehost.exe call GetCPUTemp"},
    });
    ASSERT_FALSE(session.timedOut) << "the Wine session hung";
    for (const char* step : {"info", "call"}) {
        const StepResult& result = session.step(step);
        EXPECT_NE(result.exitCode, 0) << step << ": " << result.output;
        EXPECT_NE(result.output.find("Gaugelet.dll is a 32-bit DLL: this 64-bit gaugehost.exe "
                                     "cannot load it"),
                  std::string::npos)
            << step << ": " << result.output;
    }
    EXPECT_EQ(session.driverEvents, std::vector<std::string>{}) << "the driver was never started";
}

} // namespace
} // namespace wine_test
