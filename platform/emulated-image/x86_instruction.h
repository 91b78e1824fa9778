// SPDX-License-Identifier: MIT
// x86_instruction.h
//
// Lengths of x86 instructions (32-bit code, or 64-bit code with its REX
// prefixes and wider operands), and the names of the privileged (or
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

// Decodes the instruction at bytes (at most available bytes; a 32-bit code
// segment, or a 64-bit one in long mode). For a driver in and out are the
// port road and pass; in user mode they are privileged as well. In long mode
// the opcodes 64-bit code does not have (push es, pusha, a far call, ...)
// cannot be decoded.
X86Instruction decodeX86(const uint8_t* bytes, uint32_t available, bool userMode,
                         bool longMode = false);

} // namespace emulated
