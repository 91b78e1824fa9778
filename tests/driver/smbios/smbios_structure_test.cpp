// SPDX-License-Identifier: MIT
// smbios_structure_test.cpp
//
// Structure access: the length of a structure with its string set, strings
// by number, field reads and the walk, on exact-size buffers so that a read
// past a table shows under AddressSanitizer.
#include "driver/smbios/smbios.h"

#include "common/zephr_ioctl.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace {

// The bytes on the heap with nothing after them.
struct Table {
    explicit Table(std::vector<uint8_t> bytes)
        : size(bytes.size()), data(new uint8_t[bytes.size() ? bytes.size() : 1])
    {
        std::copy(bytes.begin(), bytes.end(), data.get());
    }
    const UCHAR* begin() const
    {
        return data.get();
    }
    const UCHAR* end() const
    {
        return data.get() + size;
    }
    size_t size;
    std::unique_ptr<uint8_t[]> data;
};

TEST(SmbiosStructureLength, CountsTheFormattedAreaAndTheStringSet)
{
    Table none({0x7F, 0x04, 0x00, 0x7F, 0x00, 0x00});
    EXPECT_EQ(GetSmbiosStructureLength(none.begin(), none.end()), 6u);

    Table oneString({0x01, 0x05, 0x00, 0x01, 0x01, 'a', 'b', 0x00, 0x00});
    EXPECT_EQ(GetSmbiosStructureLength(oneString.begin(), oneString.end()), 5u + 4u);

    // The string set's end is found after the formatted area, not in it.
    Table zerosInFields({0x04, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 'x', 0x00, 0x00});
    EXPECT_EQ(GetSmbiosStructureLength(zerosInFields.begin(), zerosInFields.end()), 11u);
}

TEST(SmbiosStructureLength, IsZeroForAStructureThatDoesNotLieWholeInTheTable)
{
    Table unterminated({0x01, 0x04, 0x00, 0x00, 'a', 'b', 0x00});
    EXPECT_EQ(GetSmbiosStructureLength(unterminated.begin(), unterminated.end()), 0u);

    Table formattedPastEnd({0x01, 0x40, 0x00, 0x00, 0x00, 0x00});
    EXPECT_EQ(GetSmbiosStructureLength(formattedPastEnd.begin(), formattedPastEnd.end()), 0u);

    Table cutHeader({0x01, 0x04, 0x00});
    EXPECT_EQ(GetSmbiosStructureLength(cutHeader.begin(), cutHeader.end()), 0u);
    EXPECT_EQ(GetSmbiosStructureLength(cutHeader.end(), cutHeader.end()), 0u);
    EXPECT_EQ(GetSmbiosStructureLength(nullptr, nullptr), 0u);
}

TEST(SmbiosStructureLength, RefusesAFormattedLengthShorterThanTheHeader)
{
    for (uint8_t length : {0, 1, 2, 3}) {
        Table table({0x00, length, 0x00, 0x00, 0x00, 0x00});
        EXPECT_EQ(GetSmbiosStructureLength(table.begin(), table.end()), 0u) << int(length);
    }
}

std::string text(PCSTR value)
{
    return value == nullptr ? std::string("(null)") : std::string(value);
}

TEST(SmbiosString, NumberZeroAndAnEmptySetGiveTwoDashes)
{
    Table strings({0x01, 0x04, 0x00, 0x00, 'a', 0x00, 0x00});
    EXPECT_EQ(text(GetSmbiosString(strings.begin(), 7, 0)), "--");

    Table empty({0x01, 0x04, 0x00, 0x00, 0x00, 0x00});
    for (UCHAR number : {1, 2, 255})
        EXPECT_EQ(text(GetSmbiosString(empty.begin(), 6, number)), "--") << int(number);
}

TEST(SmbiosString, GivesTheStringInPlaceOrNothingPastTheLast)
{
    Table table({0x01, 0x04, 0x00, 0x00, 'a', 'b', 0x00, 'c', 'd', 'e', 0x00, 0x00});
    const ULONG length = GetSmbiosStructureLength(table.begin(), table.end());
    ASSERT_EQ(length, table.size);
    EXPECT_EQ(GetSmbiosString(table.begin(), length, 1), (PCSTR)table.begin() + 4);
    EXPECT_EQ(text(GetSmbiosString(table.begin(), length, 2)), "cde");
    EXPECT_EQ(GetSmbiosString(table.begin(), length, 3), nullptr);
    EXPECT_EQ(GetSmbiosString(table.begin(), length, 255), nullptr);
}

TEST(SmbiosString, ASetStartingWithAZeroHasAnEmptyFirstString)
{
    Table table({0x01, 0x04, 0x00, 0x00, 0x00, 'x', 0x00, 0x00});
    const ULONG length = GetSmbiosStructureLength(table.begin(), table.end());
    ASSERT_EQ(length, 8u);
    EXPECT_EQ(text(GetSmbiosString(table.begin(), length, 1)), "");
    EXPECT_EQ(text(GetSmbiosString(table.begin(), length, 2)), "x");
    EXPECT_EQ(GetSmbiosString(table.begin(), length, 3), nullptr);
}

TEST(SmbiosFields, BytesPastTheStructureReadAsZero)
{
    Table table({0x04, 0x06, 0x00, 0x00, 0x34, 0x12, 0x00, 0x00});
    EXPECT_EQ(SmbiosWord(table.begin(), 8, 4), 0x1234);
    EXPECT_EQ(SmbiosByte(table.begin(), 8, 7), 0);
    EXPECT_EQ(SmbiosByte(table.begin(), 8, 8), 0);
    EXPECT_EQ(SmbiosWord(table.begin(), 5, 4), 0x0034) << "the high byte lies past the structure";
    EXPECT_EQ(SmbiosWord(table.begin(), 8, 0x16), 0);
}

std::vector<int> typesWalked(const Table& table, USHORT count)
{
    SMBIOS_TABLE_VIEW view{table.begin(), table.end(), count};
    SMBIOS_WALK walk;
    const UCHAR* structure = nullptr;
    ULONG length = 0;
    std::vector<int> types;
    SmbiosStartWalk(&view, &walk);
    while (SmbiosNextStructure(&walk, &structure, &length))
        types.push_back(structure[0]);
    return types;
}

TEST(SmbiosWalk, GoesByTheCountAndStopsAtTheTableEnd)
{
    // Three structures; the end-of-table one is walked like any other.
    const std::vector<uint8_t> bytes{0x00, 0x04, 0x00, 0x00, 0x00, 0x00, //
                                     0x7F, 0x04, 0x00, 0x00, 0x00, 0x00, //
                                     0x01, 0x04, 0x00, 0x00, 'p',  0x00, 0x00};
    Table table(bytes);
    EXPECT_EQ(typesWalked(table, 0), (std::vector<int>{}));
    EXPECT_EQ(typesWalked(table, 2), (std::vector<int>{0, 127}));
    EXPECT_EQ(typesWalked(table, 3), (std::vector<int>{0, 127, 1}));
    EXPECT_EQ(typesWalked(table, 0xFFFF), (std::vector<int>{0, 127, 1}));
}

TEST(SmbiosWalk, EndsAtABrokenStructure)
{
    const std::vector<uint8_t> bytes{0x00, 0x04, 0x00, 0x00, 0x00, 0x00, //
                                     0x01, 0x02, 0x00, 0x00, 0x00, 0x00, //
                                     0x7F, 0x04, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(typesWalked(Table(bytes), 3), (std::vector<int>{0}));

    const std::vector<uint8_t> runsPastEnd{0x00, 0x04, 0x00, 0x00, 0x00, 0x00, //
                                           0x01, 0x04, 0x00, 0x00, 'a',  'b'};
    EXPECT_EQ(typesWalked(Table(runsPastEnd), 2), (std::vector<int>{0}));
}

// The report's walk over a table of System Information structures with no
// strings (three lines each): it stops at the structure whose line closed
// the text, so a full report walks one structure past its whole ones.
TEST(SmbiosWalk, TheReportWalksNoFurtherThanItsTextReaches)
{
    const std::string lastLine = "Service tag: --\r\n";
    struct Row {
        USHORT structures;
        bool truncated;
    };
    for (const Row row : {Row{10, false}, Row{200, false}, Row{4000, true}}) {
        std::vector<uint8_t> bytes;
        for (USHORT i = 0; i < row.structures; ++i)
            bytes.insert(bytes.end(), {0x01, 0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00});
        Table table(bytes);
        SMBIOS_TABLE_VIEW view{table.begin(), table.end(), row.structures};
        SMBIOS_WALK walk;
        std::vector<char> buffer(ZEPHR_SYSINFO_LENGTH, 0);
        REPORT_TEXT text;
        ReportTextInit(&text, buffer.data(), ULONG(buffer.size()), REPORT_TRUNCATED_MARKER);
        SmbiosStartWalk(&view, &walk);
        FormatSmbiosStructures(&text, &walk);

        const std::string report = buffer.data();
        size_t whole = 0;
        for (size_t at = report.find(lastLine); at != std::string::npos;
             at = report.find(lastLine, at + 1))
            ++whole;
        const ULONG walked = row.structures - walk.Remaining;
        EXPECT_EQ(report.ends_with(REPORT_TRUNCATED_MARKER), row.truncated) << row.structures;
        EXPECT_EQ(walked, row.truncated ? whole + 1 : row.structures) << row.structures;
        if (!row.truncated) {
            EXPECT_EQ(whole, row.structures);
        }
    }
}

TEST(SmbiosWalk, AnEmptyViewHasNoStructures)
{
    SMBIOS_TABLE_VIEW view{nullptr, nullptr, 5};
    SMBIOS_WALK walk;
    const UCHAR* structure = nullptr;
    ULONG length = 0;
    SmbiosStartWalk(&view, &walk);
    EXPECT_FALSE(SmbiosNextStructure(&walk, &structure, &length));
}

} // namespace
