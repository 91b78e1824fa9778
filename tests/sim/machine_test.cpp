// machine_test.cpp
//
// The machine around the SMM BIOS: the port bus and its devices, the POST
// latch, MmMapIoSpace's trace lines, the trace itself, and the installed
// machine.
#include "sim/machine.h"

#include <gtest/gtest.h>

#include <sstream>

namespace {

using sim::Machine;

// A device answering one port with a fixed byte and keeping what it was sent.
class OnePortDevice : public sim::PortDevice {
public:
    OnePortDevice(uint16_t port, uint8_t answer) : port_(port), answer_(answer) {}
    bool claims(uint16_t port) const override { return port == port_; }
    uint8_t in(uint16_t) override { return answer_; }
    void out(uint16_t, uint8_t value) override { written.push_back(value); }
    std::vector<uint8_t> written;

private:
    uint16_t port_;
    uint8_t answer_;
};

TEST(MachinePorts, UnclaimedPortReadsAllOnesAndIsTraced)
{
    Machine machine;
    EXPECT_EQ(machine.portIn(0x2F), 0xFF);
    machine.portOut(0x2E, 0x87);
    EXPECT_EQ(machine.trace.lines(),
              (std::vector<std::string>{"in 0x002f -> 0xff", "out 0x002e 0x87"}));
}

TEST(MachinePorts, AttachedDeviceAnswersItsPort)
{
    Machine machine;
    auto device = std::make_shared<OnePortDevice>(0x2F, 0x0E);
    machine.attach(device);
    EXPECT_EQ(machine.portIn(0x2F), 0x0E);
    machine.portOut(0x2F, 0x5A);
    EXPECT_EQ(machine.portIn(0x4F), 0xFF);
    EXPECT_EQ(device->written, (std::vector<uint8_t>{0x5A}));
    EXPECT_EQ(machine.trace.lines().front(), "in 0x002f -> 0x0e");
}

TEST(MachinePorts, PostPortKeepsTheLastByteWritten)
{
    Machine machine;
    EXPECT_FALSE(machine.lastPostCode().has_value());
    machine.portOut(0x84, 0x12);
    machine.portOut(0x84, 0x34);
    EXPECT_EQ(machine.lastPostCode(), 0x34);
    EXPECT_EQ(machine.portIn(0x84), 0x34);
}

TEST(MachineMappings, MapAndUnmapAreTraced)
{
    Machine machine;
    machine.memory.markUnmappable(0xC0000, 0x100);
    void* window = machine.mapIoSpace(0xE0000, 131072);
    EXPECT_EQ(machine.mapIoSpace(0xC0000, 16), nullptr);
    EXPECT_EQ(machine.mapIoSpace(0xE0000, 0), nullptr);
    EXPECT_EQ(machine.liveMappings().size(), 1u);
    machine.unmapIoSpace(window, 131072);
    EXPECT_EQ(machine.trace.lines(),
              (std::vector<std::string>{"map 0x000e0000 131072 -> 0x30000000",
                                        "map 0x000c0000 16 -> null", "map 0x000e0000 0 -> null",
                                        "unmap 0x30000000 131072"}));
}

TEST(MachineMappings, WrongUnmapThrowsAndIsNotTraced)
{
    Machine machine;
    void* window = machine.mapIoSpace(0xE0000, 0x1000);
    EXPECT_THROW(machine.unmapIoSpace(window, 0x2000), std::logic_error);
    EXPECT_TRUE(machine.trace.linesStartingWith("unmap").empty());
    machine.unmapIoSpace(window, 0x1000);
}

TEST(Trace, EchoesEveryLineAndFiltersByPrefix)
{
    sim::Trace trace;
    std::ostringstream echo;
    trace.line("before");
    trace.echoTo(&echo);
    trace.line("out 0x0084 0x34");
    trace.line("in 0x0084 -> 0x34");
    trace.echoTo(nullptr);
    trace.line("after");
    EXPECT_EQ(echo.str(), "out 0x0084 0x34\nin 0x0084 -> 0x34\n");
    EXPECT_EQ(trace.linesStartingWith("out 0x0084"),
              (std::vector<std::string>{"out 0x0084 0x34"}));
    EXPECT_EQ(trace.lines().size(), 4u);
    trace.clear();
    EXPECT_TRUE(trace.lines().empty());
}

TEST(Trace, NotKeepingStillEchoes)
{
    sim::Trace trace;
    std::ostringstream echo;
    trace.echoTo(&echo);
    trace.setKeep(false);
    trace.line("dbg Zephr: Open / Close");
    EXPECT_TRUE(trace.lines().empty());
    EXPECT_EQ(echo.str(), "dbg Zephr: Open / Close\n");
    trace.setKeep(true);
    trace.line("kept");
    EXPECT_EQ(trace.lines(), (std::vector<std::string>{"kept"}));
}

TEST(InstalledMachine, NoneInstalledIsALogicError)
{
    sim::installMachine(nullptr);
    EXPECT_EQ(sim::currentMachinePtr(), nullptr);
    try {
        sim::currentMachine();
        FAIL() << "currentMachine() returned with no machine installed";
    } catch (const std::logic_error& error) {
        EXPECT_STREQ(error.what(), "no simulated machine is installed");
    }
}

TEST(InstalledMachine, InstalledMachineIsCurrentUntilReplaced)
{
    auto first = std::make_shared<Machine>();
    auto second = std::make_shared<Machine>();
    sim::installMachine(first);
    EXPECT_EQ(&sim::currentMachine(), first.get());
    sim::installMachine(second);
    EXPECT_EQ(sim::currentMachinePtr(), second);
    sim::installMachine(nullptr);
    EXPECT_EQ(second.use_count(), 1);
}

} // namespace
