// SPDX-License-Identifier: MIT
// superio_chip_test.cpp
//
// The simulated Super I/O chip on the port bus: configuration mode and its
// keys, the global and logical device registers, the runtime block at the
// base logical device 9 gives, and the echo and stuck-register faults.
#include "sim/superio_chip.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>

namespace {

using sim::SuperIoChip;
using sim::SuperIoSettings;

// The default settings with some changed.
template <typename Change> SuperIoSettings with(Change change)
{
    SuperIoSettings settings;
    change(settings);
    return settings;
}

class SuperIoChipTest : public testing::Test {
  protected:
    void build(SuperIoSettings settings = {})
    {
        port = settings.configPort;
        base = settings.runtimeBase;
        chip = std::make_shared<SuperIoChip>(settings);
        machine.attach(chip);
    }
    uint8_t configRead(uint8_t index)
    {
        machine.portOut(port, index);
        return machine.portIn(port + 1);
    }
    void configWrite(uint8_t index, uint8_t value)
    {
        machine.portOut(port, index);
        machine.portOut(port + 1, value);
    }
    uint8_t runtimeRead(uint8_t index)
    {
        machine.portOut(base, index);
        return machine.portIn(base + 1);
    }
    void runtimeWrite(uint8_t index, uint8_t value)
    {
        machine.portOut(base, index);
        machine.portOut(base + 1, value);
    }

    sim::Machine machine;
    std::shared_ptr<SuperIoChip> chip;
    uint16_t port = 0;
    uint16_t base = 0;
};

TEST_F(SuperIoChipTest, OutsideConfigurationModeOnlyTheEnterKeyIsHeard)
{
    build(with([](SuperIoSettings& s) { s.restingValue = 0x5A; }));
    EXPECT_EQ(machine.portIn(0x2E), 0xFF);
    EXPECT_EQ(configRead(0x20), 0x5A) << "the data port rests; 0x20 selects nothing";
    configWrite(0x07, 0x09);
    EXPECT_EQ(chip->logicalDevice(), 0) << "a data write outside configuration mode is ignored";
    machine.portOut(0x2E, 0xAA);
    EXPECT_FALSE(chip->inConfigurationMode());
    machine.portOut(0x2E, 0x55);
    EXPECT_TRUE(chip->inConfigurationMode());
}

TEST_F(SuperIoChipTest, ConfigurationModeServesIdRevisionAndTheIndexReadsBack)
{
    build(with([](SuperIoSettings& s) {
        s.deviceId = 0x0E;
        s.revision = 0x7F;
    }));
    machine.portOut(0x2E, 0x55);
    machine.portOut(0x2E, 0x55);
    EXPECT_EQ(machine.portIn(0x2E), 0x55) << "the second enter key reads back";
    machine.portOut(0x2E, 0x20);
    EXPECT_EQ(machine.portIn(0x2E), 0x20);
    EXPECT_EQ(machine.portIn(0x2F), 0x0E);
    EXPECT_EQ(configRead(0x21), 0x7F);
    configWrite(0x20, 0x42);
    EXPECT_EQ(configRead(0x20), 0x0E) << "the ID is read-only";

    machine.portOut(0x2E, 0xAA);
    EXPECT_FALSE(chip->inConfigurationMode());
    EXPECT_EQ(machine.portIn(0x2E), 0xFF) << "after the exit key the chip drives nothing";
    EXPECT_EQ(configRead(0x20), 0xFF) << "the resting value again";
}

TEST_F(SuperIoChipTest, BaseZeroOrAllOnesDecodesNoRuntimePorts)
{
    build(with([](SuperIoSettings& s) { s.runtimeBase = 0; }));
    for (uint16_t p : {0x0000, 0x0001, 0x0680, 0x0681})
        EXPECT_FALSE(chip->claims(p)) << p;
    EXPECT_EQ(machine.portIn(0x0001), 0xFF);

    SuperIoChip top(with([](SuperIoSettings& s) { s.runtimeBase = 0xFFFF; }));
    EXPECT_FALSE(top.claims(0xFFFF));
    EXPECT_FALSE(top.claims(0x0000));
}

TEST(SuperIoChipSettings, RefusesPortsTheChipCannotHave)
{
    EXPECT_THROW(SuperIoChip(with([](SuperIoSettings& s) { s.configPort = 0x3F0; })),
                 std::invalid_argument);
    EXPECT_THROW(SuperIoChip(with([](SuperIoSettings& s) {
                     s.configPort = 0x2E;
                     s.runtimeBase = 0x2F;
                 })),
                 std::invalid_argument);
    EXPECT_THROW(SuperIoChip(with([](SuperIoSettings& s) {
                     s.configPort = 0x4E;
                     s.runtimeBase = 0x4D;
                 })),
                 std::invalid_argument);
    EXPECT_NO_THROW(SuperIoChip(with([](SuperIoSettings& s) {
        s.configPort = 0x2E;
        s.runtimeBase = 0x30;
    })));
}

} // namespace
