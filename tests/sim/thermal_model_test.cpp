// SPDX-License-Identifier: MIT
// thermal_model_test.cpp
//
// The simulated notebook at work: fan speeds go to where their states put
// them, faster fans bring the temperatures down, and no time changes nothing.
#include "sim/thermal_model.h"

#include <gtest/gtest.h>

namespace {

std::shared_ptr<sim::Machine> notebook(uint16_t fanState)
{
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    for (auto& fan : machine->smm.fans)
        fan.state = fanState;
    return machine;
}

TEST(ThermalModel, FanSpeedsFollowTheirStates)
{
    auto machine = notebook(2);
    machine->smm.fans[1].state = 0;
    sim::ThermalModel model(*machine);
    for (int second = 0; second < 30; ++second)
        model.advance(1);
    EXPECT_EQ(machine->smm.fans[0].speed, sim::settledFanSpeed(2));
    EXPECT_EQ(machine->smm.fans[1].speed, 0);
    EXPECT_LT(sim::settledFanSpeed(1), sim::settledFanSpeed(2));
}

TEST(ThermalModel, FasterFansKeepTheNotebookCooler)
{
    auto idle = notebook(0);
    auto cooled = notebook(2);
    sim::ThermalModel idleModel(*idle);
    sim::ThermalModel cooledModel(*cooled);
    for (int second = 0; second < 60; ++second) {
        idleModel.advance(1);
        cooledModel.advance(1);
    }
    for (const auto& [sensor, degrees] : idle->smm.temperatures)
        EXPECT_LT(cooled->smm.temperatures.at(sensor), degrees) << "sensor " << sensor;
}

TEST(ThermalModel, NoTimeChangesNothing)
{
    auto machine = notebook(2);
    const auto before = machine->smm.temperatures;
    const uint16_t speed = machine->smm.fans[0].speed;
    sim::ThermalModel model(*machine);
    model.advance(0);
    model.advance(-5);
    EXPECT_EQ(machine->smm.temperatures, before);
    EXPECT_EQ(machine->smm.fans[0].speed, speed);
}

TEST(ThermalModel, ASensorTheBiosLacksStaysMissing)
{
    auto machine = notebook(1);
    sim::ThermalModel model(*machine);
    machine->smm.temperatures.erase(3);
    model.advance(10);
    EXPECT_EQ(machine->smm.temperatures.count(3), 0u);
}

} // namespace
