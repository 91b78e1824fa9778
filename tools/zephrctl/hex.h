// SPDX-License-Identifier: MIT
// hex.h
//
// Hexadecimal byte strings and numbers on zephrctl's command line.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace zephrctl {

// "0100ff" -> {0x01, 0x00, 0xff}; blanks, ':' and '-' between bytes are
// allowed. Throws std::invalid_argument naming the offending character.
std::vector<uint8_t> parseHexBytes(const std::string& text);
std::string formatHexBytes(const std::vector<uint8_t>& bytes);

// A whole unsigned number, decimal or 0x-prefixed hexadecimal, at most max.
// Throws std::invalid_argument with a message naming what (e.g. "FAN").
uint32_t parseNumber(const std::string& text, const std::string& what, uint64_t max);

} // namespace zephrctl
