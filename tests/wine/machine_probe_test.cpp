// SPDX-License-Identifier: MIT
// machine_probe_test.cpp
//
// The path of a machine that runs no 32-bit code, on any machine: this
// program again with ZEPHR_NO_32BIT_CODE=1 skips exactly the tests that
// boot a 32-bit prefix, each with the reason, runs every other test (those
// that boot a 64-bit prefix are left out here: they run in the suite
// itself), and exits 0.
#include "support/run_program.h"
#include "wine/machine_probe.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <regex>
#include <set>
#include <sstream>

namespace wine_test {
namespace {

// The tests that need 32-bit Wine: every one that boots a 32-bit prefix.
const std::set<std::string> prefixTests = {
    "Wine/WinePlugin.EveryReaderAnswersDriverMissingWhileTheServiceIsStopped/x86",
    "Wine/WinePlugin.OpensTheDeviceAndReadsTheReportOnceWhenTheDriverRuns/x86",
    "Wine/WineProductionDriver.ServesRequestsAndUnloadsCleanlyInOneSession/x86",
    "Wine/WineTestHardwareDriver.AnswersTheSmmRequestsThroughTheDeviceAndUnloads/x86",
    "Wine/WineTestHardwareDriver.FanControlOnceReadsTheCpuAndSetsEachFan/x86",
    "Wine/WineTestHardwareReaders.ShowTheValuesWithTheDefaultProfile/x86",
    "Wine/WineInstallFlow.FromTheUnpackedPackage/x86",
    "Wine/WineAgentService.ServesTheReadingsAndLeavesTheFansHighWhenStopped/x86",
};

std::set<std::string> testsMarked(const std::string& output, const std::string& mark)
{
    std::set<std::string> names;
    const std::regex line("^\\[ " + mark + " \\] ([A-Za-z0-9_/]+\\.[A-Za-z0-9_/]+)");
    std::istringstream lines(output);
    std::smatch match;
    for (std::string text; std::getline(lines, text);)
        if (std::regex_search(text, match, line))
            names.insert(match[1]);
    return names;
}

TEST(WineWithout32BitCode, SkipsThePrefixTestsWithTheReasonAndRunsTheRest)
{
    char self[4096] = {};
    ASSERT_GT(readlink("/proc/self/exe", self, sizeof(self) - 1), 0);
    tool_test::ProgramResult run =
        tool_test::runProgram({"/usr/bin/env", "ZEPHR_NO_32BIT_CODE=1", self,
                               "--gtest_filter=-WineWithout32BitCode.*:*/x64"});

    EXPECT_EQ(run.exitStatus, 0) << run.out << run.err;
    EXPECT_EQ(testsMarked(run.out, " SKIPPED"), prefixTests) << run.out;
    std::set<std::string> passed = testsMarked(run.out, "      OK");
    EXPECT_FALSE(passed.empty()) << "no test that needs no Wine ran:\n" << run.out;
    for (const std::string& name : passed)
        EXPECT_EQ(prefixTests.count(name), 0u) << name << " ran without 32-bit code";
    EXPECT_NE(run.out.find(std::string(no32BitCodeSkip) +
                           "\n(no 32-bit x86 code: forced by ZEPHR_NO_32BIT_CODE=1)"),
              std::string::npos)
        << run.out;
}

} // namespace
} // namespace wine_test
