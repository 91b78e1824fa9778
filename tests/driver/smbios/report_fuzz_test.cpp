// SPDX-License-Identifier: MIT
// report_fuzz_test.cpp
//
// Malformed SMBIOS firmware thrown at the report and the CPU speed answer:
// seeded random structure counts, table lengths, formatted lengths, string
// numbers and string sets (unterminated ones included), entry points near
// the window's end and tables anywhere. The mappings are the simulator's, so
// a read outside one faults on a guard page or, under AddressSanitizer, on a
// poisoned byte; the answer buffers are exact heap blocks. Every answer must
// end in its terminating zero inside its buffer with zeros after it.
#include "driver/smbios/smbios.h"

#include "malformed_firmware.h"
#include "smbios_test_support.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <random>

namespace {

using smbios_test::DriverState;
using smbios_test::MalformedFirmware;

// The whole buffer is heap memory of exactly its size: a write past it, and
// a terminating zero past it, show.
void expectBounded(const std::vector<char>& buffer, const std::string& where)
{
    const auto end = std::find(buffer.begin(), buffer.end(), '\0');
    ASSERT_NE(end, buffer.end()) << where << ": no terminating zero";
    EXPECT_TRUE(std::all_of(end, buffer.end(), [](char c) { return c == 0; }))
        << where << ": stale bytes after the text";
}

TEST(ReportFuzz, MalformedTablesNeverLeadOutsideAMappingOrPastABuffer)
{
    const uint32_t seeds[] = {4, 2003, 8600};
    int placed = 0;
    int walked = 0;      // reports with lines of structures
    int ownMappings = 0; // tables read through a mapping of their own
    int truncated = 0;
    for (uint32_t seed : seeds) {
        MalformedFirmware firmware(seed);
        for (int round = 0; round < 250; ++round) {
            auto machine = firmware.machine();
            if (!machine)
                continue;
            ++placed;
            const std::string where =
                "seed " + std::to_string(seed) + " round " + std::to_string(round);
            DriverState state(machine);
            const std::vector<char> report = state.reportBuffer();
            expectBounded(report, where);
            const std::string text(report.data());
            walked += !text.empty() && text.rfind("*** Error", 0) != 0 ? 1 : 0;
            ownMappings += SmbiosTableMapped != 0 ? 1 : 0;
            truncated += text.find(REPORT_TRUNCATED_MARKER) != std::string::npos ? 1 : 0;
            std::vector<char> speed(ZEPHR_CPU_SPEED_LENGTH, static_cast<char>(0xCD));
            GetCpuSpeedText(speed.data());
            expectBounded(speed, where + " (CPU speed)");
            // A second request, through what the first one found and mapped,
            // gives the same report.
            EXPECT_EQ(state.reportBuffer(), report) << where;
            if (testing::Test::HasFailure())
                return;
        }
    }
    // The draws reach every path: the walk, own mappings, the marker.
    EXPECT_GT(placed, 500);
    EXPECT_GT(walked, 100);
    EXPECT_GT(ownMappings, 100);
    EXPECT_GT(truncated, 0);
    std::printf("placed %d, walked %d, own mappings %d, truncated %d\n", placed, walked,
                ownMappings, truncated);
}

} // namespace
