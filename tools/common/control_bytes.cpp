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

std::string escapeControlBytes(std::string_view text, bool keepLineBreaks)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
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
