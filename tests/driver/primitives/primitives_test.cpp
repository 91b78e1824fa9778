// SPDX-License-Identifier: MIT
// primitives_test.cpp
//
// The host build's driver primitives act on the installed machine.
#include "driver/primitives/hw_primitives.h"
#include "sim/machine.h"

#include <gtest/gtest.h>

namespace {

class PrimitivesTest : public testing::Test {
  protected:
    PrimitivesTest() : machine(sim::Machine::builtin())
    {
        sim::installMachine(machine);
    }
    ~PrimitivesTest() override
    {
        sim::installMachine(nullptr);
    }
    std::shared_ptr<sim::Machine> machine;
};

TEST_F(PrimitivesTest, SmmExchangeAndPortsActOnTheInstalledMachine)
{
    SMM_REGISTERS registers{0x10A3, 2, 0x5555, 0};
    SmmExchange(&registers);
    EXPECT_EQ(registers.Ax, 48);
    EXPECT_EQ(registers.Cx, 0x5555);
    EXPECT_EQ(machine->lastPostCode(), 48);
    machine->trace.clear();
    PortWriteByte(0x2E, 0x87);
    EXPECT_EQ(PortReadByte(0x2F), 0xFF);
    EXPECT_EQ(machine->trace.lines(),
              (std::vector<std::string>{"out 0x002e 0x87", "in 0x002f -> 0xff"}));
}

TEST(PrimitivesWithoutMachine, AreALogicError)
{
    sim::installMachine(nullptr);
    SMM_REGISTERS registers{0x10A3, 0, 0, 0};
    EXPECT_THROW(SmmExchange(&registers), std::logic_error);
    EXPECT_THROW(PortReadByte(0x84), std::logic_error);
}

} // namespace
