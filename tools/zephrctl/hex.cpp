// SPDX-License-Identifier: MIT
// hex.cpp
//
// Parsing and printing of zephrctl's hexadecimal bytes and numbers.
#include "tools/zephrctl/hex.h"

#include <stdexcept>

namespace zephrctl {

namespace {

int hexDigit(char c)
{
    if (c >= '0' && c <= '9') {
        return c - '0';
    }
    if (c >= 'a' && c <= 'f') {
        return c - 'a' + 10;
    }
    if (c >= 'A' && c <= 'F') {
        return c - 'A' + 10;
    }
    return -1;
}

} // namespace

std::vector<uint8_t> parseHexBytes(const std::string& text)
{
    std::vector<uint8_t> bytes;
    std::string digits;
    for (size_t i = 0; i < text.size(); ++i) {
        char c = text[i];
        if (c == ' ' || c == ':' || c == '-') {
            if (digits.size() % 2 != 0) {
                throw std::invalid_argument("odd number of hex digits before position " +
                                            std::to_string(i + 1));
            }
            continue;
        }
        if (hexDigit(c) < 0) {
            throw std::invalid_argument(std::string("'") + c + "' at position " +
                                        std::to_string(i + 1) + " is not a hex digit");
        }
        digits.push_back(c);
    }
    if (digits.size() % 2 != 0) {
        throw std::invalid_argument("odd number of hex digits");
    }
    for (size_t i = 0; i < digits.size(); i += 2) {
        bytes.push_back(uint8_t(hexDigit(digits[i]) << 4 | hexDigit(digits[i + 1])));
    }
    return bytes;
}

std::string formatHexBytes(const std::vector<uint8_t>& bytes)
{
    static const char kDigits[] = "0123456789abcdef";
    std::string text;
    for (uint8_t byte : bytes) {
        text.push_back(kDigits[byte >> 4]);
        text.push_back(kDigits[byte & 15]);
    }
    return text;
}

uint32_t parseNumber(const std::string& text, const std::string& what, uint64_t max)
{
    bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
    size_t start = hex ? 2 : 0;
    if (text.size() == start) {
        throw std::invalid_argument(what + " is empty");
    }
    uint64_t value = 0;
    for (size_t i = start; i < text.size(); ++i) {
        int digit =
            hex ? hexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0) {
            throw std::invalid_argument(
                what + " '" + text + "' is not " +
                (hex ? "a hexadecimal number" : "a number (decimal, or hexadecimal after 0x)"));
        }
        value = value * (hex ? 16 : 10) + uint64_t(digit);
        if (value > max) {
            throw std::invalid_argument(what + " '" + text + "' is larger than " +
                                        std::to_string(max));
        }
    }
    return uint32_t(value);
}

} // namespace zephrctl
