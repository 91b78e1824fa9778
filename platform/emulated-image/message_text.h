// SPDX-License-Identifier: MIT
// message_text.h
//
// How the loaders write what they name in their messages: addresses in
// hexadecimal, module names in one case.
#pragma once

#include <cctype>
#include <cstdint>
#include <cstdio>
#include <string>

namespace emulated {

// "0x0001a2b0": at least eight digits.
inline std::string hexAddress(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(value));
    return text;
}

inline std::string lowerCase(std::string text)
{
    for (char& c : text)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
}

} // namespace emulated
