// SPDX-License-Identifier: MIT
// machine_test.cpp
//
// The machine around the SMM BIOS: the port bus and its devices, the POST
// latch, MmMapIoSpace's trace lines, the trace itself, and the installed
// machine.
#include "sim/machine.h"

#include <gtest/gtest.h>

#include <optional>
#include <sstream>

namespace {

using sim::Machine;

class OnePortDevice : public sim::PortDevice {
  public:
    bool claims(uint16_t port) const override
    {
        return port == 0x2F;
    }
    uint8_t in(uint16_t) override
    {
        return 0x0E;
    }
    void out(uint16_t, uint8_t value) override
    {
        written.push_back(value);
    }
    std::vector<uint8_t> written;
};

TEST(MachinePorts, DevicesClaimPortsOthersReadAllOnesAndAllIsTraced)
{
    Machine machine;
    auto device = std::make_shared<OnePortDevice>();
    machine.attach(device);
    EXPECT_EQ(machine.portIn(0x2F), 0x0E);
    EXPECT_EQ(machine.portIn(0x4F), 0xFF);
    machine.portOut(0x2F, 0x5A);
    machine.portOut(0x84, 0x12);
    EXPECT_EQ(device->written, (std::vector<uint8_t>{0x5A}));
    EXPECT_EQ(machine.lastPostCode(), 0x12);
    EXPECT_EQ(machine.trace.lines(),
              (std::vector<std::string>{"in 0x002f -> 0x0e", "in 0x004f -> 0xff", "out 0x002f 0x5a",
                                        "out 0x0084 0x12"}));
}

TEST(MachineMappings, MapsRefusalsAndUnmapsAreTracedButAWrongUnmapIsNot)
{
    Machine machine;
    machine.memory.markUnmappable(0xC0000, 0x100);
    void* window = machine.mapIoSpace(0xE0000, 131072);
    EXPECT_EQ(machine.mapIoSpace(0xC0000, 16), nullptr);
    EXPECT_THROW(machine.unmapIoSpace(window, 1), std::logic_error);
    machine.unmapIoSpace(window, 131072);
    EXPECT_EQ(machine.trace.lines(),
              (std::vector<std::string>{"map 0x000e0000 131072 -> 0x30000000",
                                        "map 0x000c0000 16 -> null", "unmap 0x30000000 131072"}));
}

TEST(Trace, EchoesFiltersAndMayStopKeeping)
{
    sim::Trace trace;
    std::ostringstream echo;
    trace.line("before");
    trace.echoTo(&echo);
    trace.line("out 0x0084 0x34");
    EXPECT_EQ(trace.linesStartingWith("out 0x0084"), (std::vector<std::string>{"out 0x0084 0x34"}));
    trace.setKeep(false);
    trace.line("dbg Zephr: Open / Close");
    EXPECT_TRUE(trace.lines().empty());
    EXPECT_EQ(echo.str(), "out 0x0084 0x34\ndbg Zephr: Open / Close\n");
}

// A program keeps no lines unless it asks (a test program asks at start);
// the echo gets every line either way.
TEST(Trace, KeepsLinesOnlyWhenAsked)
{
    struct Row {
        bool byDefault;
        std::optional<bool> asked;
        size_t kept;
    };
    for (const Row row : {Row{false, std::nullopt, 0}, Row{false, true, 2},
                          Row{true, std::nullopt, 2}, Row{true, false, 0}}) {
        sim::Trace::keepLinesByDefault(row.byDefault);
        sim::Trace trace;
        sim::Trace::keepLinesByDefault(true);
        std::ostringstream echo;
        trace.echoTo(&echo);
        if (row.asked)
            trace.setKeep(*row.asked);
        trace.line("smi 0xA3");
        trace.line("out 0x0084 0x34");
        EXPECT_EQ(trace.lines().size(), row.kept) << row.byDefault;
        EXPECT_EQ(echo.str(), "smi 0xA3\nout 0x0084 0x34\n");
    }
}

TEST(InstalledMachine, IsCurrentUntilReplacedAndNoneIsALogicError)
{
    auto machine = std::make_shared<Machine>();
    sim::installMachine(machine);
    EXPECT_EQ(&sim::currentMachine(), machine.get());
    sim::installMachine(nullptr);
    EXPECT_EQ(machine.use_count(), 1);
    try {
        sim::currentMachine();
        FAIL() << "currentMachine() returned with no machine installed";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "no simulated machine is installed");
    }
}

} // namespace
