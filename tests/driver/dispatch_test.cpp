// dispatch_test.cpp
//
// The control-code protocol through the real driver image: lengths, words
// read, bounds, status codes and Information, as a caller of
// DeviceIoControl sees them.
#include "support/driver_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using zephr_test::Device;
using zephr_test::LoadedDriver;

namespace {

class Dispatch : public ::testing::Test {
protected:
    LoadedDriver driver;
    Device device;

    size_t smiCount() { return driver.machine().trace.linesStartingWith("smi").size(); }
};

const DWORD kWordCodes[] = {IOCTL_ZEPHR_SET_FAN_STATE, IOCTL_ZEPHR_GET_FAN_STATE,
                            IOCTL_ZEPHR_GET_FAN_SPEED, IOCTL_ZEPHR_SET_PWM,
                            IOCTL_ZEPHR_GET_PWM,       IOCTL_ZEPHR_GET_TEMP};

TEST_F(Dispatch, VersionRecordIsOneFiveInEightBytes)
{
    ASSERT_TRUE(device.open());
    auto reply = device.ioctl(IOCTL_ZEPHR_GET_VERSION, {}, 8);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, 8u);
    EXPECT_EQ(reply.output, (std::vector<uint8_t>{1, 0, 0, 0, 5, 0, 0, 0}));
}

TEST_F(Dispatch, InformationIsTheMinimumOutputWhateverTheBufferLength)
{
    auto speed = device.ioctl(IOCTL_ZEPHR_GET_FAN_SPEED, {0, 0, 0, 0}, 100);
    ASSERT_TRUE(speed.ok);
    EXPECT_EQ(speed.bytes, 4u);
    // Only the four bytes of the answer come back; the rest of the caller's
    // buffer is as the caller left it.
    EXPECT_TRUE(std::all_of(speed.output.begin() + 4, speed.output.end(),
                            [](uint8_t b) { return b == 0xEE; }));

    auto version = device.ioctl(IOCTL_ZEPHR_GET_VERSION, {}, 64);
    ASSERT_TRUE(version.ok);
    EXPECT_EQ(version.bytes, 8u);

    auto sysinfo = device.ioctl(IOCTL_ZEPHR_GET_SYSINFO, {}, 20000);
    ASSERT_TRUE(sysinfo.ok);
    EXPECT_EQ(sysinfo.bytes, 16384u);
}

TEST_F(Dispatch, ShortBuffersAreRefusedWithBufferTooSmall)
{
    EXPECT_EQ(device.ioctl(IOCTL_ZEPHR_GET_SYSINFO, {}, 16383).error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(device.ioctl(IOCTL_ZEPHR_GET_ACPI_REPORT, {}, 32767).error,
              ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(device.ioctl(IOCTL_ZEPHR_GET_CPU_SPEED, {}, 7).error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(device.ioctl(IOCTL_ZEPHR_GET_VERSION, {}, 7).error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(device.ioctl(IOCTL_ZEPHR_DETECT_SUPERIO, {}, 3).error, ERROR_INSUFFICIENT_BUFFER);
    for (DWORD code : kWordCodes) {
        // Two bytes are short although only word 0 is read by most of them.
        auto reply = device.ioctl(code, {0, 0}, 4);
        EXPECT_FALSE(reply.ok) << std::hex << code;
        EXPECT_EQ(reply.error, ERROR_INSUFFICIENT_BUFFER) << std::hex << code;
        EXPECT_EQ(reply.bytes, 0u);
        EXPECT_EQ(device.ioctl(code, {0, 0, 0, 0}, 3).error, ERROR_INSUFFICIENT_BUFFER);
    }
    EXPECT_EQ(smiCount(), 0u) << "a refused request touched the hardware";
}

TEST_F(Dispatch, WordOneIsNotReadByCodesThatReadOnlyWordZero)
{
    auto reply = device.words(IOCTL_ZEPHR_GET_FAN_STATE, 0, 0xFFFF);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, 4u);
    EXPECT_TRUE(device.words(IOCTL_ZEPHR_GET_TEMP, 0, 0xFFFF).ok);
    EXPECT_TRUE(device.words(IOCTL_ZEPHR_GET_PWM, 0, 0xFFFF).ok);
}

TEST_F(Dispatch, OutOfBoundsWordsAreRefusedBeforeAnyHardwareIsTouched)
{
    for (DWORD code : {IOCTL_ZEPHR_SET_FAN_STATE, IOCTL_ZEPHR_GET_FAN_STATE,
                       IOCTL_ZEPHR_GET_FAN_SPEED, IOCTL_ZEPHR_SET_PWM, IOCTL_ZEPHR_GET_PWM}) {
        auto reply = device.words(code, 2, 0);
        EXPECT_EQ(reply.error, ERROR_INVALID_PARAMETER) << std::hex << code;
        EXPECT_EQ(reply.bytes, 0u);
        EXPECT_EQ(reply.output, std::vector<uint8_t>(4, 0xEE)) << "refused output was touched";
    }
    EXPECT_EQ(device.words(IOCTL_ZEPHR_SET_FAN_STATE, 0, 3).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(device.words(IOCTL_ZEPHR_GET_TEMP, 256).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(device.words(IOCTL_ZEPHR_GET_TEMP, 0xFFFF).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(device.words(IOCTL_ZEPHR_SET_PWM, 0, 64).error, ERROR_INVALID_PARAMETER);
    EXPECT_EQ(smiCount(), 0u);

    EXPECT_TRUE(device.words(IOCTL_ZEPHR_SET_FAN_STATE, 1, 2).ok);
    EXPECT_TRUE(device.words(IOCTL_ZEPHR_GET_TEMP, 255).ok);
    EXPECT_TRUE(device.words(IOCTL_ZEPHR_SET_PWM, 1, 63).ok);
}

TEST_F(Dispatch, CodesOutsideTheTableAreInvalidParameters)
{
    const DWORD invalid[] = {0x9C40A40C, 0x9C40A3FC, 0x9C40A450, 0x9C40A420, 0x9C40A43C,
                             0x9C40A401, 0x9C40A402, 0x00000000, 0xFFFFBFFF, 0x9C41A400,
                             0x9C402400 /* any access instead of write */};
    for (DWORD code : invalid) {
        auto reply = device.ioctl(code, {0, 0, 0, 0}, 32768);
        EXPECT_FALSE(reply.ok) << std::hex << code;
        EXPECT_EQ(reply.error, ERROR_INVALID_PARAMETER) << std::hex << code;
        EXPECT_EQ(reply.bytes, 0u);
    }
}

TEST_F(Dispatch, TextAnswersCarryNoStaleBytesPastTheirEnd)
{
    // The I/O manager fills the system buffer with a non-zero pattern; what
    // the caller gets back past the text must be zero.
    for (DWORD code : {IOCTL_ZEPHR_GET_SYSINFO, IOCTL_ZEPHR_GET_CPU_SPEED,
                       IOCTL_ZEPHR_GET_ACPI_REPORT}) {
        auto reply = device.ioctl(code, {}, 40000);
        ASSERT_TRUE(reply.ok) << std::hex << code;
        std::string text = reply.text();
        ASSERT_LE(text.size() + 1, reply.bytes);
        EXPECT_TRUE(std::all_of(reply.output.begin() + text.size(),
                                reply.output.begin() + reply.bytes,
                                [](uint8_t b) { return b == 0; }))
            << std::hex << code;
    }
}

TEST_F(Dispatch, OpenAndCloseAlwaysSucceedAndPrintTheirMessage)
{
    driver.machine().trace.clear();
    {
        Device second;
        Device third(GENERIC_READ | GENERIC_WRITE);
        EXPECT_TRUE(second.open());
        EXPECT_TRUE(third.open());
    }
    auto lines = driver.machine().trace.linesStartingWith("dbg");
    EXPECT_EQ(lines, std::vector<std::string>(4, "dbg Zephr: Open / Close"));
}

TEST_F(Dispatch, AHandleWithoutWriteAccessCannotSendTheCodes)
{
    Device readOnly(GENERIC_READ);
    ASSERT_TRUE(readOnly.open());
    auto reply = readOnly.ioctl(IOCTL_ZEPHR_GET_VERSION, {}, 8);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, ERROR_ACCESS_DENIED);
}

TEST_F(Dispatch, ConcurrentRequestsAllGetTheirOwnAnswers)
{
    driver.machine().smm.temperatures[7] = 61;
    std::vector<std::thread> threads;
    std::vector<int> wrong(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                auto temp = device.words(IOCTL_ZEPHR_GET_TEMP, 7);
                auto version = device.ioctl(IOCTL_ZEPHR_GET_VERSION, {}, 8);
                if (!temp.ok || temp.word() != 61 || !version.ok || version.bytes != 8) {
                    ++wrong[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(std::count(wrong.begin(), wrong.end(), 0), 8);
}

} // namespace
