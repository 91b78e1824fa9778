// SPDX-License-Identifier: MIT
// call_test.cpp
//
// gaugehost call: one instance, one reader call with the given texts and
// getparam's defaults for the rest, the text in UTF-8 (or raw), and readers
// the library lists but does not export reported as such.
#include "gaugehost_paths.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

namespace {

using tool_test::kGaugelet;
using tool_test::kProbePlugin;
using tool_test::runGaugehost;

TEST(GaugehostCall, MissingParametersTakeGetparamsDefaults)
{
    auto result = runGaugehost({"--plugin", kProbePlugin, "call", "GetCPUTemp"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "refresh 1 (unit c, degree no)\n");
    result = runGaugehost({"--plugin", kProbePlugin, "call", "GetCPUTemp", "9", "f"});
    EXPECT_EQ(result.out, "refresh 1 (unit f, degree no)\n");
}

TEST(GaugehostCall, TheTextIsShownInUtf8)
{
    auto result = runGaugehost({"--plugin", kProbePlugin, "call", "GetCPUTemp", "5", "c", "yes"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "refresh 1 (unit c, degree yes)\xC2\xB0\n");
}

TEST(GaugehostCall, RawWritesTheBytesUnchanged)
{
    auto result =
        runGaugehost({"--plugin", kProbePlugin, "call", "--raw", "GetCPUTemp", "5", "c", "yes"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "refresh 1 (unit c, degree yes)\xB0");
}

TEST(GaugehostCall, EmptyAndBlankParameterTextsArePassedAsGiven)
{
    auto result = runGaugehost({"--plugin", kProbePlugin, "call", "GetCPUTemp", "", " c", ""});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "refresh 1 (unit  c, degree )\n");
}

TEST(GaugehostCall, TooManyParametersAreRefused)
{
    auto result = runGaugehost({"--plugin", kProbePlugin, "call", "GetFAN1RPM", "5", "extra"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("GetFAN1RPM takes 1 parameter(s), 2 were given"), std::string::npos)
        << result.err;
    EXPECT_EQ(result.out, "");
}

TEST(GaugehostCall, AListedReaderThatIsNotExportedIsReported)
{
    auto result = runGaugehost({"--plugin", kProbePlugin, "call", "GetGPUTemp"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("lists GetGPUTemp but does not export it"), std::string::npos)
        << result.err;
}

TEST(GaugehostCall, EachOfGaugeletsReadersAnswers)
{
    for (const char* reader : {"GetCPUTemp", "GetGPUTemp", "GetDIMMTemp", "GetOTHERTemp",
                               "GetFAN1RPM", "GetFAN2RPM", "GetFAN1Speed", "GetFAN2Speed"}) {
        auto result = runGaugehost({"--plugin", kGaugelet, "call", reader});
        EXPECT_EQ(result.exitStatus, 0) << reader << ": " << result.err;
        EXPECT_FALSE(result.out.empty()) << reader;
    }
}

TEST(GaugehostCall, ANameInitDoesNotListIsNoReader)
{
    auto result = runGaugehost({"--plugin", kProbePlugin, "call", "GetCPUtemp"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("'GetCPUtemp' is not a reader of the plug-in"), std::string::npos)
        << result.err;
}

TEST(GaugehostCall, TheMachineFileGivesTheNotebook)
{
    const std::filesystem::path file =
        std::filesystem::path(testing::TempDir()) / "gaugehost-call-machine.json";
    std::ofstream(file) << R"({ "name": "Probe", "smm": { "temperatures": { "0": 61 } } })";
    auto result = runGaugehost(
        {"--machine", file.string(), "--plugin", kProbePlugin, "call", "GetOTHERTemp"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "61 degrees\n");
    std::filesystem::remove(file);
}

TEST(GaugehostCall, TheBuiltInNotebookServesWithoutAMachineFile)
{
    auto result = runGaugehost({"--plugin", kProbePlugin, "call", "GetOTHERTemp"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "52 degrees\n");
}

TEST(GaugehostCall, WithoutTheDriverThePluginFindsNoDevice)
{
    auto result = runGaugehost({"--no-driver", "--plugin", kProbePlugin, "call", "GetOTHERTemp"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "no device\n");
}

TEST(GaugehostCall, ABadMachineFileIsNamed)
{
    auto result = runGaugehost(
        {"--machine", "/nonexistent/machine.json", "--plugin", kProbePlugin, "call", "GetCPUTemp"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.err.find("/nonexistent/machine.json: no such file"), std::string::npos)
        << result.err;
}

TEST(GaugehostCall, TraceShowsTheHardwareAccesses)
{
    auto result = runGaugehost({"--trace", "--plugin", kProbePlugin, "call", "GetOTHERTemp"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.err.find("smi ax=10a3 bx=0000"), std::string::npos) << result.err;
}

} // namespace
