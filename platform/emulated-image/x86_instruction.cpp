// SPDX-License-Identifier: MIT
// x86_instruction.cpp
//
// The opcode maps of x86 as ranges of opcodes with the same operand shape (a
// ModRM byte or not, and the size of the immediate), walked once into two
// 256-entry tables, and the privileged instructions by opcode. 64-bit code
// differs in a few places, each said where it is: REX prefixes, a 64-bit
// immediate for mov to a register, 64-bit memory offsets, and the one-byte
// opcodes it drops.
#include "platform/emulated-image/x86_instruction.h"

#include <array>
#include <cstddef>

namespace emulated {

namespace {

// What follows an opcode byte.
enum Shape : uint8_t {
    kNone = 0,
    kByte,    // an 8-bit immediate
    kWord,    // a 16-bit immediate
    kFull,    // 32 bits, 16 with the operand-size prefix
    kOffset,  // a memory offset: 32 bits, 16 with the address-size prefix
    kFar,     // a far pointer: 48 bits, 32 with the operand-size prefix
    kEnter,   // a 16-bit and an 8-bit immediate
    kTest,    // group 3: a byte (F6) or full (F7) immediate for test only
    kPrefix,  // a prefix byte, not an opcode
    kEscape,  // 0F: the two-byte map
    kThree38, // 0F 38: the three-byte map without an immediate
    kThree3A, // 0F 3A: the three-byte map with a byte immediate
};

struct OpcodeRange {
    uint8_t first, last;
    bool modrm;
    Shape shape;
};

// The one-byte map. Opcodes not listed take no ModRM and no immediate.
constexpr OpcodeRange kOneByte[] = {
    {0x00, 0x03, true, kNone},    {0x04, 0x04, false, kByte},   {0x05, 0x05, false, kFull},
    {0x08, 0x0B, true, kNone},    {0x0C, 0x0C, false, kByte},   {0x0D, 0x0D, false, kFull},
    {0x0F, 0x0F, false, kEscape}, {0x10, 0x13, true, kNone},    {0x14, 0x14, false, kByte},
    {0x15, 0x15, false, kFull},   {0x18, 0x1B, true, kNone},    {0x1C, 0x1C, false, kByte},
    {0x1D, 0x1D, false, kFull},   {0x20, 0x23, true, kNone},    {0x24, 0x24, false, kByte},
    {0x25, 0x25, false, kFull},   {0x26, 0x26, false, kPrefix}, {0x28, 0x2B, true, kNone},
    {0x2C, 0x2C, false, kByte},   {0x2D, 0x2D, false, kFull},   {0x2E, 0x2E, false, kPrefix},
    {0x30, 0x33, true, kNone},    {0x34, 0x34, false, kByte},   {0x35, 0x35, false, kFull},
    {0x36, 0x36, false, kPrefix}, {0x38, 0x3B, true, kNone},    {0x3C, 0x3C, false, kByte},
    {0x3D, 0x3D, false, kFull},   {0x3E, 0x3E, false, kPrefix}, {0x62, 0x63, true, kNone},
    {0x64, 0x67, false, kPrefix}, {0x68, 0x68, false, kFull},   {0x69, 0x69, true, kFull},
    {0x6A, 0x6A, false, kByte},   {0x6B, 0x6B, true, kByte},    {0x70, 0x7F, false, kByte},
    {0x80, 0x80, true, kByte},    {0x81, 0x81, true, kFull},    {0x82, 0x83, true, kByte},
    {0x84, 0x8F, true, kNone},    {0x9A, 0x9A, false, kFar},    {0xA0, 0xA3, false, kOffset},
    {0xA8, 0xA8, false, kByte},   {0xA9, 0xA9, false, kFull},   {0xB0, 0xB7, false, kByte},
    {0xB8, 0xBF, false, kFull},   {0xC0, 0xC1, true, kByte},    {0xC2, 0xC2, false, kWord},
    {0xC4, 0xC5, true, kNone},    {0xC6, 0xC6, true, kByte},    {0xC7, 0xC7, true, kFull},
    {0xC8, 0xC8, false, kEnter},  {0xCA, 0xCA, false, kWord},   {0xCD, 0xCD, false, kByte},
    {0xD0, 0xD3, true, kNone},    {0xD4, 0xD5, false, kByte},   {0xD8, 0xDF, true, kNone},
    {0xE0, 0xE7, false, kByte},   {0xE8, 0xE9, false, kFull},   {0xEA, 0xEA, false, kFar},
    {0xEB, 0xEB, false, kByte},   {0xF0, 0xF0, false, kPrefix}, {0xF2, 0xF3, false, kPrefix},
    {0xF6, 0xF7, true, kTest},    {0xFE, 0xFF, true, kNone},
};

// The two-byte map (after 0F). Opcodes not listed take a ModRM byte and no
// immediate, which is true of most of it.
constexpr OpcodeRange kTwoByte[] = {
    {0x04, 0x0C, false, kNone}, {0x0E, 0x0E, false, kNone},    {0x0F, 0x0F, true, kByte},
    {0x30, 0x37, false, kNone}, {0x38, 0x38, false, kThree38}, {0x3A, 0x3A, false, kThree3A},
    {0x70, 0x73, true, kByte},  {0x77, 0x77, false, kNone},    {0x80, 0x8F, false, kFull},
    {0xA0, 0xA2, false, kNone}, {0xA4, 0xA4, true, kByte},     {0xA8, 0xAA, false, kNone},
    {0xAC, 0xAC, true, kByte},  {0xBA, 0xBA, true, kByte},     {0xC2, 0xC2, true, kByte},
    {0xC4, 0xC6, true, kByte},  {0xC8, 0xCF, false, kNone},
};

struct OpcodeShape {
    bool modrm;
    Shape shape;
};

template <std::size_t N>
constexpr std::array<OpcodeShape, 256> opcodeMap(const OpcodeRange (&ranges)[N], bool modrm)
{
    std::array<OpcodeShape, 256> map{};
    for (auto& entry : map)
        entry = OpcodeShape{modrm, kNone};
    for (const auto& range : ranges)
        for (unsigned opcode = range.first; opcode <= range.last; ++opcode)
            map[opcode] = OpcodeShape{range.modrm, range.shape};
    return map;
}

constexpr auto kOneByteMap = opcodeMap(kOneByte, false);
constexpr auto kTwoByteMap = opcodeMap(kTwoByte, true);

struct PrivilegedOpcode {
    uint8_t opcode;
    const char* name;
    bool userOnly; // privileged in user mode only: a driver's port road
};

constexpr PrivilegedOpcode kPrivilegedOneByte[] = {
    {0xF4, "hlt", false}, {0xFA, "cli", false},  {0xFB, "sti", false},  {0xCC, "int3", false},
    {0xCD, "int", false}, {0xCE, "into", false}, {0xF1, "int1", false}, {0xCF, "iret", false},
    {0x6C, "ins", false}, {0x6D, "ins", false},  {0x6E, "outs", false}, {0x6F, "outs", false},
    {0xE4, "in", true},   {0xE5, "in", true},    {0xEC, "in", true},    {0xED, "in", true},
    {0xE6, "out", true},  {0xE7, "out", true},   {0xEE, "out", true},   {0xEF, "out", true},
};

constexpr PrivilegedOpcode kPrivilegedTwoByte[] = {
    {0x00, "a system segment instruction (0f 00)", false},
    {0x01, "a descriptor table or paging instruction (0f 01)", false},
    {0x05, "syscall", false},
    {0x06, "clts", false},
    {0x07, "sysret", false},
    {0x08, "invd", false},
    {0x09, "wbinvd", false},
    {0x20, "mov to or from a control register", false},
    {0x22, "mov to or from a control register", false},
    {0x21, "mov to or from a debug register", false},
    {0x23, "mov to or from a debug register", false},
    {0x30, "wrmsr", false},
    {0x32, "rdmsr", false},
    {0x33, "rdpmc", false},
    {0x34, "sysenter", false},
    {0x35, "sysexit", false},
};

// One-byte opcodes 64-bit code does not have (invalid there; C4 and C5 are
// the VEX prefixes, which no image of ours uses).
constexpr uint8_t kNotInLongMode[] = {0x06, 0x07, 0x0E, 0x16, 0x17, 0x1E, 0x1F, 0x27,
                                      0x2F, 0x37, 0x3F, 0x60, 0x61, 0x62, 0x82, 0x9A,
                                      0xC4, 0xC5, 0xCE, 0xD4, 0xD5, 0xD6, 0xEA};

bool notInLongMode(uint8_t opcode)
{
    for (uint8_t dropped : kNotInLongMode)
        if (dropped == opcode)
            return true;
    return false;
}

template <std::size_t N>
const char* privilegedName(const PrivilegedOpcode (&table)[N], uint8_t opcode, bool userMode)
{
    for (const auto& entry : table)
        if (entry.opcode == opcode && (userMode || !entry.userOnly))
            return entry.name;
    return nullptr;
}

// The bytes of a ModRM byte and what it addresses (SIB, displacement).
uint32_t modrmLength(const uint8_t* bytes, uint32_t available, bool addressSize16)
{
    if (available < 1)
        return 0;
    const uint8_t modrm = bytes[0];
    const unsigned mod = modrm >> 6, rm = modrm & 7;
    if (mod == 3)
        return 1;
    if (addressSize16) {
        if (mod == 0)
            return rm == 6 ? 3 : 1;
        return mod == 1 ? 2 : 3;
    }
    uint32_t length = 1;
    if (rm == 4) {
        if (available < 2)
            return 0;
        length = 2;
        if (mod == 0 && (bytes[1] & 7) == 5)
            return length + 4;
    }
    if (mod == 0)
        return rm == 5 ? length + 4 : length;
    return length + (mod == 1 ? 1 : 4);
}

uint32_t immediateLength(Shape shape, uint8_t opcode, uint8_t modrm, bool operand16, bool address16,
                         bool longMode)
{
    switch (shape) {
    case kByte:
    case kThree3A:
        return 1;
    case kWord:
        return 2;
    case kFull:
        return operand16 ? 2 : 4;
    case kOffset:
        if (longMode)
            return address16 ? 4 : 8; // 0x67 makes the offset 32 bits
        return address16 ? 2 : 4;
    case kFar:
        return operand16 ? 4 : 6;
    case kEnter:
        return 3;
    case kTest:
        if (((modrm >> 3) & 7) > 1)
            return 0;
        return opcode == 0xF6 ? 1 : (operand16 ? 2 : 4);
    default:
        return 0;
    }
}

} // namespace

X86Instruction decodeX86(const uint8_t* bytes, uint32_t available, bool userMode, bool longMode)
{
    constexpr uint32_t kLongest = 15; // the processor's own limit
    if (available > kLongest)
        available = kLongest;
    bool operand16 = false, address16 = false, rexW = false;
    uint32_t at = 0;
    // In long mode 40 to 4F (inc and dec in 32-bit code) are REX prefixes;
    // only one right before the opcode counts, so a legacy prefix after one
    // cancels it. REX.W makes the operand 64 bits; REX never changes the
    // ModRM byte's length (R12 and R13 as a base behave as ESP and EBP).
    for (; at < available; ++at) {
        const uint8_t prefix = bytes[at];
        if (longMode && (prefix & 0xF0) == 0x40) {
            rexW = (prefix & 0x08) != 0;
            continue;
        }
        if (kOneByteMap[prefix].shape != kPrefix)
            break;
        operand16 |= prefix == 0x66;
        address16 |= prefix == 0x67;
        rexW = false;
    }
    if (at >= available)
        return {};
    X86Instruction decoded;
    const uint8_t opcode = bytes[at++];
    if (longMode && notInLongMode(opcode))
        return {};
    OpcodeShape shape = kOneByteMap[opcode];
    uint8_t mapped = opcode;
    if (shape.shape == kEscape) {
        if (at >= available)
            return {};
        mapped = bytes[at++];
        decoded.privileged = privilegedName(kPrivilegedTwoByte, mapped, userMode);
        shape = kTwoByteMap[mapped];
        if (shape.shape == kThree38 || shape.shape == kThree3A) {
            if (at >= available)
                return {};
            ++at; // the third opcode byte
            shape.modrm = true;
        }
    } else {
        decoded.privileged = privilegedName(kPrivilegedOneByte, opcode, userMode);
    }
    uint8_t modrm = 0;
    if (shape.modrm) {
        // 0x67 in long mode means 32-bit addressing, which has 32-bit code's
        // ModRM forms.
        const uint32_t length = modrmLength(bytes + at, available - at, address16 && !longMode);
        if (length == 0)
            return {};
        modrm = bytes[at];
        at += length;
    }
    // The only 64-bit immediate: mov of a whole register (REX.W B8+r). Else
    // REX.W keeps 32-bit immediates and overrides the operand-size prefix.
    if (rexW && opcode >= 0xB8 && opcode <= 0xBF)
        at += 8;
    else
        at += immediateLength(shape.shape, mapped, modrm, operand16 && !rexW, address16, longMode);
    if (at > available)
        return {};
    decoded.length = at;
    return decoded;
}

} // namespace emulated
