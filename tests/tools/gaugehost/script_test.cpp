// SPDX-License-Identifier: MIT
// script_test.cpp
//
// gaugehost's script mode: instances and a clock the script moves, changes
// of the simulated notebook, the request count, and errors that name their
// line.
#include "gaugehost_paths.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

namespace {

using tool_test::kGaugelet;
using tool_test::kProbePlugin;
using tool_test::runGaugehost;

// Runs a script given on standard input against the probe plug-in.
tool_test::ProgramResult runScript(const std::string& script,
                                   const std::string& plugin = kProbePlugin)
{
    return runGaugehost({"--plugin", plugin, "script", "-"}, script);
}

// The throttle's own cases (periods, texts, a clock set back) are those of
// tests/plugin/refresh_throttle_test.cpp; here the script's words that move
// the clock are shown reaching it.
TEST(GaugehostScript, SetbackMovesThePlugInsClockBack)
{
    auto result = runScript("create fan GetFAN1RPM\n"
                            "call fan 0\n"
                            "setback 10\n"
                            "call fan 0\n"
                            "advance 10\n"
                            "call fan 0\n");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "fan: refresh 1\nfan: refresh 1\nfan: refresh 2\n")
        << "with period 0 only a clock set back holds the old text";
}

TEST(GaugehostScript, InstancesOfOneReaderAreIndependent)
{
    auto result = runScript("create a GetCPUTemp\n"
                            "create b GetCPUTemp\n"
                            "call a 5 f\n"
                            "advance 3\n"
                            "call b\n"
                            "advance 2\n"
                            "call a\n"
                            "call b\n"
                            "free a\n"
                            "create a GetCPUTemp\n"
                            "call a 5 c yes\n");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "a: refresh 1 (unit f, degree no)\n"
                          "b: refresh 1 (unit c, degree no)\n"
                          "a: refresh 2 (unit c, degree no)\n"
                          "b: refresh 1 (unit c, degree no)\n"
                          "a: refresh 1 (unit c, degree yes)\xC2\xB0\n");
}

TEST(GaugehostScript, TheThrottleSpendsOneRequestPerRefresh)
{
    auto result = runScript("create other GetOTHERTemp\n"
                            "requests\n"
                            "call other\n"
                            "requests\n"
                            "set temperature 0 70\n"
                            "call other\n"
                            "advance 4.9\n"
                            "call other\n"
                            "requests\n"
                            "advance 0.1\n"
                            "call other\n"
                            "requests\n");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "requests: 0\n"
                          "other: 52 degrees\n"
                          "requests: 1\n"
                          "other: 52 degrees\n"
                          "other: 52 degrees\n"
                          "requests: 1\n"
                          "other: 70 degrees\n"
                          "requests: 2\n");
}

TEST(GaugehostScript, ChangesOfTheSimulatedNotebookAreAccepted)
{
    auto result = runScript("set fan 0 state 2\n"
                            "set fan 1 speed 160\n"
                            "set behaviour ignore\n"
                            "create other GetOTHERTemp\n"
                            "call other 0\n"
                            "set behaviour normal\n"
                            "call other 0\n");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "other: 4294967295 degrees\nother: 52 degrees\n");
}

TEST(GaugehostScript, ScriptsAreReadFromAFile)
{
    const std::filesystem::path file =
        std::filesystem::path(testing::TempDir()) / "gaugehost-script.txt";
    std::ofstream(file) << "# one instance\r\ncreate fan GetFAN1RPM\r\ncall fan\r\n";
    auto result = runGaugehost({"--plugin", kProbePlugin, "script", file.string()});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "fan: refresh 1\n");
    std::filesystem::remove(file);
}

TEST(GaugehostScript, WithoutAFileTheScriptIsStandardInput)
{
    auto result = runGaugehost({"--plugin", kProbePlugin, "script"}, "requests\n");
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "requests: 0\n");
}

TEST(GaugehostScript, GaugeletsInstancesAreMadeAndFreed)
{
    // Whatever Gaugelet asks the driver when it loads, making and freeing
    // instances and moving the clock send nothing.
    auto result = runScript("requests\n"
                            "create cpu GetCPUTemp\n"
                            "create fan GetFAN2Speed\n"
                            "advance 60\n"
                            "free cpu\n"
                            "requests\n",
                            kGaugelet);
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    ASSERT_EQ(result.out.rfind("requests: ", 0), 0u) << result.out;
    std::string first = result.out.substr(0, result.out.find('\n') + 1);
    EXPECT_EQ(result.out, first + first);
}

struct BadLine {
    std::string script;
    std::string message; // expected after "gaugehost: <stdin>:LINE: "
};

class GaugehostScriptErrors : public ::testing::TestWithParam<BadLine> {};

TEST_P(GaugehostScriptErrors, NameTheLineAndStopThere)
{
    const BadLine& bad = GetParam();
    auto result = runScript("create fan GetFAN1RPM\ncall fan\n" + bad.script + "\ncall fan 0\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "fan: refresh 1\n") << "the lines before ran, the one after did not";
    EXPECT_EQ(result.err.rfind("gaugehost: <stdin>:3: " + bad.message, 0), 0u) << result.err;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, GaugehostScriptErrors,
    ::testing::Values(
        BadLine{"jump 5", "unknown action 'jump'"},
        BadLine{"call nobody", "no instance named 'nobody'"},
        BadLine{"free nobody", "no instance named 'nobody'"},
        BadLine{"create fan GetFAN1RPM", "an instance named 'fan' exists already"},
        BadLine{"create gpu GetGPUtemp", "'GetGPUtemp' is not a reader of the plug-in"},
        BadLine{"call fan 5 6", "GetFAN1RPM takes 1 parameter(s), 2 were given"},
        BadLine{"advance 4,9", "'4,9' is not a number of seconds"},
        BadLine{"advance", "expected 'advance SECONDS'"},
        BadLine{"setback -1", "'-1' is not a number of seconds"},
        BadLine{"call fan \"open", "a quoted text is not closed"},
        BadLine{"set fan 9 state 1", "the simulated notebook has no fan 9"},
        BadLine{"set fan 0 mood 1", "expected state or speed"},
        BadLine{"set temperature 0 70000", "temperature 70000 does not fit"},
        BadLine{"set behaviour weird", "unknown behaviour 'weird'"},
        BadLine{"set colour red", "expected 'set temperature', 'set fan' or 'set behaviour'"},
        BadLine{"requests now", "expected 'requests'"},
        BadLine{"call fan " + std::string(70000, '5'), "a line longer than 64 KiB"}),
    [](const ::testing::TestParamInfo<BadLine>& info) {
        return "Line" + std::to_string(info.index);
    });

TEST(GaugehostScript, ANotExportedReaderFailsWhenCalled)
{
    auto result = runScript("create gpu GetGPUTemp\ncall gpu\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.err.rfind("gaugehost: <stdin>:2: plug-in ", 0), 0u) << result.err;
    EXPECT_NE(result.err.find("lists GetGPUTemp but does not export it"), std::string::npos);
}

TEST(GaugehostScript, AMissingScriptFileIsNamed)
{
    auto result = runGaugehost({"--plugin", kProbePlugin, "script", "/nonexistent/script"});
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("/nonexistent/script"), std::string::npos) << result.err;
}

} // namespace
