// SPDX-License-Identifier: MIT
// tools_test.cpp
//
// zephrctl and gaugehost with --driver-image build-windows/bin/zephr.sys (and
// with the x64 build-windows-x64/bin/zephr.sys) against the same command
// lines without it: the same standard output, the same standard error (with
// --trace: every hardware access and debug message from the shipped binary)
// and the same exit status; also with the image moved by --image-base, its
// base relocations applied.
#include "support/run_program.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

struct ToolRow {
    const char* name;
    std::vector<std::string> command;           // program, then its arguments
    std::vector<std::string> imageOptions = {}; // after --driver-image FILE only
};

void PrintTo(const ToolRow& row, std::ostream* out)
{
    *out << row.name;
}

// The Windows build folders whose zephr.sys each row runs on.
const char* const kImageBuilds[] = {ZEPHR_WINDOWS_BUILD_DIR, ZEPHR_WINDOWS_X64_BUILD_DIR};

class DriverImageOption : public ::testing::TestWithParam<std::tuple<ToolRow, const char*>> {};

TEST_P(DriverImageOption, GivesWhatTheHostBuildDriverGives)
{
    const ToolRow& row = std::get<0>(GetParam());
    const std::string image = std::string(std::get<1>(GetParam())) + "/bin/zephr.sys";
    ASSERT_TRUE(std::filesystem::exists(image)) << image << " does not exist";
    std::vector<std::string> plain = row.command;
    std::vector<std::string> emulated = plain;
    emulated.insert(emulated.begin() + 1, row.imageOptions.begin(), row.imageOptions.end());
    emulated.insert(emulated.begin() + 1, {"--driver-image", image});

    const auto host = tool_test::runProgram(plain);
    const auto shipped = tool_test::runProgram(emulated);
    EXPECT_EQ(shipped.exitStatus, host.exitStatus) << shipped.err;
    EXPECT_EQ(shipped.out, host.out);
    EXPECT_EQ(shipped.err, host.err);
    EXPECT_FALSE(host.out.empty() && host.err.empty()) << "the command said nothing";
}

INSTANTIATE_TEST_SUITE_P(
    Tools, DriverImageOption,
    ::testing::Combine(
        ::testing::Values(
            ToolRow{"ZephrctlTemperatureTraced",
                    {ZEPHRCTL_PROGRAM, "--trace", "ioctl", "0x9C40A440", "--input", "00000000",
                     "--out-len", "4"}},
            ToolRow{"ZephrctlRefusedSensor",
                    {ZEPHRCTL_PROGRAM, "ioctl", "0x9C40A440", "--input", "00010000"}},
            ToolRow{"ZephrctlTemperatureTracedMoved",
                    {ZEPHRCTL_PROGRAM, "--trace", "ioctl", "0x9C40A440", "--input", "00000000",
                     "--out-len", "4"},
                    {"--image-base", "0x800000"}},
            ToolRow{"ZephrctlVersion", {ZEPHRCTL_PROGRAM, "version"}},
            ToolRow{"ZephrctlSystemInformation", {ZEPHRCTL_PROGRAM, "sysinfo"}},
            ToolRow{"ZephrctlAcpiReportTraced", {ZEPHRCTL_PROGRAM, "--trace", "acpi"}},
            ToolRow{"GaugehostReaderTraced",
                    {GAUGEHOST_PROGRAM, "--trace", "call", "GetCPUTemp", "1", "f", "y"}},
            ToolRow{"GaugehostReaderTracedMoved",
                    {GAUGEHOST_PROGRAM, "--trace", "call", "GetCPUTemp", "1", "f", "y"},
                    {"--image-base", "0x00800000"}},
            ToolRow{"GaugehostPanelFrame", {GAUGEHOST_PROGRAM, "panel", "--once"}}),
        ::testing::ValuesIn(kImageBuilds)),
    [](const auto& info) {
        return std::string(std::get<0>(info.param).name) +
               (std::get<1>(info.param) == kImageBuilds[0] ? "_i386" : "_x64");
    });

} // namespace
