// SPDX-License-Identifier: MIT
// acpi_tables.h
//
// Builders of ACPI pointers and tables for the ACPI report's tests, placed
// into a simulated notebook's physical memory.
#pragma once

#include "sim/machine.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace acpi_test {

inline void put32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) {
        bytes[at + i] = uint8_t(value >> (8 * i));
    }
}

// An RSDP whose 20-byte checksum is right (unless broken).
inline std::vector<uint8_t> rsdp(uint8_t revision, uint32_t rsdt, uint32_t xsdtLow = 0,
                                 uint32_t xsdtHigh = 0, bool badChecksum = false)
{
    std::vector<uint8_t> bytes(36, 0);
    std::string signature = "RSD PTR ";
    std::copy(signature.begin(), signature.end(), bytes.begin());
    std::string oem = "ZEPHR ";
    std::copy(oem.begin(), oem.end(), bytes.begin() + 9);
    bytes[15] = revision;
    put32(bytes, 16, rsdt);
    put32(bytes, 20, 36);
    put32(bytes, 24, xsdtLow);
    put32(bytes, 28, xsdtHigh);
    uint8_t sum = 0;
    for (int i = 0; i < 20; ++i) {
        sum = uint8_t(sum + (i == 8 ? 0 : bytes[i]));
    }
    bytes[8] = uint8_t(-sum + (badChecksum ? 1 : 0));
    return bytes;
}

// A table header (and body) with the given Length field.
inline std::vector<uint8_t> table(const std::string& signature, uint32_t length,
                                  const std::vector<uint8_t>& body = {},
                                  const std::string& oemId = "ZEPHR ",
                                  const std::string& oemTableId = "TESTTBL ")
{
    std::vector<uint8_t> bytes(36 + body.size(), 0);
    std::copy(signature.begin(), signature.end(), bytes.begin());
    put32(bytes, 4, length);
    bytes[8] = 1;
    std::copy(oemId.begin(), oemId.end(), bytes.begin() + 10);
    std::copy(oemTableId.begin(), oemTableId.end(), bytes.begin() + 16);
    std::copy(body.begin(), body.end(), bytes.begin() + 36);
    return bytes;
}

inline std::vector<uint8_t> entries32(const std::vector<uint32_t>& addresses)
{
    std::vector<uint8_t> bytes(addresses.size() * 4);
    for (size_t i = 0; i < addresses.size(); ++i) {
        put32(bytes, i * 4, addresses[i]);
    }
    return bytes;
}

inline std::vector<uint8_t> entries64(const std::vector<uint64_t>& addresses)
{
    std::vector<uint8_t> bytes(addresses.size() * 8);
    for (size_t i = 0; i < addresses.size(); ++i) {
        put32(bytes, i * 8, uint32_t(addresses[i]));
        put32(bytes, i * 8 + 4, uint32_t(addresses[i] >> 32));
    }
    return bytes;
}

// A notebook whose BIOS data area names an EBDA at 0x9FC00; nothing else.
inline std::shared_ptr<sim::Machine> emptyNotebook()
{
    auto machine = std::make_shared<sim::Machine>();
    machine->name = "ACPI test notebook";
    machine->memory.load(0, std::vector<uint8_t>(0x100000, 0));
    machine->memory.load(0x40E, {0xC0, 0x9F});
    return machine;
}

} // namespace acpi_test
