// SPDX-License-Identifier: MIT
// panel_test.cpp
//
// gaugehost panel as a program: one frame of the real Gaugelet on the
// built-in notebook (with --once, and without a terminal), the header's
// status without the driver and with a BIOS that ignores SMM calls, a
// hostile product name, and the real plug-in's whole road through call and
// script.
#include "gaugehost_paths.h"

#include <gtest/gtest.h>

namespace {

using tool_test::kGaugelet;
using tool_test::machineFile;
using tool_test::runGaugehost;

// Shorthands for the frame's degree sign and the one-value trend.
#define DEG "\xC2\xB0"
#define BAR "\xE2\x96\x84"

const char* const kBuiltinFrame =
    "Gaugelet on Inspiron 8600, zephr driver 1.5\n"
    "status: ok\n"
    "profile: sensors CPU 0, GPU 2, memory 1, other 3; fan speed texts are rpm / 30\n"
    "readers refresh every 5 s; temperatures warn at 80 " DEG "C, critical at 95 " DEG "C\n"
    "\n"
    "  reading             text     value     min       max       trend\n"
    "  CPU temperature     52       52 " DEG "C     52 " DEG "C     52 " DEG "C     " BAR "\n"
    "  GPU temperature     48       48 " DEG "C     48 " DEG "C     48 " DEG "C     " BAR "\n"
    "  Memory temperature  45       45 " DEG "C     45 " DEG "C     45 " DEG "C     " BAR "\n"
    "  Other temperature   40       40 " DEG "C     40 " DEG "C     40 " DEG "C     " BAR "\n"
    "  Fan 0 speed         120      3600 rpm  3600 rpm  3600 rpm  " BAR "\n"
    "  Fan 1 speed         115      3450 rpm  3450 rpm  3450 rpm  " BAR "\n"
    "  Fan 0 state         Slow     Slow      Slow      Slow      " BAR "\n"
    "  Fan 1 state         Slow     Slow      Slow      Slow      " BAR "\n"
    "\n"
    "device requests sent: 9 by the plug-in, 2 by the panel\n";

TEST(GaugehostPanel, OnceShowsOneFrameOfTheBuiltInNotebook)
{
    // The Inspiron 8600 profile: GPU sensor 2, DIMM sensor 1, speeds divided
    // by 30 (the value column multiplies them back); one report request at
    // load and one request per reader; the panel's report and version.
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

TEST(GaugehostPanel, TheHeaderNamesWhatIsWrong)
{
    struct Case {
        std::vector<std::string> arguments;
        const char* header;
        int status;
    };
    const Case cases[] = {
        {{"--no-driver", "panel", "--once"},
         "Gaugelet on an unknown notebook, no zephr driver\nstatus: zephr driver not loaded\n",
         1},
        {{"--machine", machineFile(R"({"name": "deaf", "smm": {"behaviour": "ignore"}})"), "panel",
          "--once"},
         "status: the BIOS does not answer SMM calls\n",
         0},
        {{"panel", "--once", "--interval", "2", "--warn", "50", "--crit", "60"},
         "readers refresh every 2 s; temperatures warn at 50 " DEG "C, critical at 60 " DEG "C\n",
         0},
    };
    for (const Case& c : cases) {
        auto result = runGaugehost(c.arguments);
        EXPECT_EQ(result.exitStatus, c.status) << result.err;
        EXPECT_NE(result.out.find(c.header), std::string::npos) << result.out;
    }
}

TEST(GaugehostPanel, TheStatusNamesTheHottestValueAtALimit)
{
    // A notebook without SMBIOS: the plug-in's default profile, GPU sensor 1.
    // Without colour (--once) each value at a limit is marked.
    struct Case {
        const char* temperatures; // sensors 0 to 3
        std::vector<std::string> limits;
        const char* status;
        const char* row;
    };
    const Case cases[] = {
        {R"("0": 97, "1": 85, "2": 60, "3": 40)",
         {},
         "status: CPU temperature 97 " DEG "C is above critical 95 " DEG "C\n",
         "  GPU temperature     85       85 " DEG "C !   "},
        {R"("0": 90, "1": 95, "2": 60, "3": 40)",
         {},
         "status: GPU temperature 95 " DEG "C is at critical 95 " DEG "C\n",
         "  CPU temperature     90       90 " DEG "C !   "},
        {R"("0": 81, "1": 60, "2": 60, "3": 40)",
         {},
         "status: CPU temperature 81 " DEG "C is above warn 80 " DEG "C\n",
         "  CPU temperature     81       81 " DEG "C !   "},
        {R"("0": 61, "1": 60, "2": 60, "3": 40)",
         {"--warn", "50", "--crit", "60"},
         "status: CPU temperature 61 " DEG "C is above critical 60 " DEG "C\n",
         "  Other temperature   40       40 " DEG "C     "},
        {R"("0": 79, "1": 60, "2": 60, "3": 40)",
         {},
         "status: ok\n",
         "  CPU temperature     79       79 " DEG "C     "},
    };
    for (const Case& c : cases) {
        std::vector<std::string> arguments = {
            "--machine",
            machineFile(std::string(R"({"name": "hot", "smm": {"temperatures": {)") +
                        c.temperatures + R"(}, "fans": [{"state": 2}, {"state": 2}]}})"),
            "panel", "--once"};
        arguments.insert(arguments.end(), c.limits.begin(), c.limits.end());
        auto result = runGaugehost(arguments);
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_NE(result.out.find(c.status), std::string::npos) << result.out;
        EXPECT_NE(result.out.find(c.row), std::string::npos) << result.out;
    }
}

TEST(GaugehostPanel, AProductNameWithEscapeBytesIsShownNotObeyed)
{
    const std::string machine =
        machineFile(R"({"name": "hostile", "smbios": {"structures": [)"
                    R"({"type": 1, "formatted": "01 02 00 03", "strings": ["Nord",)"
                    R"( "Inspiron 8600\u001b]0;owned\u0007\u001b[31m", "X"]}, {"type": 127}]}})");
    auto result = runGaugehost({"--machine", machine, "panel", "--once"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out.find('\x1b'), std::string::npos) << result.out;
    EXPECT_EQ(result.out.rfind("Gaugelet on Inspiron 8600\\x1B]0;owned\\x07\\x1B[31m, zephr", 0),
              0u)
        << result.out;
    EXPECT_NE(result.out.find("fan speed texts are rpm / 30"), std::string::npos)
        << "the plug-in's rules still see an Inspiron 8600";
}

TEST(GaugehostPanel, RefusesOptionsOfOtherCommands)
{
    for (const char* option : {"--twice", "--count", "--format"}) {
        auto result = runGaugehost({"panel", option});
        EXPECT_EQ(result.exitStatus, 2) << option;
        EXPECT_NE(result.err.find("panel does not take '"), std::string::npos) << result.err;
    }
}

// The SMM calls that set a fan state (ax=01a3; bx: the state, the fan) in a
// trace, in order.
std::vector<std::string> fanSettings(const std::string& trace)
{
    std::vector<std::string> settings;
    for (size_t at = trace.find("smi ax=01a3 "); at != std::string::npos;
         at = trace.find("smi ax=01a3 ", at + 1))
        settings.push_back(trace.substr(at + 12, 7));
    return settings;
}

TEST(GaugehostPanel, GivesTheFansBackWhenItEnds)
{
    // Both fans start Slow; 0 and 7 set them Off. Each way out sets them
    // back to Slow: q, Ctrl-C, the terminal closing.
    struct Case {
        const char* how;
        std::vector<tool_test::TerminalStep> steps;
        bool hangUp;
        std::vector<std::string> settings;
    };
    const std::vector<std::string> offAndBack = {"bx=0000", "bx=0001", "bx=0100", "bx=0101"};
    const Case cases[] = {
        {"q", {{"keys:", "07q"}}, false, offAndBack},
        {"Ctrl-C", {{"keys:", "07"}, {"fan 1 set to Off", "\x03"}}, false, offAndBack},
        {"hang-up", {{"keys:", "07"}, {"fan 1 set to Off", ""}}, true, offAndBack},
        {"no fan set", {{"keys:", "fq"}}, false, {}},
    };
    for (const Case& c : cases) {
        auto result = tool_test::runOnTerminal({tool_test::kGaugehost, "--trace", "panel"}, c.steps,
                                               c.hangUp);
        EXPECT_EQ(result.exitStatus, 0) << c.how << ": " << result.out;
        EXPECT_EQ(fanSettings(result.err), c.settings) << c.how;
        if (c.hangUp)
            continue; // nobody sees the terminal any more
        EXPECT_EQ(result.out.find("fans restored:") != std::string::npos, !c.settings.empty())
            << c.how << ": " << result.out;
        if (!c.settings.empty()) {
            EXPECT_NE(result.out.find("fans restored: fan 0 Slow, fan 1 Slow\r\n"),
                      std::string::npos)
                << c.how;
        }
    }
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
