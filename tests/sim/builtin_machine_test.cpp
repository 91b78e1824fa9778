// SPDX-License-Identifier: MIT
// builtin_machine_test.cpp
//
// The built-in Inspiron 8600: its SMM answers and the low memory the driver
// and its report readers look at.
#include "sim/machine.h"

#include <gtest/gtest.h>

namespace {

TEST(BuiltinMachine, AnswersAsAnInspiron8600)
{
    const auto machine = sim::Machine::builtin();
    EXPECT_EQ(machine->name, "Inspiron 8600");
    auto answer = [&](uint16_t ax, uint16_t bx) {
        sim::SmmRegisters registers{ax, bx, 0, 0};
        machine->smi(registers);
        return registers.ax;
    };
    const std::vector<uint16_t> temperatures{answer(0x10A3, 0), answer(0x10A3, 1),
                                             answer(0x10A3, 2), answer(0x10A3, 3),
                                             answer(0x10A3, 4)};
    EXPECT_EQ(temperatures, (std::vector<uint16_t>{52, 45, 48, 40, 0xFFFF}));
    EXPECT_EQ(answer(0x00A3, 1), 1);
    EXPECT_EQ(answer(0x02A3, 0), 120);
    EXPECT_EQ(answer(0x02A3, 1), 115);
    EXPECT_EQ(answer(0x02A3, 2), 0xFFFF);
}

TEST(BuiltinMachine, EbdaSegmentAndBiosSegmentWindowAreThere)
{
    const auto machine = sim::Machine::builtin();
    uint8_t word[2];
    machine->memory.read(0x40E, word, 2);
    const uint32_t ebda = (word[0] | word[1] << 8) << 4;
    EXPECT_GE(ebda, 0x80000u);
    EXPECT_LT(ebda, 0xA0000u);
    auto* window = static_cast<const uint8_t*>(machine->mapIoSpace(0xE0000, 0x20000));
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(window[0x1FFF0], 0xEA); // the reset vector's far jump
    machine->unmapIoSpace(const_cast<uint8_t*>(window), 0x20000);
}

} // namespace
