// SPDX-License-Identifier: MIT
// acpi_report_test.cpp
//
// The ACPI report over pointers and tables built for each case: where the
// search looks, which candidates it takes, the RSDT and XSDT walks, the
// mapping registry behind them, and the report's soundness against tables
// whose lengths and counts cannot be right.
#include "acpi_tables.h"
#include "support/driver_harness.h"

#include <gtest/gtest.h>

using namespace acpi_test;
using zephr_test::Device;
using zephr_test::LoadedDriver;

namespace {

std::string report(const Device& device)
{
    auto reply = device.ioctl(IOCTL_ZEPHR_GET_ACPI_REPORT, {}, ZEPHR_ACPI_REPORT_LENGTH);
    EXPECT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, ZEPHR_ACPI_REPORT_LENGTH);
    return reply.text();
}

bool has(const std::string& text, const std::string& piece)
{
    return text.find(piece) != std::string::npos;
}

size_t count(const std::string& text, const std::string& piece)
{
    size_t n = 0;
    for (size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) {
        ++n;
    }
    return n;
}

TEST(AcpiReport, APointerInTheEbdaEndsTheSearchThere)
{
    auto machine = emptyNotebook();
    machine->memory.load(0x9FC40, rsdp(0, 0x200000));
    machine->memory.load(0x200000, table("RSDT", 36));
    LoadedDriver driver(machine);
    std::string text = report(Device());
    EXPECT_EQ(text.rfind("Searching EBDA for signature...\r\nSearching VA 0x", 0), 0u) << text;
    EXPECT_TRUE(has(text, ", 1024 Bytes...\r\nSig found at VA 0x")) << text;
    EXPECT_FALSE(has(text, "Searching BIOS area")) << text;
    EXPECT_TRUE(has(text, "ACPI V1 BIOS detected\r\nRSDT @ VA 0x")) << text;
    EXPECT_TRUE(has(text, "(PA 0x00200000)\r\nAnalyzing RSDT...\r\n  Remapping 'RSDT', 36 Bytes"))
        << text;
    // A root of exactly its header: four lines and no entry.
    EXPECT_FALSE(has(text, "Table found")) << text;
}

TEST(AcpiReport, OnlySixteenByteBoundariesAndRevisionsZeroAndTwoAreCandidates)
{
    auto machine = emptyNotebook();
    machine->memory.load(0xF0001, rsdp(0, 0x200000));             // one byte off a boundary
    machine->memory.load(0xF0010, rsdp(1, 0x200000));             // revision 1
    machine->memory.load(0xF0020, rsdp(3, 0x200000));             // revision 3
    machine->memory.load(0xF0030, rsdp(0, 0x200000, 0, 0, true)); // bad checksum
    machine->memory.load(0xF0050, rsdp(0, 0x300000));
    machine->memory.load(0x300000, table("RSDT", 36));
    LoadedDriver driver(machine);
    std::string text = report(Device());
    EXPECT_TRUE(has(text, "Searching BIOS area for signature...\r\nSearching VA 0x")) << text;
    EXPECT_TRUE(has(text, ", 131072 Bytes...\r\n")) << text;
    // The bad checksum's line stays; the one after it is accepted.
    EXPECT_EQ(count(text, "Sig found at VA"), 2u) << text;
    EXPECT_TRUE(has(text, "(PA 0x00300000)")) << text;
}

TEST(AcpiReport, NoPointerAnywhereEndsTheReportWithoutAMappingList)
{
    LoadedDriver driver(emptyNotebook());
    std::string text = report(Device());
    EXPECT_EQ(text.substr(text.size() - 35), "*** ERROR: No ACPI BIOS found ***\r\n");
    EXPECT_FALSE(has(text, "PA->VA Mappings"));
    EXPECT_EQ(driver.machine().liveMappings().size(), 1u) << "only the window stays mapped";
}

TEST(AcpiReport, AnXsdtHighPartEndsThatAreasSearchOnTheSameLine)
{
    auto machine = emptyNotebook();
    machine->memory.load(0x9FC00, rsdp(2, 0, 0x200000, 1));
    machine->memory.load(0xF0000, rsdp(2, 0x12345678, 0x200000, 0));
    std::vector<uint64_t> xsdtEntries = {0x1'0030'0000ull};
    machine->memory.load(0x200000, table("XSDT", 36 + 8, entries64(xsdtEntries)));
    machine->memory.load(0x300000, table("SSDT", 40));
    LoadedDriver driver(machine);
    std::string text = report(Device());
    EXPECT_TRUE(has(text, "*** ERROR: XSDT highpart in RSDP is not zero ! ***Searching BIOS area "
                          "for signature...\r\n"))
        << text;
    EXPECT_TRUE(has(text, "ACPI V2 BIOS detected\r\nXSDT @ VA 0x")) << text;
    EXPECT_TRUE(has(text, "Analyzing XSDT...\r\n")) << text;
    // The entry's high half is not looked at: the table at its low half is followed.
    EXPECT_TRUE(has(text, "Table found at PA 0x00300000 ...\r\n  Remapping 'SSDT', 40 Bytes"))
        << text;
}

TEST(AcpiReport, AnXsdtWhoseEntriesAreNotWholeIsNotWalked)
{
    auto machine = emptyNotebook();
    machine->memory.load(0xF0000, rsdp(2, 0, 0x200000, 0));
    machine->memory.load(0x200000, table("XSDT", 36 + 12, std::vector<uint8_t>(12, 0)));
    LoadedDriver driver(machine);
    std::string text = report(Device());
    EXPECT_TRUE(has(text, "XSDT size not DWORD aligned\r\n")) << text;
    EXPECT_FALSE(has(text, "Table found")) << text;
    EXPECT_TRUE(has(text, "\r\nPA->VA Mappings:\r\n")) << text;
}

TEST(AcpiReport, ATableInTheWindowIsServedFromItAndNotListed)
{
    auto machine = emptyNotebook();
    machine->memory.load(0xF0000, rsdp(0, 0x200000));
    machine->memory.load(0x200000, table("RSDT", 36 + 4, entries32({0xE1000})));
    machine->memory.load(0xE1000, table("FACP", 116, {}, std::string("AB\0CD ", 6), "SIXCHARS"));
    LoadedDriver driver(machine);
    std::string text = report(Device());
    auto window = driver.machine().liveMappings().at(0).virtualAddress;
    char expected[80];
    std::snprintf(expected, sizeof expected, "  Table remapped to VA 0x%08x (PA 0x000e1000)\r\n",
                  unsigned(window + 0x1000));
    EXPECT_TRUE(has(text, expected)) << text;
    EXPECT_FALSE(has(text, "PA 0x000e1000 ->")) << text;
    EXPECT_TRUE(has(text, "  OEMID:'AB'\r\n")) << "a NUL ends the field: " << text;
    EXPECT_TRUE(has(text, "  OEM Table ID:'SIXCHARS'\r\n")) << text;
}

// A table of its header's length alone needs no remapping, so its second
// listing, too, reuses the first one's mapping.
TEST(AcpiReport, ATableListedTwiceIsReportedTwiceAndMappedOnce)
{
    for (uint32_t length : {120u, 36u}) {
        auto machine = emptyNotebook();
        machine->memory.load(0xF0000, rsdp(0, 0x200000));
        machine->memory.load(0x200000, table("RSDT", 36 + 8, entries32({0x300000, 0x300000})));
        machine->memory.load(0x300000, table("APIC", length));
        LoadedDriver driver(machine);
        std::string text = report(Device());
        std::string remapping = "Remapping 'APIC', " + std::to_string(length) + " Bytes";
        EXPECT_EQ(count(text, remapping), 2u) << text;
        EXPECT_EQ(count(text, "PA 0x00300000 -> VA"), 1u) << text;
        size_t maps = driver.machine().trace.linesStartingWith("map 0x00300000").size();
        EXPECT_EQ(maps, length == 36 ? 1u : 2u) << "header, then the whole table once";
    }
}

TEST(AcpiReport, LengthsThatCannotBeRightAreNotMappedAsIfSound)
{
    auto machine = emptyNotebook();
    machine->memory.load(0xF0000, rsdp(0, 0x200000));
    machine->memory.load(0x200000, table("RSDT", 36 + 8, entries32({0x300000, 0x400000})));
    machine->memory.load(0x300000, table("TINY", 20));
    machine->memory.load(0x400000, table("HUGE", 0xFFFFFFF0u));
    LoadedDriver driver(machine);
    std::string text = report(Device());
    EXPECT_TRUE(has(text, "Table length 20 is not sound")) << text;
    EXPECT_TRUE(has(text, "Table length 4294967280 is not sound")) << text;
    EXPECT_FALSE(has(text, "(PA 0x00400000)\r\n")) << text;

    // A root below its header is not walked at all.
    auto second = emptyNotebook();
    second->memory.load(0xF0000, rsdp(0, 0x200000));
    second->memory.load(0x200000, table("RSDT", 8));
    driver.unload();
    LoadedDriver again(second);
    text = report(Device());
    EXPECT_TRUE(has(text, "Table length 8 is not sound")) << text;
    EXPECT_FALSE(has(text, "Table found")) << text;
}

TEST(AcpiReport, AnUnmappableTableGetsAnErrorLineAndTheWalkGoesOn)
{
    auto machine = emptyNotebook();
    machine->memory.load(0xF0000, rsdp(0, 0x200000));
    machine->memory.load(0x200000, table("RSDT", 36 + 8, entries32({0x300000, 0x400000})));
    machine->memory.markUnmappable(0x300000, 0x1000);
    machine->memory.load(0x400000, table("HPET", 56));
    LoadedDriver driver(machine);
    std::string text = report(Device());
    EXPECT_TRUE(has(text, "Table found at PA 0x00300000...\r\n  *** ERROR: Table could not be "
                          "mapped ***\r\nTable found at PA 0x00400000...\r\n  Remapping 'HPET'"))
        << text;
}

TEST(AcpiReport, TheRegistryNeverPassesItsHundredEntries)
{
    auto machine = emptyNotebook();
    std::vector<uint32_t> addresses;
    for (uint32_t i = 0; i < 120; ++i) {
        uint32_t at = 0x300000 + i * 0x1000;
        addresses.push_back(at);
        machine->memory.load(at, table("SSDT", 40));
    }
    machine->memory.load(0xF0000, rsdp(0, 0x200000));
    machine->memory.load(0x200000, table("RSDT", 36 + 4 * 120, entries32(addresses)));
    LoadedDriver driver(machine);
    std::string text = report(Device());
    EXPECT_EQ(count(text, "PA 0x00") - count(text, "(PA 0x00") - count(text, "at PA 0x00"), 100u)
        << "one listing line per registry entry";
    EXPECT_EQ(count(text, "*** ERROR: Table could not be mapped ***"), 120u - 98u) << text;
}

TEST(AcpiReport, AReportThatOutgrowsItsBufferEndsWithTheMarkerInside)
{
    auto machine = emptyNotebook();
    std::vector<uint32_t> addresses(2000, 0x300000);
    machine->memory.load(0xF0000, rsdp(0, 0x200000));
    machine->memory.load(0x200000, table("RSDT", 36 + 4 * 2000, entries32(addresses)));
    machine->memory.load(0x300000, table("SSDT", 40));
    LoadedDriver driver(machine);
    std::string text = report(Device());
    EXPECT_LT(text.size(), ZEPHR_ACPI_REPORT_LENGTH);
    EXPECT_EQ(text.substr(text.size() - 31), "*** Error: Report truncated ***");
}

TEST(AcpiReport, WithoutTheWindowTheBiosAreaIsNeitherSearchedNorRegistered)
{
    auto machine = emptyNotebook();
    machine->memory.markUnmappable(0xE0000, 0x20000);
    LoadedDriver driver(machine);
    std::string text = report(Device());
    EXPECT_TRUE(has(text, "Searching BIOS area for signature...\r\n*** Error: BIOS segment "
                          "mapping failed ***\r\n*** ERROR: No ACPI BIOS found ***\r\n"))
        << text;
}

// A request that reaches the device after the unload (the link could not be
// removed, and the kernel let the unload run with the handle open) maps
// nothing: nothing would ever release it.
TEST(AcpiReport, AfterUnloadAReportMapsNothing)
{
    auto machine = emptyNotebook();
    machine->memory.load(0x9FC40, rsdp(0, 0x200000));
    machine->memory.load(0x200000, table("RSDT", 36 + 4, entries32({0x300000})));
    machine->memory.load(0x300000, table("APIC", 120));
    LoadedDriver driver(machine,
                        {.deleteLink = STATUS_ACCESS_DENIED, .unloadWithHandlesOpen = true});
    Device device;
    ASSERT_TRUE(has(report(device), "Remapping 'APIC'"));
    driver.unload();
    size_t before = machine->trace.linesStartingWith("map ").size();
    std::string text = report(device);
    EXPECT_EQ(machine->trace.linesStartingWith("map ").size(), before) << text;
    EXPECT_TRUE(machine->liveMappings().empty());
    EXPECT_TRUE(has(text, "*** ERROR: No ACPI BIOS found ***\r\n")) << text;
}

} // namespace
