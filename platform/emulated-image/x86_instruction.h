// SPDX-License-Identifier: MIT
// x86_instruction.h
//
// Lengths of 32-bit x86 instructions, and the names of the privileged (or
// system) ones an image has no business running under the emulator. The
// processor checks each block of code once, when the engine first runs it,
// instead of looking at every instruction every time it runs.
#pragma once

#include <cstdint>

namespace emulated {

struct X86Instruction {
    uint32_t length = 0;              // 0: not decodable from the bytes given
    const char* privileged = nullptr; // the instruction's name when it is privileged
};

// Decodes the instruction at bytes (at most available bytes; 32-bit code
// segment). For a driver in and out are the port road and pass; in user mode
// they are privileged as well.
X86Instruction decodeX86(const uint8_t* bytes, uint32_t available, bool userMode);

} // namespace emulated
