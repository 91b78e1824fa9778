// SPDX-License-Identifier: MIT
// structure_lines_test.cpp
//
// The report lines of each structure type (FormatSmbiosStructure): the
// texts word for word, the computed values (cache sizes, SBDS dates), and
// the conditions under which optional lines and parts appear.
#include "driver/smbios/smbios.h"

#include "smbios_test_support.h"

#include <gtest/gtest.h>

#include <memory>

namespace {

using smbios_test::Fields;
using smbios_test::structure;
using smbios_test::structureBytes;

// The lines FormatSmbiosStructure appends for one structure, formatted from
// an exact-size copy of its bytes.
std::string linesOf(const sim::firmware::SmbiosStructure& made)
{
    const std::vector<uint8_t> bytes = structureBytes(made);
    auto copy = std::make_unique<uint8_t[]>(bytes.size());
    std::copy(bytes.begin(), bytes.end(), copy.get());
    const ULONG length = GetSmbiosStructureLength(copy.get(), copy.get() + bytes.size());
    EXPECT_EQ(length, bytes.size());

    std::vector<char> buffer(4096, 0);
    REPORT_TEXT text;
    ReportTextInit(&text, buffer.data(), ULONG(buffer.size()), REPORT_TRUNCATED_MARKER);
    FormatSmbiosStructure(&text, copy.get(), length);
    return buffer.data();
}

TEST(StructureLines, BiosSystemAndEnclosure)
{
    EXPECT_EQ(linesOf(structure(0, Fields(0x12).byte(0x04, 1).byte(0x05, 2).byte(0x08, 3),
                                {"Vendor Co.", "A05", "10/02/2005"})),
              "BIOS vendor: Vendor Co.\r\nBIOS version: A05\r\nBIOS date: 10/02/2005\r\n");
    EXPECT_EQ(linesOf(structure(1, Fields(0x19).byte(0x04, 1).byte(0x05, 2).byte(0x07, 3),
                                {"Nord", "Inspiron 8600  ", "7XK2L41"})),
              "System manufacturer: Nord\r\nProduct name: Inspiron 8600  \r\n"
              "Service tag: 7XK2L41\r\n");
    EXPECT_EQ(linesOf(structure(3, Fields(0x0D).byte(0x08, 1), {"ASSET-1"})),
              "Asset tag: ASSET-1\r\n");
}

TEST(StructureLines, AStringNumberOfZeroOrPastTheSetStillGivesItsLine)
{
    EXPECT_EQ(linesOf(structure(1, Fields(0x08).byte(0x04, 1).byte(0x05, 0).byte(0x07, 2),
                                {"Nord", "SERIAL"})),
              "System manufacturer: Nord\r\nProduct name: --\r\nService tag: SERIAL\r\n");
    EXPECT_EQ(linesOf(structure(3, Fields(0x09).byte(0x08, 7), {"only one"})),
              "Asset tag: " SMBIOS_BAD_STRING_TEXT "\r\n");
    EXPECT_EQ(linesOf(structure(3, Fields(0x09).byte(0x08, 7))), "Asset tag: --\r\n");
}

TEST(StructureLines, ProcessorSpeedsAreTheRawWords)
{
    EXPECT_EQ(linesOf(structure(
                  4, Fields(0x1A).byte(0x07, 1).word(0x12, 133).word(0x14, 0).word(0x16, 65535),
                  {"GenuineIntel"})),
              "CPU manufacturer: GenuineIntel\r\nCurrent CPU speed: 65535 MHz\r\n"
              "External clock: 133 MHz\r\nMax. CPU speed supported by board: 0 MHz\r\n");
}

TEST(StructureLines, AProcessorTooShortForItsSpeedsReadsZeroPastItsEnd)
{
    // Formatted length 0x10: the speed words lie past the structure's bytes.
    EXPECT_EQ(linesOf(structure(4, Fields(0x10).byte(0x07, 0))),
              "CPU manufacturer: --\r\nCurrent CPU speed: 0 MHz\r\nExternal clock: 0 MHz\r\n"
              "Max. CPU speed supported by board: 0 MHz\r\n");
}

std::string cacheLine(uint16_t configuration, uint16_t installed)
{
    return linesOf(structure(7, Fields(0x13).word(0x05, configuration).word(0x09, installed)));
}

TEST(StructureLines, CacheLevelSizeAndLocation)
{
    EXPECT_EQ(cacheLine(0x0181, 0x8010), "L2 cache size: 1024 KB (internal)\r\n");
    EXPECT_EQ(cacheLine(0x0180, 0x0200), "L1 cache size: 512 KB (internal)\r\n");
    EXPECT_EQ(cacheLine(0x0022, 0x0100), "L3 cache size: 256 KB (external)\r\n");
    EXPECT_EQ(cacheLine(0x0047, 0xFFFF), "L8 cache size: 2097088 KB (reserved)\r\n");
    EXPECT_EQ(cacheLine(0x0060, 0x0000), "L1 cache size: 0 KB (unknown)\r\n");
}

TEST(StructureLines, OnBoardDevicesLookAtTheFirstDeviceOnly)
{
    auto devices = [](std::vector<uint8_t> types, std::vector<std::string> names) {
        Fields fields(static_cast<uint8_t>(4 + 2 * types.size()));
        for (size_t i = 0; i < types.size(); ++i)
            fields.byte(4 + 2 * i, types[i]).byte(5 + 2 * i, uint8_t(i + 1));
        return linesOf(structure(10, fields, names));
    };
    EXPECT_EQ(devices({0x03}, {"Radeon"}), "Video card: Radeon\r\n") << "disabled video";
    EXPECT_EQ(devices({0x83}, {"Radeon"}), "Video card: Radeon\r\n");
    EXPECT_EQ(devices({0x85}, {"BCM4401"}), "Ethernet card: BCM4401\r\n");
    EXPECT_EQ(devices({0x87, 0x83}, {"STAC9750", "Radeon"}), "Sound card: STAC9750\r\n");
    EXPECT_EQ(devices({0x04, 0x87}, {"SCSI", "STAC9750"}), "");
    EXPECT_EQ(devices({0x01}, {"Other"}), "");
}

std::string memoryLine(uint8_t length, uint16_t speed)
{
    Fields fields(length);
    fields.word(0x0C, 512).byte(0x10, 1);
    if (length >= 0x17)
        fields.word(0x15, speed);
    return linesOf(structure(17, fields, {"DIMM_A"}));
}

TEST(StructureLines, MemoryDeviceSpeedPartNeedsLength23AndASpeed)
{
    EXPECT_EQ(memoryLine(0x15, 0), "SODIMM Socket 'DIMM_A': 512 MB\r\n");
    EXPECT_EQ(memoryLine(0x1B, 0), "SODIMM Socket 'DIMM_A': 512 MB\r\n");
    EXPECT_EQ(memoryLine(0x1B, 266), "SODIMM Socket 'DIMM_A': 512 MB (266 MHz)\r\n");
    EXPECT_EQ(memoryLine(0x17, 333), "SODIMM Socket 'DIMM_A': 512 MB (333 MHz)\r\n");
    // The Size word is printed raw: granularity bit and special values included.
    EXPECT_EQ(linesOf(structure(17, Fields(0x15).word(0x0C, 0xFFFF))),
              "SODIMM Socket '--': 65535 MB\r\n");
}

sim::firmware::SmbiosStructure battery(uint8_t length, uint8_t dateString, uint8_t serialString)
{
    Fields fields(length);
    fields.byte(0x04, 1).byte(0x05, 2).byte(0x06, dateString).byte(0x07, serialString);
    fields.byte(0x08, 3);
    if (length >= 0x12)
        fields.word(0x10, 6699);
    if (length >= 0x13)
        fields.byte(0x12, 0x81);
    if (length >= 0x14)
        fields.byte(0x13, 0x2E);
    return structure(22, fields, {"Bay", "Volta", "NORD 4M0101", "05/17/2003", "S123"});
}

const std::string kBatteryHead =
    "Battery manufacturer: Volta\r\nBattery device name: NORD 4M0101\r\nBattery location: Bay\r\n";

TEST(StructureLines, BatteryDateAndSerialComeFromTheirStringsFirst)
{
    EXPECT_EQ(linesOf(battery(0x1A, 4, 5)), kBatteryHead +
                                                "Battery manufacturing date: 05/17/2003\r\n"
                                                "Battery serial no: S123\r\n");
}

TEST(StructureLines, BatteryFallsBackToTheSbdsWords)
{
    EXPECT_EQ(linesOf(battery(0x1A, 0, 0)), kBatteryHead +
                                                "Battery manufacturing date: 4/1/2003 (SBDS)\r\n"
                                                "Battery serial no: 6699 (SBDS)\r\n");
}

TEST(StructureLines, BatterySbdsThresholdsAre19And17)
{
    EXPECT_EQ(linesOf(battery(0x10, 0, 0)), kBatteryHead);
    // Length 17: the serial word's high byte is the first byte of the string
    // set ('B', 0x42), so the word is 0x4200.
    EXPECT_EQ(linesOf(battery(0x11, 0, 0)), kBatteryHead + "Battery serial no: 16896 (SBDS)\r\n");
    // Length 19: the date word's high byte is the first byte of the string
    // set ('B', 0x42), so the word is 0x4281.
    EXPECT_EQ(linesOf(battery(0x13, 0, 0)), kBatteryHead +
                                                "Battery manufacturing date: 4/1/2013 (SBDS)\r\n"
                                                "Battery serial no: 6699 (SBDS)\r\n");
    EXPECT_EQ(linesOf(battery(0x12, 0, 0)), kBatteryHead + "Battery serial no: 6699 (SBDS)\r\n");
}

TEST(StructureLines, OtherTypesAddNothing)
{
    for (uint8_t type : {2, 5, 6, 8, 9, 11, 16, 19, 32, 127, 200, 255})
        EXPECT_EQ(linesOf(structure(type, Fields(0x20).byte(0x04, 1).byte(0x05, 1), {"x"})), "")
            << int(type);
}

} // namespace
