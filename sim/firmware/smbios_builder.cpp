// SPDX-License-Identifier: MIT
// smbios_builder.cpp
//
// The bytes of SMBIOS firmware: a structure table from structures written
// out field by field, and a 32-bit entry point that describes a table.
#include "sim/firmware/smbios.h"

#include <algorithm>
#include <cstring>
#include <numeric>
#include <stdexcept>

namespace sim::firmware {

namespace {

constexpr size_t kHeaderLength = 4;
constexpr size_t kLongestFormattedArea = 0xFF - kHeaderLength;
constexpr size_t kLongestTable = 0xFFFF;
constexpr size_t kEntryPointLength = 0x1F;

void putWord(std::vector<uint8_t>& bytes, size_t offset, uint16_t value)
{
    bytes[offset] = static_cast<uint8_t>(value);
    bytes[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void putDword(std::vector<uint8_t>& bytes, size_t offset, uint32_t value)
{
    putWord(bytes, offset, static_cast<uint16_t>(value));
    putWord(bytes, offset + 2, static_cast<uint16_t>(value >> 16));
}

uint8_t sum(const std::vector<uint8_t>& bytes, size_t from, size_t count)
{
    return std::accumulate(
        bytes.begin() + static_cast<ptrdiff_t>(from),
        bytes.begin() + static_cast<ptrdiff_t>(from + count), uint8_t{0},
        [](uint8_t total, uint8_t byte) { return static_cast<uint8_t>(total + byte); });
}

std::string describe(const SmbiosStructure& structure, size_t index)
{
    return "structure " + std::to_string(index) + " (type " + std::to_string(structure.type) + ")";
}

std::vector<uint8_t> stringSetOf(const SmbiosStructure& structure, size_t index)
{
    if (structure.stringSet) {
        if (!structure.strings.empty())
            throw std::invalid_argument(describe(structure, index) +
                                        ": give either strings or a raw string set, not both");
        return *structure.stringSet;
    }
    std::vector<uint8_t> set;
    for (size_t i = 0; i < structure.strings.size(); ++i) {
        const std::string& text = structure.strings[i];
        if (text.find('\0') != std::string::npos)
            throw std::invalid_argument(describe(structure, index) + ": string " +
                                        std::to_string(i + 1) + " holds a zero byte");
        set.insert(set.end(), text.begin(), text.end());
        set.push_back(0);
    }
    // A set without strings is two zero bytes; otherwise one more closes it.
    if (set.empty())
        set.push_back(0);
    set.push_back(0);
    return set;
}

} // namespace

SmbiosTable buildSmbiosTable(const std::vector<SmbiosStructure>& structures)
{
    SmbiosTable table;
    for (size_t index = 0; index < structures.size(); ++index) {
        const SmbiosStructure& structure = structures[index];
        if (structure.formatted.size() > kLongestFormattedArea)
            throw std::invalid_argument(describe(structure, index) + ": a formatted area of " +
                                        std::to_string(structure.formatted.size() + kHeaderLength) +
                                        " bytes is longer than 255");
        std::vector<uint8_t> bytes(kHeaderLength);
        bytes[0] = structure.type;
        bytes[1] = structure.length.value_or(
            static_cast<uint8_t>(kHeaderLength + structure.formatted.size()));
        putWord(bytes, 2, structure.handle.value_or(static_cast<uint16_t>(index)));
        bytes.insert(bytes.end(), structure.formatted.begin(), structure.formatted.end());
        const auto set = stringSetOf(structure, index);
        bytes.insert(bytes.end(), set.begin(), set.end());

        table.maxStructureSize = static_cast<uint16_t>(
            std::min<size_t>(0xFFFF, std::max<size_t>(table.maxStructureSize, bytes.size())));
        table.bytes.insert(table.bytes.end(), bytes.begin(), bytes.end());
        if (table.bytes.size() > kLongestTable)
            throw std::invalid_argument("the structure table passes 65535 bytes at " +
                                        describe(structure, index));
    }
    table.structureCount = static_cast<uint16_t>(structures.size());
    return table;
}

std::vector<uint8_t> buildSmbiosEntryPoint(const SmbiosEntryPointFields& fields)
{
    std::vector<uint8_t> bytes(std::max<size_t>(kEntryPointLength, fields.entryPointLength), 0);
    std::memcpy(bytes.data(), "_SM_", 4);
    bytes[0x05] = fields.entryPointLength;
    bytes[0x06] = fields.majorVersion;
    bytes[0x07] = fields.minorVersion;
    putWord(bytes, 0x08, fields.maxStructureSize);
    if (fields.intermediateAnchor)
        std::memcpy(bytes.data() + 0x10, "_DMI_", 5);
    putWord(bytes, 0x16, fields.tableLength);
    putDword(bytes, 0x18, fields.tableAddress);
    putWord(bytes, 0x1C, fields.structureCount);
    bytes[0x1E] = static_cast<uint8_t>((fields.majorVersion << 4) | (fields.minorVersion & 0x0F));

    bytes[0x15] = static_cast<uint8_t>(-sum(bytes, 0x10, 0x0F));
    // The checksum byte can make the sum zero only when it is summed itself.
    if (fields.entryPointLength > 0x04)
        bytes[0x04] = static_cast<uint8_t>(-sum(bytes, 0, fields.entryPointLength));
    if (fields.badChecksum)
        bytes[0x04] = static_cast<uint8_t>(bytes[0x04] + 1);
    return bytes;
}

} // namespace sim::firmware
