// SPDX-License-Identifier: MIT
// script_words.h
//
// The lexical side of gaugehost scripts: splitting a line into words, and
// reading the numbers actions take.
//
// Words are separated by blanks, tabs and carriage returns. A '#' at the
// start of a word begins a comment that runs to the end of the line. A
// double-quoted part keeps blanks and may be empty; inside it \" is a quote,
// \\ a backslash and \xHH the byte HH. Quoted and plain parts next to each
// other make one word.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace gaugehost {

// Throws std::runtime_error for an unterminated quote or a bad escape.
std::vector<std::string> splitScriptWords(std::string_view line);

// A decimal number of seconds with at most seven decimals ("5", "4.9",
// "0.0000001"), as 100 ns ticks. Throws std::runtime_error naming the text.
int64_t parseSeconds(const std::string& text);

// A decimal number from 0 to 4294967295. Throws std::runtime_error naming
// what the number was meant to be.
unsigned parseUnsigned(const std::string& text, const char* what);

} // namespace gaugehost
