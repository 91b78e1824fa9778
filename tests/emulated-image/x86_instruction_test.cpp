// SPDX-License-Identifier: MIT
// x86_instruction_test.cpp
//
// Instruction lengths and privileged names the block check decodes, by the
// encodings of the processor manuals: the operand shapes a slip in the
// opcode tables would get wrong (SIB and displacements, 16-bit addressing,
// the operand-size prefix, group 3's immediate, the three-byte maps), and the
// privileged instructions behind prefixes; in 64-bit code also REX prefixes,
// the 64-bit immediate and offsets and the opcodes long mode drops.
#include "platform/emulated-image/x86_instruction.h"

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

namespace {

struct InstructionRow {
    const char* name;
    std::vector<uint8_t> bytes;
    uint32_t length;        // 0: cannot be decoded from these bytes
    const char* privileged; // in a driver
    bool userMode = false;
    bool longMode = false; // 64-bit code
};

void PrintTo(const InstructionRow& row, std::ostream* out)
{
    *out << row.name;
}

class X86Decode : public ::testing::TestWithParam<InstructionRow> {};

TEST_P(X86Decode, GivesTheLengthAndThePrivilegedName)
{
    const InstructionRow& row = GetParam();
    std::vector<uint8_t> bytes = row.bytes;
    bytes.resize(bytes.size() + 16, 0x90); // what follows must not change the answer
    const uint32_t available = row.length == 0 ? uint32_t(row.bytes.size()) : 32;
    const auto decoded = emulated::decodeX86(bytes.data(), available, row.userMode, row.longMode);
    EXPECT_EQ(decoded.length, row.length);
    if (row.privileged == nullptr)
        EXPECT_EQ(decoded.privileged, nullptr) << decoded.privileged;
    else
        EXPECT_STREQ(decoded.privileged, row.privileged);
}

INSTANTIATE_TEST_SUITE_P(
    Encodings, X86Decode,
    ::testing::Values(
        InstructionRow{"MovRegisterToRegister", {0x89, 0xC8}, 2, nullptr},
        InstructionRow{"MovWithSibAndDisp8", {0x8B, 0x44, 0x24, 0x08}, 4, nullptr},
        InstructionRow{"MovWithSibNoBaseDisp32", {0x8B, 0x04, 0x8D, 1, 2, 3, 4}, 7, nullptr},
        InstructionRow{"MovAbsoluteDisp32", {0x8B, 0x05, 1, 2, 3, 4}, 6, nullptr},
        InstructionRow{
            "MovImmediateToMemoryDisp32", {0xC7, 0x80, 1, 2, 3, 4, 5, 6, 7, 8}, 10, nullptr},
        InstructionRow{"OperandSizePrefixShortensImmediate", {0x66, 0xC7, 0x00, 1, 2}, 5, nullptr},
        InstructionRow{"AddressSizePrefixSixteenBitDisp", {0x67, 0x8B, 0x06, 1, 2}, 5, nullptr},
        InstructionRow{"MemoryOffsetLoad", {0xA1, 1, 2, 3, 4}, 5, nullptr},
        InstructionRow{"TestHasAnImmediate", {0xF7, 0xC1, 1, 2, 3, 4}, 6, nullptr},
        InstructionRow{"NotHasNone", {0xF7, 0xD1}, 2, nullptr},
        InstructionRow{"TestByteHasAByte", {0xF6, 0x40, 0x10, 0x01}, 4, nullptr},
        InstructionRow{"ConditionalNearJump", {0x0F, 0x85, 1, 2, 3, 4}, 6, nullptr},
        InstructionRow{"MovzxWord", {0x0F, 0xB7, 0x45, 0xF8}, 4, nullptr},
        InstructionRow{
            "ThreeByteMapWithImmediate", {0x66, 0x0F, 0x3A, 0x0F, 0xC1, 0x08}, 6, nullptr},
        InstructionRow{"ThreeByteMapWithout", {0x66, 0x0F, 0x38, 0x00, 0xC1}, 5, nullptr},
        InstructionRow{"Enter", {0xC8, 0x10, 0x00, 0x01}, 4, nullptr},
        InstructionRow{"ReturnPoppingBytes", {0xC2, 0x08, 0x00}, 3, nullptr},
        InstructionRow{"FarCall", {0x9A, 1, 2, 3, 4, 5, 6}, 7, nullptr},
        InstructionRow{"FloatingPointWithSib", {0xDD, 0x04, 0x24}, 3, nullptr},
        InstructionRow{"RepeatedStore", {0xF3, 0xAB}, 2, nullptr},
        InstructionRow{"HaltBehindPrefixes", {0x2E, 0x66, 0xF4}, 3, "hlt"},
        InstructionRow{"ReadModelRegister", {0x0F, 0x32}, 2, "rdmsr"},
        InstructionRow{"LoadGlobalDescriptorTable",
                       {0x0F, 0x01, 0x15, 1, 2, 3, 4},
                       7,
                       "a descriptor table or paging instruction (0f 01)"},
        InstructionRow{
            "MovToControlRegister", {0x0F, 0x22, 0xD8}, 3, "mov to or from a control register"},
        InstructionRow{"SoftwareInterrupt", {0xCD, 0x2E}, 2, "int"},
        InstructionRow{"PortOutInADriver", {0xEE}, 1, nullptr},
        InstructionRow{"PortOutInUserMode", {0xEE}, 1, "out", true},
        InstructionRow{"PortInWithImmediateInUserMode", {0xE4, 0x84}, 2, "in", true},
        InstructionRow{"CutShortInTheDisplacement", {0x8B, 0x05, 1, 2}, 0, nullptr},
        InstructionRow{"OnlyPrefixes", {0x66, 0x67, 0xF3}, 0, nullptr},
        InstructionRow{"IncIsOneByteIn32BitCode", {0x48, 0x89, 0xC8}, 1, nullptr},
        InstructionRow{"Rex64MovRegisterToRegister", {0x48, 0x89, 0xC8}, 3, nullptr, false, true},
        InstructionRow{
            "Rex64MovImmediate64", {0x48, 0xB8, 1, 2, 3, 4, 5, 6, 7, 8}, 10, nullptr, false, true},
        InstructionRow{
            "Rex64MovImmediate32WithoutRexW", {0x41, 0xB8, 1, 2, 3, 4}, 6, nullptr, false, true},
        InstructionRow{"Rex64ImmediateStaysFourBytes",
                       {0x48, 0xC7, 0xC0, 1, 2, 3, 4},
                       7,
                       nullptr,
                       false,
                       true},
        InstructionRow{"Rex64WOverridesOperandSizePrefix",
                       {0x66, 0x48, 0x81, 0xC0, 1, 2, 3, 4},
                       8,
                       nullptr,
                       false,
                       true},
        InstructionRow{"Rex64OperandSizePrefixBeforeRex",
                       {0x66, 0x41, 0xC7, 0xC0, 1, 2},
                       6,
                       nullptr,
                       false,
                       true},
        InstructionRow{"Rex64RipRelative", {0x48, 0x8B, 0x05, 1, 2, 3, 4}, 7, nullptr, false, true},
        InstructionRow{"Rex64R12BaseNeedsSib", {0x41, 0x8B, 0x04, 0x24}, 4, nullptr, false, true},
        InstructionRow{"Rex64MemoryOffsetIsEightBytes",
                       {0xA1, 1, 2, 3, 4, 5, 6, 7, 8},
                       9,
                       nullptr,
                       false,
                       true},
        InstructionRow{"Rex64Movsxd", {0x48, 0x63, 0xC8}, 3, nullptr, false, true},
        InstructionRow{"Rex64HaltBehindRex", {0x40, 0xF4}, 2, "hlt", false, true},
        InstructionRow{"Rex64SwapGs",
                       {0x0F, 0x01, 0xF8},
                       3,
                       "a descriptor table or paging instruction (0f 01)",
                       false,
                       true},
        InstructionRow{"Rex64ReadCr8",
                       {0x44, 0x0F, 0x20, 0xC0},
                       4,
                       "mov to or from a control register",
                       false,
                       true},
        InstructionRow{"Rex64PortOutInADriver", {0xEE}, 1, nullptr, false, true},
        InstructionRow{"Rex64PushEsIsNotInLongMode", {0x06}, 0, nullptr, false, true},
        InstructionRow{
            "Rex64FarCallIsNotInLongMode", {0x9A, 1, 2, 3, 4, 5, 6}, 0, nullptr, false, true}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
