// SPDX-License-Identifier: MIT
// smm_test.cpp
//
// The SMM BIOS calls through the real driver image on the simulated
// notebook: the register exchange, the success rule, the four operations and
// what reaches ports 0xB2 and 0x84.
#include "support/driver_harness.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

using zephr_test::Device;
using zephr_test::LoadedDriver;

namespace {

class Smm : public ::testing::Test {
  protected:
    LoadedDriver driver;
    Device device;

    sim::Machine& machine()
    {
        return driver.machine();
    }
    uint32_t answer(DWORD code, uint16_t word0, uint16_t word1 = 0)
    {
        auto reply = device.words(code, word0, word1);
        EXPECT_TRUE(reply.ok) << std::hex << code << " failed with " << std::dec << reply.error;
        EXPECT_EQ(reply.bytes, ZEPHR_ANSWER_LENGTH);
        return reply.ok ? reply.word() : 0xBAD;
    }
};

TEST_F(Smm, TemperatureIsTheReturnedAxAndPort84GetsItsLowByte)
{
    machine().smm.temperatures[0] = 52;
    machine().trace.clear();
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_TEMP, 0), 52u);
    EXPECT_EQ(machine().lastPostCode(), std::optional<uint8_t>(0x34));
    auto lines = machine().trace.lines();
    ASSERT_GE(lines.size(), 2u);
    EXPECT_EQ(lines[0], "smi ax=10a3 bx=0000 cx=0000 dx=0000 -> ax=0034 bx=0000 cx=0000 dx=0000");
    EXPECT_EQ(lines[1], "out 0x0084 0x34");
}

// Requests from several threads: the driver's lock keeps each exchange whole,
// its SMI followed at once by the POST code write of its own AL. Other
// threads' debug messages (a device opened or closed) may come between
// them: they are no hardware access.
TEST_F(Smm, ConcurrentRequestsKeepEachExchangeWhole)
{
    machine().smm.temperatures[0] = 52;
    machine().smm.temperatures[1] = 0;
    machine().trace.clear();
    std::vector<std::thread> threads;
    for (uint16_t sensor : {0, 1, 0, 1})
        threads.emplace_back([sensor] {
            Device own;
            if (own.open())
                for (int i = 0; i < 200; ++i)
                    own.words(IOCTL_ZEPHR_GET_TEMP, sensor);
        });
    for (auto& thread : threads)
        thread.join();
    std::vector<std::string> lines;
    for (const std::string& line : machine().trace.lines())
        if (line.rfind("dbg ", 0) != 0)
            lines.push_back(line);
    size_t exchanges = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].rfind("smi ", 0) != 0)
            continue;
        ++exchanges;
        ASSERT_LT(i + 1, lines.size());
        ASSERT_EQ(lines[i + 1], lines[i].find("-> ax=0034") != std::string::npos
                                    ? "out 0x0084 0x34"
                                    : "out 0x0084 0x00")
            << lines[i];
    }
    EXPECT_EQ(exchanges, 800u);
}

TEST_F(Smm, FanStateSpeedAndSetFanState)
{
    machine().smm.fans = {{1, 120}, {2, 0xFFFE}};
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_STATE, 0), 1u);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_STATE, 1), 2u);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_SPEED, 0), 3600u);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_SPEED, 1), 1966020u) << "0xFFFE x 30, the largest speed";

    machine().trace.clear();
    EXPECT_EQ(answer(IOCTL_ZEPHR_SET_FAN_STATE, 1, 2), 0u);
    auto smi = machine().trace.linesStartingWith("smi");
    ASSERT_EQ(smi.size(), 1u);
    EXPECT_EQ(smi[0].substr(0, 35), "smi ax=01a3 bx=0201 cx=0000 dx=0000");
    EXPECT_EQ(machine().smm.fans[1].state, 2u);
}

TEST_F(Smm, ZeroIsAValueNotAFailure)
{
    machine().smm.temperatures[3] = 0;
    machine().smm.fans = {{0, 0}, {0, 0}};
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_TEMP, 3), 0u);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_SPEED, 0), 0u);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_STATE, 0), 0u);
}

TEST_F(Smm, ABiosThatIgnoresTheCallFailsEveryOperationButNotTheRequest)
{
    machine().smm.behaviour = sim::SmmBehaviour::Ignore;
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_TEMP, 0), 0xFFFFFFFFu);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_STATE, 0), 0xFFFFFFFFu);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_SPEED, 1), 0xFFFFFFFFu);
    EXPECT_EQ(answer(IOCTL_ZEPHR_SET_FAN_STATE, 0, 1), 0xFFFFFFFFu);
}

TEST_F(Smm, AnUnknownSensorOrFanAnswersAllOnes)
{
    machine().smm.temperatures.erase(200);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_TEMP, 200), 0xFFFFFFFFu);
    machine().smm.fans.resize(1);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_SPEED, 1), 0xFFFFFFFFu);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_STATE, 1), 0xFFFFFFFFu);
}

TEST_F(Smm, AnAxEqualToTheOneSentIsASuccessWhenAnotherRegisterChanged)
{
    machine().smm.behaviour = sim::SmmBehaviour::EchoAx;
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_TEMP, 0), 0x10A3u);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_SPEED, 0), 0x02A3u * 30u);
    EXPECT_EQ(machine().lastPostCode(), std::optional<uint8_t>(0xA3));
}

} // namespace

namespace {

TEST_F(Smm, AnAxOfAllOnesIsAFailureEvenWhenOtherRegistersChanged)
{
    machine().smm.custom = [](sim::SmmRegisters& r) {
        r.ax = 0xFFFF;
        r.bx = 0x1234;
        r.cx = 0x5678;
        r.dx = 0x9ABC;
    };
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_TEMP, 0), 0xFFFFFFFFu);
    EXPECT_EQ(answer(IOCTL_ZEPHR_SET_FAN_STATE, 0, 2), 0xFFFFFFFFu);
    EXPECT_EQ(machine().lastPostCode(), std::optional<uint8_t>(0xFF));
}

TEST_F(Smm, OnlyTheReturnedAxMakesTheAnswer)
{
    // BX, CX and DX as the BIOS leaves them play no part in the value.
    machine().smm.custom = [](sim::SmmRegisters& r) {
        r.ax = 0x0031;
        r.bx = 0xFFFF;
        r.cx = 0xFFFF;
        r.dx = 0xFFFF;
    };
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_TEMP, 9), 0x31u);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_SPEED, 1), 0x31u * 30u);
    EXPECT_EQ(answer(IOCTL_ZEPHR_GET_FAN_STATE, 1), 0x31u);
    EXPECT_EQ(answer(IOCTL_ZEPHR_SET_FAN_STATE, 1, 1), 0u);
}

} // namespace
