// SPDX-License-Identifier: MIT
// smbios_locator_test.cpp
//
// The entry point search and the table location, run on the window of a
// simulated notebook: alignment, checksums, candidates near the window's
// end, the one-time search, tables in and out of the F segment, the own
// mapping made once, and what a failed own mapping leaves behind.
#include "driver/smbios/smbios.h"

#include "smbios_test_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <optional>

namespace {

using smbios_test::DriverState;
using smbios_test::machineWith;
using smbios_test::SmbiosLayout;
using smbios_test::systemNamed;

constexpr const char* kProductLine = "Product name: Inspiron 8600\r\n";

SmbiosLayout at(uint64_t entryPoint, std::optional<uint64_t> table = std::nullopt)
{
    SmbiosLayout layout;
    layout.entryPointAddress = entryPoint;
    layout.tableAddress = table;
    return layout;
}

// Mappings made of a physical address other than the window.
size_t mapsOf(sim::Machine& machine, uint64_t physical)
{
    char prefix[32];
    std::snprintf(prefix, sizeof prefix, "map 0x%08llx ",
                  static_cast<unsigned long long>(physical));
    const std::string window = std::string(prefix) + std::to_string(BIOS_SEGMENT_LENGTH) + " ";
    size_t count = 0;
    for (const auto& line : machine.trace.linesStartingWith(prefix))
        count += line.rfind(window, 0) == 0 ? 0 : 1;
    return count;
}

const uint8_t* entryPointIn(const DriverState& state, uint64_t physical)
{
    return state.window() + (physical - BIOS_SEGMENT_PHYSICAL);
}

TEST(SmbiosSearch, FindsAnEntryPointOnA4ByteBoundary)
{
    DriverState state(machineWith({systemNamed("Inspiron 8600")}, at(0xF1234)));
    EXPECT_NE(state.report().find(kProductLine), std::string::npos);
    EXPECT_EQ(SmbiosEntryPoint, entryPointIn(state, 0xF1234));
}

TEST(SmbiosSearch, SkipsACandidateWithABadChecksumAndGoesOn)
{
    auto machine = machineWith({systemNamed("Inspiron 8600")}, at(0xF8000));
    SmbiosLayout bad = at(0xF0100, 0xF0200);
    bad.badChecksum = true;
    sim::firmware::placeSmbios(machine->memory,
                               sim::firmware::buildSmbiosTable({systemNamed("Decoy")}), bad);
    DriverState state(machine);
    EXPECT_NE(state.report().find(kProductLine), std::string::npos);
    EXPECT_EQ(SmbiosEntryPoint, entryPointIn(state, 0xF8000));
}

TEST(SmbiosSearch, TheLowerOfTwoValidEntryPointsWins)
{
    auto machine = machineWith({systemNamed("Higher")}, at(0xF8000));
    sim::firmware::placeSmbios(machine->memory,
                               sim::firmware::buildSmbiosTable({systemNamed("Lower")}),
                               at(0xF4004, 0xF4100));
    DriverState state(machine);
    EXPECT_NE(state.report().find("Product name: Lower\r\n"), std::string::npos);
}

TEST(SmbiosSearch, AnEntryPointLengthOfZeroPassesTheChecksumAndFacesTheDmiTest)
{
    SmbiosLayout layout = at(0xF0000);
    layout.entryPointLength = 0;
    layout.badChecksum = true;
    DriverState withAnchor(machineWith({systemNamed("Inspiron 8600")}, layout));
    EXPECT_NE(withAnchor.report().find(kProductLine), std::string::npos);

    layout.intermediateAnchor = false;
    DriverState withoutAnchor(machineWith({systemNamed("Inspiron 8600")}, layout));
    EXPECT_EQ(withoutAnchor.report(), "*** Error: Pointer to DMI structures not found ***");
}

TEST(SmbiosSearch, ACandidateWhoseBytesPassTheWindowsEndIsSkipped)
{
    // 0x1E bytes of fields must fit: 0xFFFE0 + 0x1F ends at 0x100000 - 1.
    DriverState fits(machineWith({systemNamed("Inspiron 8600")}, at(0xFFFE0, 0xF0000)));
    EXPECT_NE(fits.report().find(kProductLine), std::string::npos);

    for (uint64_t address : {0xFFFE4ull, 0xFFFF0ull, 0xFFFFCull}) {
        DriverState past(machineWith({systemNamed("Inspiron 8600")}, at(address, 0xF0000)));
        EXPECT_EQ(past.report(), "*** Error: No SMBIOS found ***") << std::hex << address;
        EXPECT_EQ(SmbiosEntryPoint, nullptr);
    }
}

TEST(SmbiosSearch, AChecksumLengthThatPassesTheWindowsEndIsSkipped)
{
    SmbiosLayout layout = at(0xFFF00, 0xF0000);
    layout.entryPointLength = 0xFF; // 0xFFF00 + 0xFF: the last byte is 0xFFFFE
    DriverState fits(machineWith({systemNamed("Inspiron 8600")}, layout));
    EXPECT_NE(fits.report().find(kProductLine), std::string::npos);

    layout.entryPointAddress = 0xFFF04;
    DriverState past(machineWith({systemNamed("Inspiron 8600")}, layout));
    EXPECT_EQ(past.report(), "*** Error: No SMBIOS found ***");
}

TEST(SmbiosSearch, AFoundEntryPointIsKeptAndAFailedSearchIsRepeated)
{
    auto machine = std::make_shared<sim::Machine>();
    DriverState state(machine);
    EXPECT_EQ(state.report(), "*** Error: No SMBIOS found ***");

    // The firmware appears (the window is a copy, so a fresh window shows
    // it). The table lies above 1 MiB, so it reads the same whatever window
    // is current.
    sim::firmware::placeSmbios(machine->memory,
                               sim::firmware::buildSmbiosTable({systemNamed("Inspiron 8600")}),
                               at(0xF0000, 0x100000));
    void* first = BiosSegmentWindow;
    void* second = machine->mapIoSpace(BIOS_SEGMENT_PHYSICAL, BIOS_SEGMENT_LENGTH);
    BiosSegmentWindow = second;
    EXPECT_NE(state.report().find(kProductLine), std::string::npos);
    EXPECT_EQ(SmbiosEntryPoint, static_cast<uint8_t*>(second) + 0x10000);

    // Once found, it is not searched for again: back on the first window the
    // entry point found in the second is still used.
    BiosSegmentWindow = first;
    EXPECT_NE(state.report().find(kProductLine), std::string::npos);
    EXPECT_EQ(SmbiosEntryPoint, static_cast<uint8_t*>(second) + 0x10000);
    SmbiosEntryPoint = nullptr;
    machine->unmapIoSpace(second, BIOS_SEGMENT_LENGTH);
}

TEST(SmbiosTableLocation, ATableAt0xF0000IsReadThroughTheWindow)
{
    DriverState state(machineWith({systemNamed("Inspiron 8600")}, at(0xFF000, 0xF0000)));
    EXPECT_NE(state.report().find(kProductLine), std::string::npos);
    EXPECT_EQ(SmbiosTable, state.window() + 0x10000);
    EXPECT_EQ(SmbiosTableMapped, 0u);
    EXPECT_EQ(state.machine().liveMappings().size(), 1u);
}

TEST(SmbiosTableLocation, TablesOutsideTheFSegmentGetOneOwnMappingReusedAfterwards)
{
    for (uint64_t table : {0xEFFFFull, 0x100000ull, 0xE0000ull, 0x3FFE1234ull}) {
        DriverState state(machineWith({systemNamed("Inspiron 8600")}, at(0xF8000, table)));
        const std::string first = state.report();
        EXPECT_NE(first.find(kProductLine), std::string::npos) << std::hex << table;
        EXPECT_EQ(SmbiosTableMapped, 0xFFFFFFFFu);
        EXPECT_EQ(SmbiosTable, SmbiosTableMapping);
        const auto tableLength =
            sim::firmware::buildSmbiosTable({systemNamed("Inspiron 8600")}).bytes.size();
        EXPECT_EQ(SmbiosTableLength, tableLength);

        EXPECT_EQ(state.report(), first);
        EXPECT_EQ(state.cpuSpeed(), "---");
        EXPECT_EQ(mapsOf(state.machine(), table), 1u) << std::hex << table;
        EXPECT_EQ(state.machine().liveMappings().size(), 2u);
    }
}

TEST(SmbiosTableLocation, AFailedOwnMappingIsNotUsedNotMarkedAndTriedAgain)
{
    auto machine = machineWith({systemNamed("Inspiron 8600")}, at(0xF0000, 0x200000));
    machine->memory.markUnmappable(0x200000, 0x1000);
    DriverState state(machine);
    EXPECT_EQ(state.report(), "*** Error: SMBIOS table mapping failed ***");
    EXPECT_EQ(SmbiosTableMapped, 0u);
    EXPECT_EQ(SmbiosTableMapping, nullptr);
    EXPECT_EQ(SmbiosTableLength, 0u);
    EXPECT_EQ(state.cpuSpeed(), "---");
    EXPECT_EQ(mapsOf(*machine, 0x200000), 2u) << "each request tries the mapping again";
    EXPECT_EQ(machine->liveMappings().size(), 1u);
}

TEST(SmbiosTableLocation, AnEmptyTableOutsideTheWindowIsNotMapped)
{
    SmbiosLayout layout = at(0xF0000, 0x100000);
    layout.tableLength = 0;
    DriverState state(machineWith({systemNamed("Inspiron 8600")}, layout));
    EXPECT_EQ(state.report(), "");
    EXPECT_EQ(mapsOf(state.machine(), 0x100000), 0u);
    EXPECT_EQ(SmbiosTableMapped, 0u);
}

TEST(SmbiosTableLocation, AWindowTableEndsAtItsLengthOrAtTheWindowsEnd)
{
    // Two structures; the stated length covers only the first.
    const auto structures = std::vector{systemNamed("First"), systemNamed("Second")};
    const auto firstLength = sim::firmware::buildSmbiosTable({systemNamed("First")}).bytes.size();
    SmbiosLayout layout = at(0xF0000);
    layout.tableLength = static_cast<uint16_t>(firstLength);
    DriverState shortLength(machineWith(structures, layout));
    EXPECT_EQ(shortLength.report(), "System manufacturer: Maker\r\nProduct name: First\r\n"
                                    "Service tag: TAG\r\n");

    // A table that runs past 1 MiB is read up to the window's end only.
    SmbiosLayout crossing = at(0xF0000, 0xFFFF0);
    DriverState past(machineWith(structures, crossing));
    EXPECT_EQ(past.report(), "");
}

TEST(SmbiosTableLocation, AnOwnMappingKeepsTheLengthItWasMadeWith)
{
    DriverState state(machineWith({systemNamed("Inspiron 8600")}, at(0xF0000, 0x100000)));
    state.report();
    ASSERT_NE(SmbiosTableMapped, 0u);
    const USHORT mapped = SmbiosTableLength;

    // An entry point whose fields have changed since (a table in the F
    // segment now, another length): unload must still release the own
    // mapping with the length it was made with.
    std::vector<uint8_t> changed(static_cast<const uint8_t*>(SmbiosEntryPoint),
                                 static_cast<const uint8_t*>(SmbiosEntryPoint) + 0x1F);
    changed[0x16] = 0x34;
    changed[0x17] = 0x12;
    changed[0x18] = 0x00;
    changed[0x19] = 0x01;
    changed[0x1A] = 0x0F;
    SMBIOS_TABLE_VIEW view;
    ASSERT_EQ(LocateSmbiosTable(changed.data(), &view), SmbiosTableLocated);
    EXPECT_EQ(view.Start, state.window() + 0x10100);
    EXPECT_EQ(view.End - view.Start, 0x1234);
    EXPECT_EQ(SmbiosTableLength, mapped);
}

} // namespace
