// SPDX-License-Identifier: MIT
// info_test.cpp
//
// gaugehost info: the reader names and their parameter lists exactly as
// init and getparam give them, dlltype and getinfo 0 to 6.
#include "gaugehost_paths.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using tool_test::kGaugelet;
using tool_test::kProbePlugin;
using tool_test::runGaugehost;

const char* const kTemperatureReader =
    "  getparam: \"refresh rate (seconds)=5|temperature unit (c or f)=c|show degree symbol=no|\"\n"
    "  parameter 1: \"refresh rate (seconds)\", default \"5\"\n"
    "  parameter 2: \"temperature unit (c or f)\", default \"c\"\n"
    "  parameter 3: \"show degree symbol\", default \"no\"\n";
const char* const kFanReader = "  getparam: \"refresh rate(seconds)=5|\"\n"
                               "  parameter 1: \"refresh rate(seconds)\", default \"5\"\n";

const std::vector<std::string> kReaders = {"GetCPUTemp",   "GetGPUTemp",  "GetDIMMTemp",
                                           "GetOTHERTemp", "GetFAN1RPM",  "GetFAN2RPM",
                                           "GetFAN1Speed", "GetFAN2Speed"};

// The info text of a library exporting the given readers.
std::string expectedInfo(const std::vector<std::string>& exported)
{
    std::string text = "init: \"GetCPUTemp|GetGPUTemp|GetDIMMTemp|GetOTHERTemp|"
                       "GetFAN1RPM|GetFAN2RPM|GetFAN1Speed|GetFAN2Speed\"\n";
    for (const std::string& reader : kReaders) {
        bool isExported = std::find(exported.begin(), exported.end(), reader) != exported.end();
        text += "reader " + reader + "\n";
        text += reader.find("Temp") != std::string::npos ? kTemperatureReader : kFanReader;
        text += std::string("  exported: ") + (isExported ? "yes" : "no") + "\n";
    }
    text += "dlltype: 1\n"
            "getinfo 0: \"tz4 zephr interface\"\n"
            "getinfo 1: \"the zephr project\"\n"
            "getinfo 2: \"1.1\"\n"
            "getinfo 3: \"050126\"\n"
            "getinfo 4: \"050308\"\n"
            "getinfo 5: \"http://www.samurize.com\"\n"
            "getinfo 6: \"\"\n";
    return text;
}

TEST(GaugehostInfo, ListsGaugeletsReadersParametersAndDescriptions)
{
    // Every reader exported by the library this build made.
    auto result = runGaugehost({"--plugin", kGaugelet, "info"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, expectedInfo(kReaders));
    EXPECT_EQ(result.err, "");
}

TEST(GaugehostInfo, TheDefaultPluginIsThisBuildsGaugelet)
{
    auto withDefault = runGaugehost({"info"});
    auto withPath = runGaugehost({"--plugin", kGaugelet, "info"});
    EXPECT_EQ(withDefault.exitStatus, 0) << withDefault.err;
    EXPECT_EQ(withDefault.out, withPath.out);
}

TEST(GaugehostInfo, SaysWhichReadersALibraryExports)
{
    auto result = runGaugehost({"--plugin", kProbePlugin, "info"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, expectedInfo({"GetCPUTemp", "GetOTHERTemp", "GetFAN1RPM"}));
}

TEST(GaugehostInfo, AMissingPluginIsNamed)
{
    auto result = runGaugehost({"--plugin", "/nonexistent/libNone.so", "info"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("/nonexistent/libNone.so"), std::string::npos) << result.err;
}

TEST(GaugehostInfo, ALibraryWithoutTheHostFunctionsIsRefused)
{
    // The platform library is a shared object, but no plug-in.
    auto result = runGaugehost({"--plugin", ZEPHR_PLATFORM_LIBRARY, "info"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("does not export the host function init"), std::string::npos)
        << result.err;
}

TEST(GaugehostCommandLine, NonsenseIsAUsageError)
{
    for (std::vector<std::string> arguments : {std::vector<std::string>{},
                                               {"dance"},
                                               {"--frobnicate", "info"},
                                               {"info", "extra"},
                                               {"call"},
                                               {"--plugin"},
                                               {"script", "a", "b"}}) {
        auto result = runGaugehost(arguments);
        EXPECT_EQ(result.exitStatus, 2) << result.err;
        EXPECT_NE(result.err.find("usage: gaugehost"), std::string::npos);
    }
}

} // namespace
