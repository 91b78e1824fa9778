// panel_test.cpp
//
// gaugehost panel as a program: one frame of the real Gaugelet on the
// built-in notebook (with --once, and without a terminal), without the
// driver, and the real plug-in's whole road through call and script.
#include "gaugehost_paths.h"

#include <gtest/gtest.h>

namespace {

using tool_test::kGaugelet;
using tool_test::runGaugehost;

const char* const kBuiltinFrame = "Gaugelet on Inspiron 8600\n"
                                  "\n"
                                  "  GetCPUTemp    52\n"
                                  "  GetGPUTemp    48\n"
                                  "  GetDIMMTemp   45\n"
                                  "  GetOTHERTemp  40\n"
                                  "  GetFAN1RPM    120\n"
                                  "  GetFAN2RPM    115\n"
                                  "  GetFAN1Speed  Slow\n"
                                  "  GetFAN2Speed  Slow\n"
                                  "\n"
                                  "device requests sent: 9 by the plug-in, 1 by the panel\n"
                                  "temperature unit: c   degree sign: no\n";

TEST(GaugehostPanel, OnceShowsOneFrameOfTheBuiltInNotebook)
{
    // The Inspiron 8600 profile: GPU sensor 2, DIMM sensor 1, speeds divided
    // by 30; one report request at load and one request per reader.
    auto result = runGaugehost({"panel", "--once"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, kBuiltinFrame);
}

TEST(GaugehostPanel, WithoutATerminalItBehavesLikeOnce)
{
    auto result = runGaugehost({"--plugin", kGaugelet, "panel"}, "q\n");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, kBuiltinFrame) << "no help line, no redraw, no waiting for keys";
}

TEST(GaugehostPanel, WithoutTheDriverEveryReaderSaysSo)
{
    auto result = runGaugehost({"--no-driver", "panel", "--once"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out.rfind("Gaugelet on an unknown notebook\n", 0), 0u) << result.out;
    size_t missing = 0;
    for (size_t at = 0;
         (at = result.out.find("ERROR: Could not load zephr driver.", at)) != std::string::npos;
         ++at)
        ++missing;
    EXPECT_EQ(missing, 8u) << result.out;
    EXPECT_NE(result.out.find("device requests sent: 0 by the plug-in, 0 by the panel"),
              std::string::npos)
        << result.out;
}

TEST(GaugehostPanel, TakesOnlyOnce)
{
    auto result = runGaugehost({"panel", "--twice"});
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_NE(result.err.find("panel takes only --once"), std::string::npos) << result.err;
}

// The whole road: gaugehost, the plug-in, the Win32 and NT layers, the
// driver image, the simulated SMM BIOS and firmware.
TEST(GaugeletEndToEnd, CallShowsTheBuiltInNotebooksValues)
{
    auto result = runGaugehost({"call", "GetCPUTemp", "5", "f", "yes"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "125\xC2\xB0\n");
    result = runGaugehost({"call", "--raw", "GetCPUTemp", "5", "c", "y"});
    EXPECT_EQ(result.out, "52\xB0");
    result = runGaugehost({"--no-driver", "call", "GetFAN1Speed", "five"});
    EXPECT_EQ(result.out, "ERROR: Could not load zephr driver.\n");
}

TEST(GaugeletEndToEnd, ScriptShowsTheThrottleAndTheFans)
{
    const std::string script = "create fan GetFAN1RPM\n"
                               "create state GetFAN1Speed\n"
                               "call fan\n"
                               "set fan 0 speed 160\n"
                               "set fan 0 state 2\n"
                               "call fan\n"   // within the period: the old text
                               "call state\n" // the state's first refresh
                               "set fan 0 state 3\n"
                               "call state\n" // within its period
                               "advance 5\n"
                               "call fan\n"
                               "call state\n";
    auto result = runGaugehost({"script", "-"}, script);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "fan: 120\n"
                          "fan: 120\n"
                          "state: High\n"
                          "state: High\n"
                          "fan: 160\n"
                          "state: ERROR: No value was present.\n");
}

} // namespace
