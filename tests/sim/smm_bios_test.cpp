// SPDX-License-Identifier: MIT
// smm_bios_test.cpp
//
// The SMM BIOS through the machine's SMI exchange: the four functions, the
// failure answer, the ignore and echo-ax behaviours, the POST code write and
// the trace of the exchange.
#include "sim/machine.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace sim {
void PrintTo(const SmmRegisters& r, std::ostream* out)
{
    char text[48];
    std::snprintf(text, sizeof text, "ax=%04x bx=%04x cx=%04x dx=%04x", r.ax, r.bx, r.cx, r.dx);
    *out << text;
}
} // namespace sim

namespace {

using sim::SmmRegisters;

class SmmBiosTest : public testing::Test {
  protected:
    SmmBiosTest()
    {
        machine.smm.temperatures = {{0, 52}, {1, 0}};
        machine.smm.fans = {{1, 120}, {2, 0x02A3}};
    }
    SmmRegisters exchange(uint16_t ax, uint16_t bx, uint16_t cx = 0, uint16_t dx = 0)
    {
        SmmRegisters registers{ax, bx, cx, dx};
        machine.smi(registers);
        return registers;
    }
    sim::Machine machine;
};

TEST_F(SmmBiosTest, FunctionsAnswerInAxOnly)
{
    EXPECT_EQ(exchange(0x10A3, 0, 0x1111, 0x2222), (SmmRegisters{52, 0, 0x1111, 0x2222}));
    EXPECT_EQ(exchange(0x10A3, 1).ax, 0); // zero degrees is an answer
    EXPECT_EQ(exchange(0x00A3, 1).ax, 2);
    EXPECT_EQ(exchange(0x02A3, 0).ax, 120);
}

TEST_F(SmmBiosTest, UnknownSensorFanOrFunctionAnswersAllOnes)
{
    EXPECT_EQ(exchange(0x10A3, 2, 0x1111, 0x2222), (SmmRegisters{0xFFFF, 2, 0x1111, 0x2222}));
    EXPECT_EQ(exchange(0x00A3, 2).ax, 0xFFFF);
    EXPECT_EQ(exchange(0x02A3, 0x0100).ax, 0xFFFF); // BX is the whole fan number
    EXPECT_EQ(exchange(0x03A3, 0).ax, 0xFFFF);
}

TEST_F(SmmBiosTest, SetFanStateTakesStateInBhAndFanInBl)
{
    EXPECT_EQ(exchange(0x01A3, 0x0001).ax, 0);
    EXPECT_EQ(exchange(0x00A3, 1).ax, 0);
    EXPECT_EQ(exchange(0x01A3, 0x0300).ax, 0xFFFF); // state 3
    EXPECT_EQ(exchange(0x01A3, 0x0102).ax, 0xFFFF); // fan 2
    EXPECT_EQ(machine.smm.fans[0].state, 1);
}

TEST_F(SmmBiosTest, AnswerEqualToTheSentAxStillChangesARegister)
{
    // Fan 1's raw speed is 0x02A3, the very AX of the call.
    EXPECT_EQ(exchange(0x02A3, 1), (SmmRegisters{0x02A3, 1, 0, 0x0001}));
}

TEST_F(SmmBiosTest, BehavioursAndOtherCommandBytes)
{
    EXPECT_EQ(exchange(0x10A2, 0), (SmmRegisters{0x10A2, 0, 0, 0})); // AL not 0xA3
    machine.smm.behaviour = sim::SmmBehaviour::Ignore;
    EXPECT_EQ(exchange(0x01A3, 0x0001), (SmmRegisters{0x01A3, 0x0001, 0, 0}));
    EXPECT_EQ(machine.smm.fans[0].state, 1);
    machine.smm.behaviour = sim::SmmBehaviour::EchoAx;
    EXPECT_EQ(exchange(0x10A3, 0), (SmmRegisters{0x10A3, 0, 0, 0x0001}));
}

TEST_F(SmmBiosTest, TheSmiIsTracedAndLeavesThePostPortToTheCaller)
{
    exchange(0x10A3, 0);
    exchange(0x10A3, 9);
    EXPECT_EQ(machine.smiCount(), 2u);
    EXPECT_EQ(machine.lastPostCode(), std::nullopt);
    EXPECT_EQ(machine.trace.lines(),
              (std::vector<std::string>{
                  "smi ax=10a3 bx=0000 cx=0000 dx=0000 -> ax=0034 bx=0000 cx=0000 dx=0000",
                  "smi ax=10a3 bx=0009 cx=0000 dx=0000 -> ax=ffff bx=0009 cx=0000 dx=0000"}));
}

} // namespace
