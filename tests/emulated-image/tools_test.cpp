// SPDX-License-Identifier: MIT
// tools_test.cpp
//
// zephrctl and gaugehost with --driver-image build-windows/bin/zephr.sys
// against the same command lines without it: the same standard output, the
// same standard error (with --trace: every hardware access and debug message
// from the shipped binary) and the same exit status; also with the image
// moved by --image-base, its base relocations applied.
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

class DriverImageOption : public ::testing::TestWithParam<ToolRow> {};

TEST_P(DriverImageOption, GivesWhatTheHostBuildDriverGives)
{
    const std::string image = std::string(ZEPHR_WINDOWS_BUILD_DIR) + "/bin/zephr.sys";
    ASSERT_TRUE(std::filesystem::exists(image)) << image << " does not exist";
    std::vector<std::string> plain = GetParam().command;
    std::vector<std::string> emulated = plain;
    emulated.insert(emulated.begin() + 1, GetParam().imageOptions.begin(),
                    GetParam().imageOptions.end());
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
    ::testing::Values(ToolRow{"ZephrctlTemperatureTraced",
                              {ZEPHRCTL_PROGRAM, "--trace", "ioctl", "0x9C40A440", "--input",
                               "00000000", "--out-len", "4"}},
                      ToolRow{"ZephrctlRefusedSensor",
                              {ZEPHRCTL_PROGRAM, "ioctl", "0x9C40A440", "--input", "00010000"}},
                      ToolRow{"ZephrctlTemperatureTracedMoved",
                              {ZEPHRCTL_PROGRAM, "--trace", "ioctl", "0x9C40A440", "--input",
                               "00000000", "--out-len", "4"},
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
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
