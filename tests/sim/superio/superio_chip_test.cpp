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

TEST_F(SuperIoChipTest, LogicalDeviceNineHoldsTheRuntimeBase)
{
    build(with([](SuperIoSettings& s) {
        s.configPort = 0x4E;
        s.runtimeBase = 0x0A40;
    }));
    machine.portOut(0x4E, 0x55);
    EXPECT_EQ(configRead(0x60), 0x00) << "logical device 0 has no such base";
    configWrite(0x07, 0x09);
    EXPECT_EQ(chip->logicalDevice(), 9);
    EXPECT_EQ(configRead(0x07), 9);
    EXPECT_EQ(configRead(0x60), 0x0A);
    EXPECT_EQ(configRead(0x61), 0x40);
    EXPECT_EQ(machine.portIn(0x2E), 0xFF) << "nothing answers at the other configuration port";

    // Moving the base moves the ports the chip decodes.
    configWrite(0x60, 0x07);
    configWrite(0x61, 0x00);
    EXPECT_EQ(chip->runtimeBase(), 0x0700);
    EXPECT_FALSE(chip->claims(0x0A40));
    EXPECT_TRUE(chip->claims(0x0701));
}

TEST_F(SuperIoChipTest, RuntimeRegistersKeepWhatIsWrittenUnlessStuck)
{
    build(with([](SuperIoSettings& s) {
        s.runtimeRegisters = {{0x92, 0xC0}};
        s.stuckRegisters = {{0x93, 0x80}};
    }));
    EXPECT_EQ(runtimeRead(0x92), 0xC0);
    runtimeWrite(0x92, 0x9E);
    EXPECT_EQ(runtimeRead(0x92), 0x9E);
    EXPECT_EQ(chip->runtimeRegister(0x92), 0x9E);
    runtimeWrite(0x93, 0xFE);
    EXPECT_EQ(runtimeRead(0x93), 0x80);
    EXPECT_EQ(machine.portIn(base), 0x93) << "the runtime index reads back";
    EXPECT_FALSE(chip->inConfigurationMode()) << "runtime registers need no configuration mode";
}

TEST_F(SuperIoChipTest, EchoingPortReadsTheExitKeyBack)
{
    build(with([](SuperIoSettings& s) { s.echo = true; }));
    machine.portOut(0x2E, 0xAA);
    EXPECT_EQ(machine.portIn(0x2E), 0xAA);
    machine.portOut(0x2E, 0x13);
    EXPECT_EQ(machine.portIn(0x2E), 0x13);
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
