// SPDX-License-Identifier: MIT
// physical_memory_test.cpp
//
// Physical memory: fixture image folders, open-bus reads, overlapping loads,
// unmappable ranges, and the image folder errors.
#include "sim/machine.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using sim::PhysicalMemory;
using sim_test::TempFolder;

std::vector<uint8_t> readAt(const PhysicalMemory& memory, uint64_t base, size_t length)
{
    std::vector<uint8_t> bytes(length);
    memory.read(base, bytes.data(), length);
    return bytes;
}

TEST(PhysicalMemory, FixtureImageLoadsWithItsSmbiosAnchorInTheFSegment)
{
    PhysicalMemory memory;
    memory.loadImageFolder(sim_test::fixtureImage("i440fx-inspiron-8600"));
    // "_SM_" on a 16-byte boundary whose entry point (length at offset 5)
    // sums to zero, as a firmware scan finds it.
    const auto segment = readAt(memory, 0xF0000, 0x10000);
    std::optional<size_t> anchor;
    for (size_t at = 0; at + 0x20 <= segment.size() && !anchor; at += 16) {
        uint8_t sum = 0;
        for (size_t i = 0; i < segment[at + 5] && at + i < segment.size(); ++i)
            sum = static_cast<uint8_t>(sum + segment[at + i]);
        if (std::memcmp(&segment[at], "_SM_", 4) == 0 && segment[at + 5] >= 0x1F && sum == 0)
            anchor = at;
    }
    ASSERT_TRUE(anchor.has_value());
    EXPECT_EQ(std::memcmp(&segment[*anchor + 0x10], "_DMI_", 5), 0);
    // The range above 1 MiB came from its own file; between them is open bus.
    EXPECT_NE(readAt(memory, 0x03FE0000, 4), std::vector<uint8_t>(4, 0xFF));
    EXPECT_EQ(readAt(memory, 0x00100000, 4), std::vector<uint8_t>(4, 0xFF));
}

TEST(PhysicalMemory, ReadsSeeOpenBusAroundRangesAndLaterRangesWin)
{
    PhysicalMemory memory;
    memory.load(0x1000, {1, 1, 1, 1});
    memory.load(0x1002, {2, 2});
    memory.load(UINT64_MAX - 1, {9, 9});
    EXPECT_EQ(readAt(memory, 0x0FFF, 6), (std::vector<uint8_t>{0xFF, 1, 1, 2, 2, 0xFF}));
    EXPECT_EQ(readAt(memory, UINT64_MAX - 1, 4), (std::vector<uint8_t>{9, 9, 0xFF, 0xFF}));
}

// Under UBSan a memset on the null buffer of an empty read is a report.
TEST(PhysicalMemory, AnEmptyReadTouchesNoBuffer)
{
    PhysicalMemory memory;
    memory.load(0x1000, {1, 2});
    memory.read(0x1000, nullptr, 0);
    EXPECT_EQ(readAt(memory, 0x1000, 2), (std::vector<uint8_t>{1, 2}));
}

TEST(PhysicalMemory, OneUnmappableByteAtEitherEdgeRefusesTheRange)
{
    PhysicalMemory memory;
    memory.markUnmappable(0xE0000, 0x20000);
    EXPECT_FALSE(memory.mappable(0xDF000, 0x1001));
    EXPECT_FALSE(memory.mappable(0xFFFFF, 1));
    EXPECT_TRUE(memory.mappable(0xDF000, 0x1000));
    EXPECT_TRUE(memory.mappable(0x100000, 0x1000));
    EXPECT_FALSE(memory.mappable(UINT64_MAX, 2)); // wraps
}

TEST(PhysicalMemory, MissingImageFolderIsNamed)
{
    PhysicalMemory memory;
    try {
        memory.loadImageFolder("/nonexistent/zephr-image");
        FAIL() << "a missing image folder loaded";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("/nonexistent/zephr-image"), std::string::npos);
    }
}

TEST(PhysicalMemory, RangeFilesRemovedAfterLoadingKeepTheirBytes)
{
    TempFolder temp;
    temp.write("memory/000f0000.bin", "_SM_");
    temp.write("memory/00200000.bin", ""); // an empty range places nothing
    PhysicalMemory memory;
    memory.loadImageFolder(temp.path());
    std::filesystem::remove_all(temp.path() / "memory");
    EXPECT_EQ(readAt(memory, 0xEFFFF, 6), (std::vector<uint8_t>{0xFF, '_', 'S', 'M', '_', 0xFF}));
    EXPECT_EQ(readAt(memory, 0x200000, 1), std::vector<uint8_t>{0xFF});
}

class BadRangeFileName : public testing::TestWithParam<const char*> {};

TEST_P(BadRangeFileName, IsAnErrorNamingTheFile)
{
    TempFolder temp;
    temp.write("memory/00000000.bin", std::string(16, '\0'));
    const auto bad = temp.write(std::string("memory/") + GetParam(), "x");
    PhysicalMemory memory;
    try {
        memory.loadImageFolder(temp.path());
        FAIL() << GetParam() << " was taken for a range file";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(bad.string()), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Names, BadRangeFileName,
                         testing::Values("e0000.bin", "000e000g.bin", "000e0000.dat",
                                         "0000e0000.bin", "README.md"));

} // namespace
