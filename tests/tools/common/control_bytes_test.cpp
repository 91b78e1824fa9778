// SPDX-License-Identifier: MIT
// control_bytes_test.cpp
//
// Hostile firmware texts: every byte a terminal acts on comes out as \xHH,
// a backslash doubled, everything else as it was.
#include "tools/common/control_bytes.h"

#include <gtest/gtest.h>

namespace {

struct EscapeCase {
    std::string text;
    bool keepLineBreaks;
    std::string escaped;
};

class EscapeControlBytes : public testing::TestWithParam<EscapeCase> {};

TEST_P(EscapeControlBytes, WritesWhatATerminalWouldActOnAsHex)
{
    EXPECT_EQ(tools::escapeControlBytes(GetParam().text, GetParam().keepLineBreaks),
              GetParam().escaped);
}

INSTANTIATE_TEST_SUITE_P(
    HostileStrings, EscapeControlBytes,
    testing::Values(EscapeCase{"Inspiron 8600", false, "Inspiron 8600"},
                    EscapeCase{"\x1b]0;owned\x07", false, "\\x1B]0;owned\\x07"},     // window title
                    EscapeCase{"\x1b[31mred\x1b[0m", false, "\\x1B[31mred\\x1B[0m"}, // colour
                    EscapeCase{"line\roverwritten", false,
                               "line\\x0Doverwritten"},                   // carriage return
                    EscapeCase{std::string("a\0b", 3), false, "a\\x00b"}, // NUL inside
                    EscapeCase{"\x7f\x9b"
                               "2J\x80\x9f\xa0",
                               false, "\\x7F\\x9B2J\\x80\\x9F\xa0"},         // DEL, C1
                    EscapeCase{"C:\\x1B", false, "C:\\\\x1B"},               // a real backslash
                    EscapeCase{"10 \xE2\x82\xAC", false, "10 \xE2\x82\xAC"}, // UTF-8 euro sign
                    EscapeCase{"\xC2\x9B"
                               "2J",
                               false, "\\xC2\\x9B2J"}, // UTF-8 C1 CSI
                    EscapeCase{"\xE2\x82"
                               "x",
                               false, "\xE2\\x82x"}, // a cut sequence
                    EscapeCase{"one\ntwo\n", true, "one\ntwo\n"},
                    EscapeCase{"one\ntwo\t", false, "one\\x0Atwo\\x09"}));

} // namespace
