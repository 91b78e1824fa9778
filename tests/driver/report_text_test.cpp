// SPDX-License-Identifier: MIT
// report_text_test.cpp
//
// The bounded appender (driver/report_text.h): the edge of its capacity, one
// byte either side of the last piece that fits, with and without a marker;
// and the conversions it keeps, with anything else written as it stands.
#include "driver/report_text.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

constexpr ULONG kCapacity = 16;
constexpr char kGuard = 0x5A;
constexpr size_t kGuardBytes = 8;
constexpr const char* kMarker = "*M*";

struct BoundaryCase {
    const char* name;
    const char* marker; // nullptr: no marker, nothing kept back
    long overBy;        // bytes the piece needs beyond the capacity (negative: room left)
};

class ReportTextBoundary : public ::testing::TestWithParam<BoundaryCase> {};

// One piece of x's that needs capacity + overBy bytes: its characters, the
// terminating zero and, with a marker, the room kept back for it.
TEST_P(ReportTextBoundary, APieceFitsUpToTheCapacityAndNotOneByteMore)
{
    const BoundaryCase& row = GetParam();
    const size_t reserve = row.marker != nullptr ? std::strlen(row.marker) : 0;
    const size_t pieceLength = size_t(long(kCapacity) + row.overBy) - 1 - reserve;
    const std::string piece(pieceLength, 'x');
    const bool fits = row.overBy <= 0;

    std::vector<char> buffer(kCapacity + kGuardBytes, kGuard);
    REPORT_TEXT text;
    ReportTextInit(&text, buffer.data(), kCapacity, row.marker);

    EXPECT_EQ(ReportTextAppend(&text, "%s", piece.c_str()) != FALSE, fits);
    const std::string written(buffer.data());
    if (fits)
        EXPECT_EQ(written, piece);
    else
        EXPECT_EQ(written, row.marker != nullptr ? row.marker : "");
    EXPECT_LT(written.size(), size_t(kCapacity));
    for (size_t i = kCapacity; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], kGuard) << "byte " << i << " past the capacity was written";

    // No row leaves room for two more characters: they close the text, and
    // the marker, kept back from the start, still fits behind a fitting piece.
    EXPECT_FALSE(ReportTextAppend(&text, "yy"));
    const std::string closed = fits && row.marker != nullptr ? piece + row.marker : written;
    EXPECT_EQ(std::string(buffer.data()), closed);
    for (size_t i = kCapacity; i < buffer.size(); ++i)
        ASSERT_EQ(buffer[i], kGuard) << "byte " << i << " past the capacity was written";
}

INSTANTIATE_TEST_SUITE_P(Edges, ReportTextBoundary,
                         ::testing::Values(BoundaryCase{"NoMarkerCapacityLess1", nullptr, -1},
                                           BoundaryCase{"NoMarkerCapacity", nullptr, 0},
                                           BoundaryCase{"NoMarkerCapacityPlus1", nullptr, 1},
                                           BoundaryCase{"MarkerCapacityLess1", kMarker, -1},
                                           BoundaryCase{"MarkerCapacity", kMarker, 0},
                                           BoundaryCase{"MarkerCapacityPlus1", kMarker, 1}),
                         [](const ::testing::TestParamInfo<BoundaryCase>& info) {
                             return info.param.name;
                         });

// One piece formatted into a roomy text.
template <typename... Arguments> std::string format(const char* pattern, Arguments... arguments)
{
    std::vector<char> buffer(128, kGuard);
    REPORT_TEXT text;
    ReportTextInit(&text, buffer.data(), ULONG(buffer.size()), nullptr);
    EXPECT_TRUE(ReportTextAppend(&text, pattern, arguments...));
    return buffer.data();
}

TEST(ReportTextConversions, TheFourKeptAndTheRestWrittenAsTheyStand)
{
    EXPECT_EQ(format("'%s'", "OEM"), "'OEM'");
    EXPECT_EQ(format("%d %d %d", LONG(0), LONG(-42), LONG(2147483647)), "0 -42 2147483647");
    EXPECT_EQ(format("%d", LONG(-2147483647 - 1)), "-2147483648");
    EXPECT_EQ(format("%u", ULONG(4294967295u)), "4294967295");
    EXPECT_EQ(format("0x%08x", ULONG(0)), "0x00000000");
    EXPECT_EQ(format("0x%08x", ULONG(0xE0000)), "0x000e0000");
    EXPECT_EQ(format("0x%08x", ULONG(0xDEADBEEF)), "0xdeadbeef");
    EXPECT_EQ(format("%x", ULONG(0xABC)), "abc");
    // Conversions the driver does not use are not interpreted.
    EXPECT_EQ(format("%c%X%%", 'a'), "%c%X%%");
    EXPECT_EQ(format("%ld", LONG(5)), "%ld");
    EXPECT_EQ(format("100%"), "100%");
}

} // namespace
