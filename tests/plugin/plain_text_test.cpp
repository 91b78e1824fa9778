// SPDX-License-Identifier: MIT
// plain_text_test.cpp
//
// The plug-in's own text routines against the C library routines they stand
// in for: the decimal text printf's "%d" writes, the occurrence strstr
// finds, the bounded text snprintf's "%s%s" leaves.
#include "plugin/plain_text.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdio>
#include <cstring>
#include <string>

namespace {

const int kDecimalValues[] = {0,          7,       -1,      52,       125, 4800,      160,
                              1000000000, INT_MAX, INT_MIN, -INT_MAX, -10, 2147483640};

TEST(PlainText, DecimalTextIsPrintfsDecimal)
{
    for (int value : kDecimalValues) {
        char expected[32];
        std::snprintf(expected, sizeof expected, "%d", value);
        char buffer[DECIMAL_TEXT_SIZE];
        EXPECT_STREQ(DecimalText(buffer, value), expected) << value;
    }
}

struct Search {
    const char* text;
    const char* word;
};

const Search kSearches[] = {
    {"GetCPUTemp", "Temp"},
    {"GetFAN2RPM", "Temp"},
    {"GetCPUtemp", "Temp"},
    {"TemTemp", "Temp"},
    {"Tem", "Temp"},
    {"aab", "ab"},
    {"Inspiron 8600", "8600"},
    {"Latitude D600", "Latitude"},
    {"", "Temp"},
    {"Temp", ""},
    {"", ""},
};

TEST(PlainText, FindTextFindsWhatStrstrFinds)
{
    for (const Search& row : kSearches) {
        EXPECT_EQ(FindText(row.text, row.word), std::strstr(row.text, row.word))
            << '"' << row.word << "\" in \"" << row.text << '"';
    }
}

struct Append {
    const char* start;
    const char* text;
    size_t size;
};

const Append kAppends[] = {
    {"", "High", 512}, {"52", "\xB0", 512}, {"", "ERROR: No value was present.", 6},
    {"1234", "56", 5}, {"123", "45", 5},    {"", "x", 1},
    {"", "", 4},
};

TEST(PlainText, AppendTextCutsAsSnprintfDoes)
{
    for (const Append& row : kAppends) {
        char expected[512];
        std::snprintf(expected, row.size, "%s%s", row.start, row.text);
        char buffer[512];
        std::memset(buffer, 'X', sizeof buffer);
        std::strcpy(buffer, row.start);
        AppendText(buffer, row.size, row.text);
        EXPECT_EQ(std::string(buffer), std::string(expected))
            << '"' << row.start << "\" + \"" << row.text << "\" in " << row.size;

        std::memset(buffer, 'X', sizeof buffer);
        std::snprintf(expected, row.size, "%s", row.text);
        CopyText(buffer, row.size, row.text);
        EXPECT_EQ(std::string(buffer), std::string(expected))
            << '"' << row.text << "\" in " << row.size;
    }
}

} // namespace
