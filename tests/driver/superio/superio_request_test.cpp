// SPDX-License-Identifier: MIT
// superio_request_test.cpp
//
// The Super I/O requests through the real driver image on the simulated
// notebook: detection at 0x2E and 0x4E with the probe's tests in their order,
// the runtime base from logical device 9, the duty encoding both ways, the
// faults a chip can have, and what happens with no chip or a base of 0.
#include "superio_notebook.h"
#include "support/driver_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

using zephr_test::chipWith;
using zephr_test::Device;
using zephr_test::LoadedDriver;
using zephr_test::notebookWithChip;
using zephr_test::notebookWithoutChip;
using zephr_test::portLines;
using zephr_test::SuperIoNotebook;

namespace {

constexpr uint32_t kTrue = 0xFFFFFFFFu;
constexpr uint32_t kFalse = 0u;
constexpr uint32_t kNoValue = 0xFFFFFFFFu;

class SuperIoRequests : public testing::Test {
  protected:
    void start(SuperIoNotebook given)
    {
        device.reset();
        driver.reset();
        notebook = std::move(given);
        driver = std::make_unique<LoadedDriver>(notebook.machine);
        ASSERT_EQ(driver->loadStatus(), STATUS_SUCCESS);
        device = std::make_unique<Device>();
        ASSERT_TRUE(device->open());
        trace().clear();
    }
    sim::Trace& trace()
    {
        return notebook.machine->trace;
    }
    uint32_t answer(DWORD code, uint16_t word0 = 0, uint16_t word1 = 0)
    {
        auto reply = code == IOCTL_ZEPHR_DETECT_SUPERIO
                         ? device->ioctl(code, {}, ZEPHR_ANSWER_LENGTH)
                         : device->words(code, word0, word1);
        EXPECT_TRUE(reply.ok) << std::hex << code << " failed with " << std::dec << reply.error;
        EXPECT_EQ(reply.bytes, ZEPHR_ANSWER_LENGTH);
        return reply.ok ? reply.word() : 0xBAD;
    }
    uint32_t detect()
    {
        return answer(IOCTL_ZEPHR_DETECT_SUPERIO);
    }
    uint32_t setDuty(uint16_t fan, uint16_t duty)
    {
        return answer(IOCTL_ZEPHR_SET_PWM, fan, duty);
    }
    uint32_t duty(uint16_t fan)
    {
        return answer(IOCTL_ZEPHR_GET_PWM, fan);
    }
    // Puts a byte into a runtime register behind the driver's back.
    void poke(uint16_t base, uint8_t index, uint8_t value)
    {
        notebook.machine->portOut(base, index);
        notebook.machine->portOut(base + 1, value);
    }
    size_t count(const std::string& line)
    {
        auto lines = trace().lines();
        return size_t(std::count(lines.begin(), lines.end(), line));
    }

    SuperIoNotebook notebook;
    std::unique_ptr<LoadedDriver> driver;
    std::unique_ptr<Device> device;
};

TEST_F(SuperIoRequests, DetectionAt0x2ERunsTheProbeInItsOrderAndReadsTheBase)
{
    start(notebookWithChip(chipWith([](auto& s) {
        s.revision = 0x01;
        s.runtimeBase = 0x0680;
    })));
    EXPECT_EQ(detect(), kTrue);
    EXPECT_EQ(trace().lines(),
              (std::vector<std::string>{
                  "out 0x002e 0xaa", "in 0x002e -> 0xff", // exit key, not echoed
                  "in 0x002f -> 0xff",                    // resting value
                  "out 0x002e 0x55", "out 0x002e 0x55", "in 0x002e -> 0x55", "out 0x002e 0x20",
                  "in 0x002e -> 0x20", "in 0x002f -> 0x0e", "out 0x002e 0x21", "in 0x002e -> 0x21",
                  "in 0x002f -> 0x01", "out 0x002e 0x07", "out 0x002f 0x09", // logical device 9
                  "out 0x002e 0x60", "in 0x002f -> 0x06",                    //
                  "out 0x002e 0x61", "in 0x002f -> 0x80"}));
    EXPECT_TRUE(notebook.chip->inConfigurationMode()) << "no exit key at the end";
    EXPECT_EQ(notebook.chip->logicalDevice(), 9);
}

TEST_F(SuperIoRequests, AChipOnlyAt0x4EIsFoundAndItsBaseReadThroughIt)
{
    start(notebookWithChip(chipWith([](auto& s) {
        s.configPort = 0x4E;
        s.runtimeBase = 0x0A40;
    })));
    EXPECT_EQ(detect(), kTrue);
    EXPECT_EQ(count("out 0x002e 0xaa"), 1u) << "0x2E is tried first";
    auto data = portLines(trace(), 0x4F);
    auto index = portLines(trace(), 0x4E);
    ASSERT_GE(index.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(index.end() - 2, index.end()),
              (std::vector<std::string>{"out 0x004e 0x60", "out 0x004e 0x61"}));
    ASSERT_GE(data.size(), 2u);
    EXPECT_EQ(std::vector<std::string>(data.end() - 2, data.end()),
              (std::vector<std::string>{"in 0x004f -> 0x0a", "in 0x004f -> 0x40"}));

    // The base found is the one the duty registers are reached through.
    trace().clear();
    EXPECT_EQ(setDuty(0, 20), kTrue);
    EXPECT_EQ(trace().lines(), (std::vector<std::string>{"out 0x0a40 0x92", "out 0x0a41 0xa8",
                                                         "out 0x0a40 0x92", "in 0x0a41 -> 0xa8"}));
}

TEST_F(SuperIoRequests, RevisionBelow0x80IsRequired)
{
    start(notebookWithChip(chipWith([](auto& s) { s.revision = 0x80; })));
    EXPECT_EQ(detect(), kFalse);
    EXPECT_EQ(count("out 0x004e 0xaa"), 1u) << "0x4E is tried after 0x2E failed";
    start(notebookWithChip(chipWith([](auto& s) { s.revision = 0x7F; })));
    EXPECT_EQ(detect(), kTrue);
}

TEST_F(SuperIoRequests, APortThatReadsTheExitKeyBackIsRejectedBeforeTheEnterKey)
{
    start(notebookWithChip(chipWith([](auto& s) { s.echo = true; })));
    EXPECT_EQ(detect(), kFalse);
    EXPECT_EQ(portLines(trace(), 0x2E),
              (std::vector<std::string>{"out 0x002e 0xaa", "in 0x002e -> 0xaa"}));
    EXPECT_TRUE(portLines(trace(), 0x2F).empty()) << "not even the resting value is read";
    EXPECT_FALSE(notebook.chip->inConfigurationMode());
}

TEST_F(SuperIoRequests, AnIdEqualToTheRestingValueIsRejectedEvenWhenItIs0x0E)
{
    start(notebookWithChip(chipWith([](auto& s) { s.restingValue = 0x0E; })));
    EXPECT_EQ(detect(), kFalse);
    EXPECT_EQ(count("in 0x002f -> 0x0e"), 2u) << "the resting value, then the ID";
}

TEST_F(SuperIoRequests, OnlyDeviceId0x0EIsSupported)
{
    for (uint8_t id : {0x00, 0x0F, 0xFF}) {
        SCOPED_TRACE(int(id));
        start(notebookWithChip(chipWith([id](auto& s) { s.deviceId = id; })));
        EXPECT_EQ(detect(), kFalse);
    }
}

TEST_F(SuperIoRequests, DutyIsEncodedWithBitSevenSetAndBitZeroClear)
{
    start(notebookWithChip());
    EXPECT_EQ(setDuty(0, 0), kTrue);
    EXPECT_EQ(notebook.chip->runtimeRegister(0x92), 0x80);
    EXPECT_EQ(setDuty(1, 63), kTrue);
    EXPECT_EQ(notebook.chip->runtimeRegister(0x93), 0xFE);
    trace().clear();
    EXPECT_EQ(setDuty(1, 63), kTrue);
    EXPECT_EQ(trace().lines(), (std::vector<std::string>{"out 0x0680 0x93", "out 0x0681 0xfe",
                                                         "out 0x0680 0x93", "in 0x0681 -> 0xfe"}))
        << "with the base known, no detection runs";
}

TEST_F(SuperIoRequests, ReadingIgnoresBitsSevenAndZero)
{
    start(notebookWithChip());
    ASSERT_EQ(detect(), kTrue);
    const std::pair<uint8_t, uint32_t> cases[] = {{0xFF, 63}, {0xFE, 63}, {0x7F, 63},
                                                  {0x80, 0},  {0x01, 0},  {0xA8, 20}};
    for (auto [held, expected] : cases) {
        poke(0x0680, 0x93, held);
        EXPECT_EQ(duty(1), expected) << "register 0x93 holding " << int(held);
    }
}

TEST_F(SuperIoRequests, ARegisterThatDoesNotKeepTheDutyFailsTheSet)
{
    start(notebookWithChip(chipWith([](auto& s) { s.stuckRegisters = {{0x92, 0x90}}; })));
    EXPECT_EQ(setDuty(0, 0x10), kFalse);
    EXPECT_EQ(count("out 0x0681 0xa0"), 1u) << "written once, not retried";
    EXPECT_EQ(duty(0), 0x08u);
    EXPECT_EQ(setDuty(1, 5), kTrue) << "the other fan's register is fine";
}

TEST_F(SuperIoRequests, WithNoChipEverySetAndGetProbesBothPortsAgain)
{
    start(notebookWithoutChip());
    for (int round = 0; round < 2; ++round) {
        trace().clear();
        EXPECT_EQ(setDuty(0, 10), kFalse);
        EXPECT_EQ(count("out 0x002e 0xaa"), 1u);
        EXPECT_EQ(count("out 0x004e 0xaa"), 1u);
        trace().clear();
        EXPECT_EQ(duty(1), kNoValue);
        EXPECT_EQ(count("out 0x002e 0xaa"), 1u);
        EXPECT_EQ(count("out 0x004e 0xaa"), 1u);
    }
    EXPECT_EQ(detect(), kFalse);
}

TEST_F(SuperIoRequests, ABaseOfZeroOrAllOnesIsNeverUsed)
{
    for (uint16_t base : {0x0000, 0xFFFF}) {
        SCOPED_TRACE(base);
        start(notebookWithChip(chipWith([base](auto& s) { s.runtimeBase = base; })));
        EXPECT_EQ(detect(), kFalse);
        EXPECT_EQ(setDuty(0, 10), kFalse);
        EXPECT_EQ(duty(0), kNoValue);
        EXPECT_EQ(count("out 0x002e 0xaa"), 3u) << "each request detects again";
        for (uint16_t port : {0x0000, 0x0001, 0xFFFF})
            EXPECT_TRUE(portLines(trace(), port).empty()) << port;
    }
}

TEST_F(SuperIoRequests, EveryDetectionReadsTheBaseAgain)
{
    start(notebookWithChip());
    ASSERT_EQ(detect(), kTrue);
    // The chip's block moves (the chip is still in configuration mode, device 9).
    for (auto [index, value] : {std::pair<uint8_t, uint8_t>{0x60, 0x07}, {0x61, 0x00}}) {
        notebook.machine->portOut(0x2E, index);
        notebook.machine->portOut(0x2F, value);
    }
    EXPECT_EQ(setDuty(0, 1), kFalse) << "the base in use is the one last detected";
    ASSERT_EQ(detect(), kTrue);
    trace().clear();
    EXPECT_EQ(setDuty(0, 1), kTrue);
    EXPECT_EQ(trace().lines().front(), "out 0x0700 0x92");
}

TEST_F(SuperIoRequests, OutOfBoundsWordsAreRefusedWithoutTouchingAPort)
{
    start(notebookWithChip());
    EXPECT_EQ(device->words(IOCTL_ZEPHR_SET_PWM, 2, 0).error, DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(device->words(IOCTL_ZEPHR_GET_PWM, 2).error, DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_EQ(device->words(IOCTL_ZEPHR_SET_PWM, 0, 64).error, DWORD(ERROR_INVALID_PARAMETER));
    EXPECT_TRUE(trace().linesStartingWith("out").empty());
    EXPECT_TRUE(trace().linesStartingWith("in").empty());
    EXPECT_EQ(notebook.chip->runtimeRegister(0x95), 0x80);
}

} // namespace
