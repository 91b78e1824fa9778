// SPDX-License-Identifier: MIT
// smbios.h
//
// SMBIOS firmware for the simulated notebook: structure tables built from
// structures written out field by field (the machine file's "smbios" key,
// the built-in notebook), tables taken from `dmidecode --dump-bin` files, and
// their placement in physical memory with a 32-bit entry point ("_SM_" with
// "_DMI_"). The layout's overrides describe broken firmware: wrong counts and
// lengths, a bad checksum, a missing intermediate anchor, an entry point or a
// table anywhere in the 4 GiB space.
#pragma once

#include "sim/machine.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace sim::firmware {

// One structure: its type, the bytes of its formatted area after the 4-byte
// header (type, length, handle), and its strings, string 1 first.
struct SmbiosStructure {
    uint8_t type = 0;
    std::vector<uint8_t> formatted;
    std::vector<std::string> strings;
    // The formatted-length byte as written; by default 4 + formatted.size().
    std::optional<uint8_t> length;
    // By default the structure's index in the table.
    std::optional<uint16_t> handle;
    // Bytes written in place of the string set built from `strings` (which
    // must then be empty), as they stand: an unterminated set, say.
    std::optional<std::vector<uint8_t>> stringSet;
};

// A structure table and what its entry point says of it.
struct SmbiosTable {
    std::vector<uint8_t> bytes;
    uint16_t structureCount = 0;
    uint16_t maxStructureSize = 0;
    uint8_t majorVersion = 2;
    uint8_t minorVersion = 3;
};

// The table of the structures, in order. Throws std::invalid_argument for a
// string holding a zero byte, a formatted area longer than 251 bytes, or a
// table past 65535 bytes (the entry point's length field).
SmbiosTable buildSmbiosTable(const std::vector<SmbiosStructure>& structures);

// The fields of a 32-bit entry point. The checksum is made to sum the
// entryPointLength bytes to zero (it can only when they include byte 4), and
// the intermediate checksum the 15 bytes from "_DMI_".
struct SmbiosEntryPointFields {
    uint32_t tableAddress = 0;
    uint16_t tableLength = 0;
    uint16_t structureCount = 0;
    uint16_t maxStructureSize = 0;
    uint8_t majorVersion = 2;
    uint8_t minorVersion = 3;
    uint8_t entryPointLength = 0x1F;
    bool badChecksum = false;       // the bytes sum to 1 instead
    bool intermediateAnchor = true; // false: zeros where "_DMI_" stands
};

// The entry point's bytes: 0x1F of them, or entryPointLength when more.
std::vector<uint8_t> buildSmbiosEntryPoint(const SmbiosEntryPointFields& fields);

// Where the entry point and the table go, and what the entry point says
// when it is to say something other than the truth.
struct SmbiosLayout {
    uint64_t entryPointAddress = 0xF0000;
    // By default the first 16-byte boundary after the entry point's bytes.
    std::optional<uint64_t> tableAddress;
    std::optional<uint16_t> structureCount;
    std::optional<uint16_t> tableLength;
    std::optional<uint8_t> entryPointLength;
    bool badChecksum = false;
    bool intermediateAnchor = true;
};

struct SmbiosPlacement {
    uint64_t entryPointAddress = 0;
    uint64_t tableAddress = 0;
};

// Writes the table and its entry point into memory. Throws
// std::invalid_argument when either would pass 4 GiB or they overlap.
SmbiosPlacement placeSmbios(PhysicalMemory& memory, const SmbiosTable& table,
                            const SmbiosLayout& layout);

// A `dmidecode --dump-bin` file: the entry point at offset 0 ("_SM_",
// "_SM3_" or the legacy "_DMI_"), its table address rewritten to 0x20, the
// table at offset 0x20. An SMBIOS 3 entry point gives no structure count;
// the structures are then counted up to the end-of-table structure. Throws
// std::runtime_error naming the file and what is wrong with it.
SmbiosTable loadDmidecodeDump(const std::filesystem::path& file);

// The bytes of such a file for an entry point ("_SM_" or "_SM3_") and its
// table, as dmidecode writes them: the table address set to 0x20 and the
// checksums made good again. Throws std::invalid_argument for anything else.
std::vector<uint8_t> makeDmidecodeDump(const std::vector<uint8_t>& entryPoint,
                                       const std::vector<uint8_t>& table);

// The built-in notebook's table: BIOS, system ("Inspiron 8600"), base
// board, enclosure, processor, two caches, on-board video, sound and
// Ethernet, memory array, two memory devices, battery, boot information
// and the end of the table.
std::vector<SmbiosStructure> builtinSmbiosStructures();

// Where the built-in notebook keeps them: entry point at 0xFDA40, table
// from 0xFDA60, both in the F segment.
void placeBuiltinSmbios(PhysicalMemory& memory);

} // namespace sim::firmware
