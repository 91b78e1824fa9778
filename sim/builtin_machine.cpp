// SPDX-License-Identifier: MIT
// builtin_machine.cpp
//
// Machine::builtin: the notebook the tools run against when no machine file
// is given, an Inspiron 8600 with its SMM sensors and fans and a first MiB of
// memory holding a BIOS data area and the BIOS area 0xE0000-0xFFFFF.
#include "sim/machine.h"

#include "sim/firmware/smbios.h"

#include <algorithm>
#include <cstring>

namespace sim {

namespace {

constexpr uint64_t kFirstMiB = 0x100000;
constexpr uint64_t kBiosArea = 0xE0000;
constexpr uint64_t kEbda = 0x9FC00; // the top KiB of the 640 KiB base memory

void putWord(std::vector<uint8_t>& memory, uint64_t address, uint16_t value)
{
    memory[address] = static_cast<uint8_t>(value & 0xFF);
    memory[address + 1] = static_cast<uint8_t>(value >> 8);
}

// Low memory as the BIOS leaves it at boot: zeroed RAM with the BIOS data
// area at 0x400, a one-KiB EBDA below 640 KiB, and the BIOS area (erased
// flash reads 0xFF) with the reset vector and the BIOS date at its top.
std::vector<uint8_t> firstMiB()
{
    std::vector<uint8_t> memory(kFirstMiB, 0x00);
    putWord(memory, 0x400, 0x03F8);                              // COM1
    putWord(memory, 0x408, 0x0378);                              // LPT1
    putWord(memory, 0x40E, static_cast<uint16_t>(kEbda >> 4));   // EBDA segment
    putWord(memory, 0x410, 0x0021);                              // equipment word
    putWord(memory, 0x413, static_cast<uint16_t>(kEbda / 1024)); // base memory, KiB
    memory[kEbda] = 1;                                           // EBDA size, KiB

    std::fill(memory.begin() + kBiosArea, memory.end(), 0xFF);
    const uint8_t resetVector[] = {0xEA, 0x5B, 0xE0, 0x00, 0xF0}; // jmp f000:e05b
    std::memcpy(&memory[0xFFFF0], resetVector, sizeof resetVector);
    std::memcpy(&memory[0xFFFF5], "10/02/05", 8);
    memory[0xFFFFE] = 0xFC; // AT-class model byte
    return memory;
}

} // namespace

std::unique_ptr<Machine> Machine::builtin()
{
    auto machine = std::make_unique<Machine>();
    machine->name = "Inspiron 8600";
    machine->smm.behaviour = SmmBehaviour::Normal;
    // On this model sensor 0 is the CPU and sensor 2 the GPU.
    machine->smm.temperatures = {{0, 52}, {1, 45}, {2, 48}, {3, 40}};
    // Raw speeds; the driver multiplies by 30 (120 -> 3600 rpm).
    machine->smm.fans = {Fan{1, 120}, Fan{1, 115}};
    machine->memory.load(0, firstMiB());
    firmware::placeBuiltinSmbios(machine->memory);
    return machine;
}

} // namespace sim
