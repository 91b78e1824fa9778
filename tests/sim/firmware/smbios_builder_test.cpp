// SPDX-License-Identifier: MIT
// smbios_builder_test.cpp
//
// SMBIOS tables and entry points built for the simulated notebook: the
// bytes of structures and string sets, the entry point's fields and
// checksums, the overrides for broken firmware, and the placement in
// physical memory with its checks.
#include "sim/firmware/smbios.h"

#include <gtest/gtest.h>

#include <numeric>

namespace {

using sim::firmware::buildSmbiosEntryPoint;
using sim::firmware::buildSmbiosTable;
using sim::firmware::SmbiosEntryPointFields;
using sim::firmware::SmbiosLayout;
using sim::firmware::SmbiosStructure;

using Bytes = std::vector<uint8_t>;

uint8_t sum(const Bytes& bytes, size_t from, size_t count)
{
    return std::accumulate(bytes.begin() + long(from), bytes.begin() + long(from + count),
                           uint8_t{0}, [](uint8_t a, uint8_t b) { return uint8_t(a + b); });
}

SmbiosStructure made(uint8_t type, Bytes formatted, std::vector<std::string> strings = {})
{
    SmbiosStructure structure;
    structure.type = type;
    structure.formatted = std::move(formatted);
    structure.strings = std::move(strings);
    return structure;
}

TEST(SmbiosTableBuilder, WritesHeaderFormattedAreaAndStringSets)
{
    const auto table = buildSmbiosTable({made(1, {1, 2}, {"ab", "c"}), made(127, {})});
    EXPECT_EQ(table.bytes, (Bytes{0x01, 0x06, 0x00, 0x00, 0x01, 0x02, 'a', 'b', 0x00, 'c', 0x00,
                                  0x00, //
                                  0x7F, 0x04, 0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(table.structureCount, 2u);
    EXPECT_EQ(table.maxStructureSize, 12u);
}

TEST(SmbiosTableBuilder, TakesTheOverridesAsTheyStand)
{
    SmbiosStructure structure = made(4, {9, 9});
    structure.length = 0x30;
    structure.handle = 0x0400;
    structure.stringSet = Bytes{'x', 'y'};
    EXPECT_EQ(buildSmbiosTable({structure}).bytes,
              (Bytes{0x04, 0x30, 0x00, 0x04, 0x09, 0x09, 'x', 'y'}));
}

TEST(SmbiosTableBuilder, RefusesWhatNoTableCanHold)
{
    EXPECT_THROW(buildSmbiosTable({made(1, {}, {std::string("a\0b", 3)})}), std::invalid_argument);
    EXPECT_THROW(buildSmbiosTable({made(1, Bytes(252))}), std::invalid_argument);
    EXPECT_NO_THROW(buildSmbiosTable({made(1, Bytes(251))}));
    SmbiosStructure both = made(1, {}, {"a"});
    both.stringSet = Bytes{0, 0};
    EXPECT_THROW(buildSmbiosTable({both}), std::invalid_argument);
    const std::vector<SmbiosStructure> tooMany(300, made(1, {}, {std::string(250, 'x')}));
    EXPECT_THROW(buildSmbiosTable(tooMany), std::invalid_argument);
}

TEST(SmbiosEntryPointBuilder, HoldsTheFieldsAndSumsToZero)
{
    SmbiosEntryPointFields fields;
    fields.tableAddress = 0x000F1000;
    fields.tableLength = 0x0123;
    fields.structureCount = 9;
    fields.maxStructureSize = 0x40;
    const Bytes entry = buildSmbiosEntryPoint(fields);
    ASSERT_EQ(entry.size(), 0x1Fu);
    EXPECT_EQ(std::string(entry.begin(), entry.begin() + 4), "_SM_");
    EXPECT_EQ(std::string(entry.begin() + 0x10, entry.begin() + 0x15), "_DMI_");
    EXPECT_EQ(entry[0x05], 0x1F);
    EXPECT_EQ(entry[0x06], 2);
    EXPECT_EQ(entry[0x07], 3);
    EXPECT_EQ(entry[0x08] | entry[0x09] << 8, 0x40);
    EXPECT_EQ(entry[0x16] | entry[0x17] << 8, 0x0123);
    EXPECT_EQ(entry[0x18] | entry[0x19] << 8 | entry[0x1A] << 16 | entry[0x1B] << 24, 0xF1000);
    EXPECT_EQ(entry[0x1C] | entry[0x1D] << 8, 9);
    EXPECT_EQ(entry[0x1E], 0x23);
    EXPECT_EQ(sum(entry, 0, 0x1F), 0);
    EXPECT_EQ(sum(entry, 0x10, 0x0F), 0);
}

TEST(SmbiosEntryPointBuilder, DescribesBrokenEntryPoints)
{
    SmbiosEntryPointFields fields;
    fields.badChecksum = true;
    EXPECT_EQ(sum(buildSmbiosEntryPoint(fields), 0, 0x1F), 1);

    fields = {};
    fields.entryPointLength = 0x40;
    const Bytes longer = buildSmbiosEntryPoint(fields);
    ASSERT_EQ(longer.size(), 0x40u);
    EXPECT_EQ(sum(longer, 0, 0x40), 0);

    fields = {};
    fields.intermediateAnchor = false;
    const Bytes anchorless = buildSmbiosEntryPoint(fields);
    EXPECT_EQ(Bytes(anchorless.begin() + 0x10, anchorless.begin() + 0x15), Bytes(5, 0));
    EXPECT_EQ(sum(anchorless, 0, 0x1F), 0);
}

TEST(SmbiosPlacement, PutsTheTableAfterTheEntryPointByDefault)
{
    sim::PhysicalMemory memory;
    const auto table = buildSmbiosTable({made(1, {}, {"x"})});
    SmbiosLayout layout;
    layout.entryPointAddress = 0xF0014;
    const auto placement = sim::firmware::placeSmbios(memory, table, layout);
    EXPECT_EQ(placement.entryPointAddress, 0xF0014u);
    EXPECT_EQ(placement.tableAddress, 0xF0040u);

    Bytes entry(0x1F), placed(table.bytes.size());
    memory.read(0xF0014, entry.data(), entry.size());
    memory.read(0xF0040, placed.data(), placed.size());
    EXPECT_EQ(placed, table.bytes);
    EXPECT_EQ(entry[0x18] | entry[0x19] << 8 | entry[0x1A] << 16, 0xF0040);
    EXPECT_EQ(sum(entry, 0, 0x1F), 0);
}

TEST(SmbiosPlacement, WritesTheOverriddenFields)
{
    sim::PhysicalMemory memory;
    SmbiosLayout layout;
    layout.tableAddress = 0x100000;
    layout.structureCount = 700;
    layout.tableLength = 3;
    sim::firmware::placeSmbios(memory, buildSmbiosTable({made(1, {})}), layout);
    Bytes entry(0x1F);
    memory.read(0xF0000, entry.data(), entry.size());
    EXPECT_EQ(entry[0x16] | entry[0x17] << 8, 3);
    EXPECT_EQ(entry[0x1C] | entry[0x1D] << 8, 700);
    EXPECT_EQ(entry[0x18] | entry[0x19] << 8 | entry[0x1A] << 16, 0x100000);
    uint8_t first = 0;
    memory.read(0x100000, &first, 1);
    EXPECT_EQ(first, 1) << "the whole table is written whatever its stated length";
}

TEST(SmbiosPlacement, RefusesOverlapsAndAddressesPast4GiB)
{
    sim::PhysicalMemory memory;
    const auto table = buildSmbiosTable({made(1, {}, {"xyz"})});
    SmbiosLayout overlap;
    overlap.tableAddress = 0xF0010;
    EXPECT_THROW(sim::firmware::placeSmbios(memory, table, overlap), std::invalid_argument);
    SmbiosLayout before;
    before.tableAddress = 0xF0000 - table.bytes.size() + 1;
    EXPECT_THROW(sim::firmware::placeSmbios(memory, table, before), std::invalid_argument);
    before.tableAddress = 0xF0000 - table.bytes.size();
    EXPECT_NO_THROW(sim::firmware::placeSmbios(memory, table, before));

    SmbiosLayout high;
    high.tableAddress = 0xFFFFFFF8;
    EXPECT_THROW(sim::firmware::placeSmbios(memory, table, high), std::invalid_argument);
    SmbiosLayout entryHigh;
    entryHigh.entryPointAddress = 0xFFFFFFF0;
    entryHigh.tableAddress = 0x100000;
    EXPECT_THROW(sim::firmware::placeSmbios(memory, table, entryHigh), std::invalid_argument);
}

} // namespace
