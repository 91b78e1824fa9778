// SPDX-License-Identifier: MIT
// arguments_test.cpp
//
// The parameters a kernel routine's stand-in reads at its stub, by the
// processor's mode and the routine's convention: a routine's stub called as
// the image calls it (cpu.call puts the arguments where the convention
// does), its parameters read in order through Arguments. On x86 from the
// stack (a 64-bit value in two slots, fastcall's first two from ECX and
// EDX); on x86-64 from RCX, RDX, R8 and R9, then from the stack above the
// shadow space, one slot each; a pointer above 4 GiB refused.
#include "platform/emulated-image/cpu.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using emulated::Convention;

enum class Read { Word, Pointer, Natural, Wide };

struct ArgumentRow {
    const char* name;
    bool longMode;
    Convention convention;
    uint16_t stackBytes; // what the stub takes off the stack (x86 stdcall, fastcall;
                         // nothing in long mode, whatever it says)
    std::vector<uint32_t> arguments;
    std::vector<Read> reads;
    std::vector<uint64_t> expected;
    std::vector<std::pair<int, uint64_t>> registers = {}; // set before the call
    const char* fault = nullptr;                          // what the call fails with
};

void PrintTo(const ArgumentRow& row, std::ostream* out)
{
    *out << row.name;
}

class StandInArguments : public ::testing::TestWithParam<ArgumentRow> {};

TEST_P(StandInArguments, AreReadWhereTheConventionPutsThem)
{
    const ArgumentRow& row = GetParam();
    emulated::CpuLayout layout;
    layout.longMode = row.longMode;
    std::vector<uint64_t> seen;
    emulated::Cpu* processor = nullptr;
    emulated::CpuDevices devices;
    devices.importCall = [&](uint32_t) {
        emulated::Arguments in(*processor, row.convention);
        for (Read read : row.reads)
            seen.push_back(read == Read::Word      ? in.word()
                           : read == Read::Pointer ? in.pointer()
                           : read == Read::Natural ? in.natural()
                                                   : in.wide());
    };
    emulated::Cpu cpu(devices, layout);
    processor = &cpu;
    cpu.installStubs({row.stackBytes});
    cpu.map(layout.stackTop - layout.stackSize, layout.stackSize, UC_PROT_READ | UC_PROT_WRITE);
    for (const auto& [id, value] : row.registers)
        if (row.longMode)
            cpu.setReg64(id, value);
        else
            cpu.setReg(id, static_cast<uint32_t>(value));
    const Convention caller =
        row.convention == Convention::Cdecl ? Convention::Cdecl : Convention::Stdcall;
    try {
        cpu.call(layout.stubPage, row.arguments, 100, caller);
        EXPECT_EQ(row.fault, nullptr) << "the call went through";
        EXPECT_EQ(seen, row.expected);
    } catch (const emulated::CpuFault& fault) {
        ASSERT_NE(row.fault, nullptr) << fault.what();
        EXPECT_NE(std::string(fault.what()).find(row.fault), std::string::npos) << fault.what();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Conventions, StandInArguments,
    ::testing::Values(ArgumentRow{"X86StdcallFromTheStack",
                                  false,
                                  Convention::Stdcall,
                                  12,
                                  {1, 0x80000010, 3},
                                  {Read::Word, Read::Pointer, Read::Natural},
                                  {1, 0x80000010, 3}},
                      ArgumentRow{"X86WideTakesTwoSlots",
                                  false,
                                  Convention::Cdecl,
                                  0,
                                  {7, 0x11111111, 0x22222222, 9},
                                  {Read::Word, Read::Wide, Read::Word},
                                  {7, 0x2222222211111111, 9}},
                      ArgumentRow{"X86FastcallRegistersFirst",
                                  false,
                                  Convention::Fastcall,
                                  4,
                                  {0xC},
                                  {Read::Pointer, Read::Word, Read::Word},
                                  {0xA, 0xB, 0xC},
                                  {{UC_X86_REG_ECX, 0xA}, {UC_X86_REG_EDX, 0xB}}},
                      ArgumentRow{"X64RegistersThenTheStackAboveTheShadowSpace",
                                  true,
                                  Convention::Stdcall,
                                  28,
                                  {1, 2, 3, 4, 5, 6, 7},
                                  {Read::Pointer, Read::Word, Read::Word, Read::Word, Read::Word,
                                   Read::Word, Read::Pointer},
                                  {1, 2, 3, 4, 5, 6, 7}},
                      ArgumentRow{"X64WideIsOneSlot",
                                  true,
                                  Convention::Stdcall,
                                  0,
                                  {},
                                  {Read::Wide, Read::Natural, Read::Word},
                                  {0x123456789A, 0xFFFFFFFF00000000, 0x9ABCDEF0},
                                  {{UC_X86_REG_RCX, 0x123456789A},
                                   {UC_X86_REG_RDX, 0xFFFFFFFF00000000},
                                   {UC_X86_REG_R8, 0x123456789ABCDEF0}}},
                      ArgumentRow{
                          "X64PointerAboveFourGiB",
                          true,
                          Convention::Stdcall,
                          0,
                          {},
                          {Read::Pointer},
                          {},
                          {{UC_X86_REG_RCX, 0xFFFF800000001000}},
                          "the pointer 0xffff800000001000, outside the emulated address space"}),
    [](const auto& info) { return std::string(info.param.name); });

} // namespace
