// SPDX-License-Identifier: MIT
// control_bytes.cpp
//
// Escaping the bytes of a text a terminal would act on.
#include "tools/common/control_bytes.h"

namespace tools {

bool isControlByte(unsigned char byte)
{
    return byte < 0x20 || byte == 0x7F || (byte >= 0x80 && byte <= 0x9F);
}

void appendEscapedByte(std::string& out, unsigned char byte)
{
    constexpr char kHex[] = "0123456789ABCDEF";
    out += "\\x";
    out += kHex[byte >> 4];
    out += kHex[byte & 0x0F];
}

namespace {

// The length of the well-formed UTF-8 sequence of two to four bytes at the
// start of text and its code point; 0 when there is none.
size_t utf8Sequence(std::string_view text, char32_t& codePoint)
{
    const auto lead = static_cast<unsigned char>(text[0]);
    const size_t length = lead >= 0xF0 && lead <= 0xF4  ? 4
                          : lead >= 0xE0 && lead < 0xF0 ? 3
                          : lead >= 0xC2 && lead < 0xE0 ? 2
                                                        : 0;
    if (length == 0 || text.size() < length)
        return 0;
    codePoint = lead & (0xFF >> (length + 1));
    for (size_t i = 1; i < length; ++i) {
        const auto next = static_cast<unsigned char>(text[i]);
        if ((next & 0xC0) != 0x80)
            return 0;
        codePoint = codePoint << 6 | (next & 0x3F);
    }
    const char32_t shortest = length == 2 ? 0x80 : length == 3 ? 0x800 : 0x10000;
    if (codePoint < shortest || codePoint > 0x10FFFF || (codePoint >= 0xD800 && codePoint < 0xE000))
        return 0;
    return length;
}

} // namespace

std::string escapeControlBytes(std::string_view text, bool keepLineBreaks)
{
    std::string out;
    out.reserve(text.size());
    for (size_t at = 0; at < text.size(); ++at) {
        const char c = text[at];
        const auto byte = static_cast<unsigned char>(c);
        // A character written in UTF-8 stays whole (its bytes from 0x80 up
        // are not C1 controls), unless it is a C1 control itself.
        char32_t codePoint = 0;
        if (const size_t length = byte >= 0xC2 ? utf8Sequence(text.substr(at), codePoint) : 0) {
            for (size_t i = 0; i < length; ++i) {
                if (codePoint <= 0x9F)
                    appendEscapedByte(out, static_cast<unsigned char>(text[at + i]));
                else
                    out += text[at + i];
            }
            at += length - 1;
            continue;
        }
        if (byte == '\\')
            out += "\\\\";
        else if (byte == '\n' && keepLineBreaks)
            out += c;
        else if (isControlByte(byte))
            appendEscapedByte(out, byte);
        else
            out += c;
    }
    return out;
}

} // namespace tools
