// SPDX-License-Identifier: MIT
// builtin_smbios.cpp
//
// The SMBIOS table of the built-in notebook, an Inspiron 8600 of 2003
// (SMBIOS 2.3): firmware, model, processor, caches, on-board devices, memory
// and battery as such a machine reports them, and where its BIOS keeps them.
#include "sim/firmware/smbios.h"

namespace sim::firmware {

namespace {

// A formatted area written by field offsets counted from the type byte.
class Formatted {
  public:
    explicit Formatted(uint8_t length) : bytes_(length - 4u, 0) {}

    Formatted& byte(size_t offset, uint8_t value)
    {
        bytes_.at(offset - 4) = value;
        return *this;
    }
    Formatted& word(size_t offset, uint16_t value)
    {
        byte(offset, static_cast<uint8_t>(value));
        return byte(offset + 1, static_cast<uint8_t>(value >> 8));
    }
    Formatted& dword(size_t offset, uint32_t value)
    {
        word(offset, static_cast<uint16_t>(value));
        return word(offset + 2, static_cast<uint16_t>(value >> 16));
    }
    std::vector<uint8_t> bytes() const
    {
        return bytes_;
    }

  private:
    std::vector<uint8_t> bytes_;
};

SmbiosStructure structure(uint8_t type, uint16_t handle, const Formatted& formatted,
                          std::vector<std::string> strings = {})
{
    SmbiosStructure made;
    made.type = type;
    made.handle = handle;
    made.formatted = formatted.bytes();
    made.strings = std::move(strings);
    return made;
}

SmbiosStructure bios()
{
    return structure(0, 0x0000,
                     Formatted(0x14)
                         .byte(0x04, 1)      // vendor
                         .byte(0x05, 2)      // version
                         .word(0x06, 0xF000) // starting segment
                         .byte(0x08, 3)      // release date
                         .byte(0x09, 0x07)   // 512 KiB of ROM
                         .dword(0x0A, 0x7FCB9E90)
                         .byte(0x12, 0x01) // ACPI
                         .byte(0x13, 0x00),
                     {"Nordwind Portable Systems", "A05", "10/02/2005"});
}

SmbiosStructure system()
{
    Formatted formatted(0x19);
    formatted.byte(0x04, 1).byte(0x05, 2).byte(0x06, 0).byte(0x07, 3).byte(0x18, 0x06);
    const uint8_t uuid[16] = {0x44, 0x45, 0x4C, 0x4C, 0x4B, 0x00, 0x10, 0x44,
                              0x80, 0x39, 0xB4, 0xC0, 0x4F, 0x52, 0x31, 0x4A};
    for (size_t i = 0; i < sizeof uuid; ++i)
        formatted.byte(0x08 + i, uuid[i]);
    return structure(1, 0x0100, formatted,
                     {"Nordwind Portable Systems", "Inspiron 8600", "4KD9R1J"});
}

SmbiosStructure baseBoard()
{
    return structure(2, 0x0200, Formatted(0x08).byte(0x04, 1).byte(0x05, 2).byte(0x06, 3),
                     {"Nordwind Portable Systems", "0X2034", "A00"});
}

SmbiosStructure enclosure()
{
    return structure(3, 0x0300,
                     Formatted(0x15)
                         .byte(0x04, 1)    // manufacturer
                         .byte(0x05, 0x0A) // notebook
                         .byte(0x07, 2)    // serial number
                         .byte(0x08, 3)    // asset tag
                         .byte(0x09, 0x03)
                         .byte(0x0A, 0x03)
                         .byte(0x0B, 0x03)
                         .byte(0x0C, 0x03)
                         .byte(0x12, 1), // power cords
                     {"Nordwind Portable Systems", "4KD9R1J", "NORD-IT-0042"});
}

SmbiosStructure processor()
{
    return structure(4, 0x0400,
                     Formatted(0x23)
                         .byte(0x04, 1)    // socket
                         .byte(0x05, 0x03) // central processor
                         .byte(0x06, 0xB9) // Pentium M
                         .byte(0x07, 2)    // manufacturer
                         .dword(0x08, 0x000006D6)
                         .dword(0x0C, 0xAFE9FBFF)
                         .byte(0x10, 3)    // version
                         .byte(0x11, 0x8C) // 1.2 V
                         .word(0x12, 400)  // external clock
                         .word(0x14, 1700) // max speed
                         .word(0x16, 1600) // current speed
                         .byte(0x18, 0x41)
                         .byte(0x19, 0x06)
                         .word(0x1A, 0x0700)
                         .word(0x1C, 0x0701)
                         .word(0x1E, 0xFFFF),
                     {"Microprocessor", "Intel", "Intel(R) Pentium(R) M processor 1.60GHz"});
}

// Configuration: level in bits 2-0, location in bits 6-5, enabled bit 7,
// write-back mode in bits 9-8.
SmbiosStructure cache(uint16_t handle, const char* designation, uint16_t configuration,
                      uint16_t size)
{
    return structure(7, handle,
                     Formatted(0x13)
                         .byte(0x04, 1)
                         .word(0x05, configuration)
                         .word(0x07, size)
                         .word(0x09, size)
                         .word(0x0B, 0x0002)
                         .word(0x0D, 0x0002)
                         .byte(0x10, 0x05)
                         .byte(0x11, 0x05)
                         .byte(0x12, 0x07),
                     {designation});
}

// Only the first device of an on-board devices structure is reported, so
// each device has its own structure; the sound one lists the modem second.
SmbiosStructure onBoardDevices(uint16_t handle, std::vector<uint8_t> types,
                               std::vector<std::string> descriptions)
{
    Formatted formatted(static_cast<uint8_t>(4 + 2 * types.size()));
    for (size_t i = 0; i < types.size(); ++i)
        formatted.byte(4 + 2 * i, types[i]).byte(5 + 2 * i, static_cast<uint8_t>(i + 1));
    return structure(10, handle, formatted, std::move(descriptions));
}

SmbiosStructure memoryArray()
{
    return structure(16, 0x1000,
                     Formatted(0x0F)
                         .byte(0x04, 0x03) // system board
                         .byte(0x05, 0x03) // system memory
                         .byte(0x06, 0x03) // no error correction
                         .dword(0x07, 1024 * 1024)
                         .word(0x0B, 0xFFFE)
                         .word(0x0D, 2));
}

SmbiosStructure memoryDevice(uint16_t handle, const char* locator, uint16_t sizeMb,
                             uint16_t speedMhz)
{
    return structure(17, handle,
                     Formatted(0x1B)
                         .word(0x04, 0x1000)
                         .word(0x06, 0xFFFE)
                         .word(0x08, 64)
                         .word(0x0A, 64)
                         .word(0x0C, sizeMb)
                         .byte(0x0E, 0x0D) // SODIMM
                         .byte(0x10, 1)    // device locator
                         .byte(0x11, 2)    // bank locator
                         .byte(0x12, 0x12) // DDR
                         .word(0x13, 0x0080)
                         .word(0x15, speedMhz),
                     {locator, "Bank 0"});
}

// The dates and serial number come as SBDS words: 0x2E81 is 4/1/2003.
SmbiosStructure battery()
{
    return structure(22, 0x1600,
                     Formatted(0x1A)
                         .byte(0x04, 1) // location
                         .byte(0x05, 2) // manufacturer
                         .byte(0x08, 3) // device name
                         .byte(0x09, 0x02)
                         .word(0x0A, 7200)
                         .word(0x0C, 14800)
                         .byte(0x0E, 4)
                         .byte(0x0F, 0xFF)
                         .word(0x10, 6699)
                         .word(0x12, 0x2E81)
                         .byte(0x14, 5)
                         .byte(0x15, 10),
                     {"Sys. Battery Bay", "Volta", "NORD 4M0101", "1.0", "LION"});
}

SmbiosStructure bootInformation()
{
    return structure(32, 0x2000, Formatted(0x14));
}

SmbiosStructure endOfTable()
{
    return structure(127, 0x7F00, Formatted(0x04));
}

} // namespace

std::vector<SmbiosStructure> builtinSmbiosStructures()
{
    return {
        bios(),
        system(),
        baseBoard(),
        enclosure(),
        processor(),
        cache(0x0700, "L1 Cache", 0x0180, 0x0040),
        cache(0x0701, "L2 Cache", 0x0181, 0x8010),
        onBoardDevices(0x0A00, {0x83}, {"NVIDIA GeForce FX Go5650"}),
        onBoardDevices(0x0A01, {0x87, 0x82}, {"SigmaTel STAC9750", "Conexant Modem"}),
        onBoardDevices(0x0A02, {0x85}, {"Broadcom BCM4401 10/100"}),
        memoryArray(),
        memoryDevice(0x1100, "DIMM_A", 256, 333),
        memoryDevice(0x1101, "DIMM_B", 256, 0),
        battery(),
        bootInformation(),
        endOfTable(),
    };
}

void placeBuiltinSmbios(PhysicalMemory& memory)
{
    SmbiosTable table = buildSmbiosTable(builtinSmbiosStructures());
    table.majorVersion = 2;
    table.minorVersion = 3;
    SmbiosLayout layout;
    layout.entryPointAddress = 0xFDA40;
    layout.tableAddress = 0xFDA60;
    placeSmbios(memory, table, layout);
}

} // namespace sim::firmware
