// SPDX-License-Identifier: MIT
// smbios_dump.cpp
//
// SMBIOS tables in the file format of `dmidecode --dump-bin`: reading one
// (the table and what its entry point says of it) so a table taken from a
// real machine can be placed in the simulated one, and writing one from an
// entry point and its table.
#include "sim/firmware/smbios.h"

#include "common/bounded_file.h"

#include <algorithm>
#include <cstring>
#include <fstream>
#include <optional>
#include <stdexcept>

namespace sim::firmware {

namespace {

constexpr size_t kTableOffset = 0x20;
// The entry point's 32 bytes and a table of at most 64 KiB.
constexpr std::uintmax_t kLargestDump = kTableOffset + 0x10000;
constexpr uint8_t kEndOfTable = 127;

uint16_t word(const std::vector<uint8_t>& bytes, size_t offset)
{
    return static_cast<uint16_t>(bytes[offset] | bytes[offset + 1] << 8);
}

uint32_t dword(const std::vector<uint8_t>& bytes, size_t offset)
{
    return word(bytes, offset) | static_cast<uint32_t>(word(bytes, offset + 2)) << 16;
}

uint64_t qword(const std::vector<uint8_t>& bytes, size_t offset)
{
    return dword(bytes, offset) | static_cast<uint64_t>(dword(bytes, offset + 4)) << 32;
}

bool startsWith(const std::vector<uint8_t>& bytes, const char* anchor)
{
    const size_t length = std::strlen(anchor);
    return bytes.size() >= length && std::memcmp(bytes.data(), anchor, length) == 0;
}

std::vector<uint8_t> readFile(const std::filesystem::path& file)
{
    const std::string bytes = bounded::readFile(file, {"SMBIOS dump", kLargestDump});
    return std::vector<uint8_t>(bytes.begin(), bytes.end());
}

// The structures of a table, counted up to the end-of-table structure or as
// far as whole structures go, and the longest of them. An SMBIOS 3 or a
// legacy DMI entry point says less than this.
struct Census {
    uint16_t count = 0;
    uint16_t largest = 0;
};

Census takeCensus(const std::vector<uint8_t>& table)
{
    Census census;
    size_t at = 0;
    while (at + 4 <= table.size() && table[at + 1] >= 4 && census.count < 0xFFFF) {
        size_t end = at + table[at + 1];
        while (end + 1 < table.size() && (table[end] != 0 || table[end + 1] != 0))
            ++end;
        if (end + 1 >= table.size())
            break;
        ++census.count;
        census.largest = static_cast<uint16_t>(std::max<size_t>(census.largest, end + 2 - at));
        if (table[at] == kEndOfTable)
            break;
        at = end + 2;
    }
    return census;
}

struct DumpedEntryPoint {
    uint64_t tableOffset = 0;
    uint64_t tableLength = 0;
    std::optional<uint16_t> structureCount;
    uint8_t majorVersion = 0;
    uint8_t minorVersion = 0;
};

DumpedEntryPoint readEntryPoint(const std::vector<uint8_t>& dump, const std::string& name)
{
    DumpedEntryPoint entry;
    if (startsWith(dump, "_SM3_")) {
        if (dump.size() < 0x18)
            throw std::runtime_error(name + ": the SMBIOS 3 entry point is cut short");
        entry.majorVersion = dump[0x07];
        entry.minorVersion = dump[0x08];
        entry.tableLength = dword(dump, 0x0C);
        entry.tableOffset = qword(dump, 0x10);
    } else if (startsWith(dump, "_SM_")) {
        if (dump.size() < 0x1F)
            throw std::runtime_error(name + ": the SMBIOS entry point is cut short");
        entry.majorVersion = dump[0x06];
        entry.minorVersion = dump[0x07];
        entry.tableLength = word(dump, 0x16);
        entry.tableOffset = dword(dump, 0x18);
        entry.structureCount = word(dump, 0x1C);
    } else if (startsWith(dump, "_DMI_")) {
        if (dump.size() < 0x0F)
            throw std::runtime_error(name + ": the DMI entry point is cut short");
        entry.majorVersion = dump[0x0E] >> 4;
        entry.minorVersion = dump[0x0E] & 0x0F;
        entry.tableLength = word(dump, 0x06);
        entry.tableOffset = dword(dump, 0x08);
        entry.structureCount = word(dump, 0x0C);
    } else {
        throw std::runtime_error(name + ": not a dmidecode dump (no \"_SM_\", \"_SM3_\" or "
                                        "\"_DMI_\" entry point at offset 0)");
    }
    return entry;
}

} // namespace

SmbiosTable loadDmidecodeDump(const std::filesystem::path& file)
{
    const std::string name = file.string();
    const std::vector<uint8_t> dump = readFile(file);
    const DumpedEntryPoint entry = readEntryPoint(dump, name);

    if (entry.tableLength > 0xFFFF)
        throw std::runtime_error(name + ": a table of " + std::to_string(entry.tableLength) +
                                 " bytes does not fit a 32-bit entry point (65535 at most)");
    if (entry.tableOffset > dump.size() || entry.tableLength > dump.size() - entry.tableOffset)
        throw std::runtime_error(name + ": the entry point gives a table of " +
                                 std::to_string(entry.tableLength) + " bytes at offset " +
                                 std::to_string(entry.tableOffset) + ", the file holds " +
                                 std::to_string(dump.size()) + " bytes");

    SmbiosTable table;
    const auto from = dump.begin() + static_cast<ptrdiff_t>(entry.tableOffset);
    table.bytes.assign(from, from + static_cast<ptrdiff_t>(entry.tableLength));
    const Census census = takeCensus(table.bytes);
    table.structureCount = entry.structureCount.value_or(census.count);
    table.maxStructureSize = census.largest;
    table.majorVersion = entry.majorVersion;
    table.minorVersion = entry.minorVersion;
    return table;
}

std::vector<uint8_t> makeDmidecodeDump(const std::vector<uint8_t>& entryPoint,
                                       const std::vector<uint8_t>& table)
{
    std::vector<uint8_t> header;
    if (startsWith(entryPoint, "_SM_") && entryPoint.size() >= 0x1F) {
        header.assign(entryPoint.begin(), entryPoint.begin() + 0x1F);
        for (int i = 0; i < 4; ++i)
            header[0x18 + i] = static_cast<uint8_t>(kTableOffset >> (8 * i));
        uint8_t intermediate = 0;
        header[0x15] = 0;
        for (size_t i = 0x10; i < 0x1F; ++i)
            intermediate = static_cast<uint8_t>(intermediate + header[i]);
        header[0x15] = static_cast<uint8_t>(-intermediate);
    } else if (startsWith(entryPoint, "_SM3_") && entryPoint.size() >= 0x18) {
        header.assign(entryPoint.begin(), entryPoint.begin() + 0x18);
        for (int i = 0; i < 8; ++i)
            header[0x10 + i] = static_cast<uint8_t>(uint64_t{kTableOffset} >> (8 * i));
    } else {
        throw std::invalid_argument("makeDmidecodeDump: not a whole \"_SM_\" or \"_SM3_\" "
                                    "entry point");
    }
    const size_t checksummed = startsWith(header, "_SM3_") ? header[0x06] : header[0x05];
    uint8_t total = 0;
    header[startsWith(header, "_SM3_") ? 0x05 : 0x04] = 0;
    for (size_t i = 0; i < std::min(checksummed, header.size()); ++i)
        total = static_cast<uint8_t>(total + header[i]);
    header[startsWith(header, "_SM3_") ? 0x05 : 0x04] = static_cast<uint8_t>(-total);

    // Sized once and filled in place (growing a vector of a size g++ knows
    // makes it warn of a copy out of bounds that cannot happen).
    std::vector<uint8_t> dump(kTableOffset + table.size(), 0);
    std::copy(header.begin(), header.end(), dump.begin());
    std::copy(table.begin(), table.end(), dump.begin() + kTableOffset);
    return dump;
}

} // namespace sim::firmware
