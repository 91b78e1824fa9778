// SPDX-License-Identifier: MIT
// cp1252.cpp
//
// Windows-1252 to UTF-8: the bytes 0x80 to 0x9F through the code page's
// table, every other byte as the Latin-1 character of the same number.
#include "tools/gaugehost/plugin_host/cp1252.h"

#include "tools/common/control_bytes.h"

#include <array>
#include <cstdint>

namespace gaugehost {

namespace {

// Unicode characters of the bytes 0x80 to 0x9F.
constexpr std::array<char32_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 80-87
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 88-8F
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 90-97
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 98-9F
};

char32_t toUnicode(uint8_t byte)
{
    if (byte >= 0x80 && byte <= 0x9F)
        return kHighControls[byte - 0x80];
    return byte;
}

void appendUtf8(std::string& out, char32_t c)
{
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
}

} // namespace

std::string cp1252ToUtf8(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text)
        appendUtf8(out, toUnicode(static_cast<uint8_t>(c)));
    return out;
}

std::string cp1252ToDisplay(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<uint8_t>(c);
        const char32_t character = toUnicode(byte);
        if (byte == '\\')
            out += "\\\\";
        else if (character < 0x20 || (character >= 0x7F && character <= 0x9F))
            tools::appendEscapedByte(out, byte);
        else
            appendUtf8(out, character);
    }
    return out;
}

} // namespace gaugehost
