// physical_memory_test.cpp
//
// Physical memory: fixture image folders, open-bus reads, overlapping loads,
// unmappable ranges, and the image folder errors.
#include "sim/machine.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

using sim::PhysicalMemory;
using sim_test::fixtureImage;
using sim_test::TempFolder;

std::vector<uint8_t> readAt(const PhysicalMemory& memory, uint64_t base, size_t length)
{
    std::vector<uint8_t> bytes(length);
    memory.read(base, bytes.data(), length);
    return bytes;
}

std::vector<uint8_t> fileBytes(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// The 32-bit SMBIOS entry point: "_SM_" on a 16-byte boundary of the F
// segment whose bytes (length at offset 5) sum to zero.
std::optional<uint64_t> findSmbiosAnchor(const PhysicalMemory& memory)
{
    const auto segment = readAt(memory, 0xF0000, 0x10000);
    for (size_t at = 0; at + 0x20 <= segment.size(); at += 16) {
        if (std::memcmp(&segment[at], "_SM_", 4) != 0)
            continue;
        const uint8_t length = segment[at + 5];
        uint8_t sum = 0;
        for (size_t i = 0; i < length && at + i < segment.size(); ++i)
            sum = static_cast<uint8_t>(sum + segment[at + i]);
        if (length >= 0x1F && sum == 0)
            return 0xF0000 + at;
    }
    return std::nullopt;
}

TEST(PhysicalMemoryImage, LoadsEveryRangeFileAtItsBase)
{
    PhysicalMemory memory;
    memory.loadImageFolder(fixtureImage("i440fx-inspiron-8600"));
    const auto folder = fixtureImage("i440fx-inspiron-8600") / "memory";
    EXPECT_EQ(readAt(memory, 0, 0x100000), fileBytes(folder / "00000000.bin"));
    const auto high = fileBytes(folder / "03fe0000.bin");
    EXPECT_EQ(readAt(memory, 0x03FE0000, high.size()), high);
}

TEST(PhysicalMemoryImage, SmbiosAnchorIsFoundByScanningTheFSegment)
{
    PhysicalMemory memory;
    memory.loadImageFolder(fixtureImage("i440fx-inspiron-8600"));
    const auto anchor = findSmbiosAnchor(memory);
    ASSERT_TRUE(anchor.has_value());
    EXPECT_GE(*anchor, 0xF0000u);
    // The intermediate anchor follows at offset 0x10.
    const auto dmi = readAt(memory, *anchor + 0x10, 5);
    EXPECT_EQ(std::string(dmi.begin(), dmi.end()), "_DMI_");
}

TEST(PhysicalMemoryImage, Smbios3OnlyImageHasNo32BitAnchor)
{
    PhysicalMemory memory;
    memory.loadImageFolder(fixtureImage("i440fx-smbios3-only"));
    EXPECT_FALSE(findSmbiosAnchor(memory).has_value());
}

TEST(PhysicalMemoryImage, EbdaSegmentWordIsInTheBiosDataArea)
{
    PhysicalMemory memory;
    memory.loadImageFolder(fixtureImage("q35-latitude-d810"));
    const auto word = readAt(memory, 0x40E, 2);
    const uint32_t ebda = (word[0] | word[1] << 8) << 4;
    EXPECT_GE(ebda, 0x80000u);
    EXPECT_LT(ebda, 0xA0000u);
}

TEST(PhysicalMemoryReads, UncapturedBytesReadAsOpenBus)
{
    PhysicalMemory memory;
    memory.load(0x1000, {1, 2, 3, 4});
    EXPECT_EQ(readAt(memory, 0x0FFE, 8), (std::vector<uint8_t>{0xFF, 0xFF, 1, 2, 3, 4, 0xFF, 0xFF}));
    EXPECT_EQ(readAt(memory, 0x200000, 3), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));
}

TEST(PhysicalMemoryReads, LaterRangesOverwriteEarlierOnes)
{
    PhysicalMemory memory;
    memory.load(0x100, {1, 1, 1, 1});
    memory.load(0x102, {2, 2, 2, 2});
    EXPECT_EQ(readAt(memory, 0x100, 6), (std::vector<uint8_t>{1, 1, 2, 2, 2, 2}));
}

TEST(PhysicalMemoryReads, ReadReachingTheTopOfTheSpaceDoesNotWrap)
{
    PhysicalMemory memory;
    memory.load(0, {7, 7});
    memory.load(UINT64_MAX - 1, {9, 9});
    EXPECT_EQ(readAt(memory, UINT64_MAX - 1, 4), (std::vector<uint8_t>{9, 9, 0xFF, 0xFF}));
}

TEST(PhysicalMemoryMappable, OneUnmappableByteAtEitherEdgeRefusesTheRange)
{
    PhysicalMemory memory;
    memory.markUnmappable(0xE0000, 0x20000);
    EXPECT_FALSE(memory.mappable(0xE0000, 0x20000));
    EXPECT_FALSE(memory.mappable(0xDF000, 0x1001));  // last byte inside
    EXPECT_FALSE(memory.mappable(0xFFFFF, 1));       // first byte inside
    EXPECT_TRUE(memory.mappable(0xDF000, 0x1000));   // ends just before
    EXPECT_TRUE(memory.mappable(0x100000, 0x1000));  // starts just after
    EXPECT_FALSE(memory.mappable(UINT64_MAX, 2));    // wraps
}

TEST(PhysicalMemoryImageErrors, MissingFolderIsNamed)
{
    PhysicalMemory memory;
    const std::filesystem::path folder = "/nonexistent/zephr-image";
    try {
        memory.loadImageFolder(folder);
        FAIL() << "a missing image folder loaded";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find(folder.string()), std::string::npos)
            << error.what();
    }
}

TEST(PhysicalMemoryImageErrors, FolderWithoutMemorySubfolderIsRefused)
{
    TempFolder temp;
    temp.write("qemu-command.txt", "qemu");
    PhysicalMemory memory;
    EXPECT_THROW(memory.loadImageFolder(temp.path()), std::runtime_error);
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
        EXPECT_NE(std::string(error.what()).find(bad.string()), std::string::npos)
            << error.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Names, BadRangeFileName,
                         testing::Values("e0000.bin", "000e000g.bin", "000e0000.dat",
                                         "0000e0000.bin", "README.md", "000e0000.bin.orig"));

} // namespace
