// SPDX-License-Identifier: MIT
// fan_speed_test.cpp
//
// The readers' arithmetic on driver answers the real driver never gives
// (fan speeds that are not multiples of 30, odd states): the plug-in's
// sources linked in, and this test's own DeviceIoControl in place of the
// Win32 layer's, answering what the test says.
#include "plugin/driver_connection.h"
#include "plugin/host_interface.h"
#include "plugin/readers.h"

#include "common/zephr_ioctl.h"

#include <gtest/gtest.h>

#include <string>

namespace {

DWORD nextAnswer = 0;
BOOL nextResult = TRUE;
DWORD lastCode = 0;
DWORD lastInput = 0;

} // namespace

// The executable's definition comes before the platform library's.
extern "C" BOOL WINAPI DeviceIoControl(HANDLE, DWORD code, LPVOID input, DWORD inputLength,
                                       LPVOID output, DWORD outputLength, LPDWORD returned,
                                       LPOVERLAPPED)
{
    lastCode = code;
    lastInput = inputLength == 4 ? *static_cast<DWORD*>(input) : 0xDEADBEEF;
    if (nextResult && outputLength == 4) {
        *static_cast<DWORD*>(output) = nextAnswer;
        *returned = 4;
    }
    return nextResult;
}

namespace {

class FanArithmetic : public ::testing::Test {
  protected:
    InstanceRecord* instance = nullptr;
    void SetUp() override
    {
        DriverLoaded = 1;
        DeviceHandle = reinterpret_cast<HANDLE>(0x1234);
        Profile.FanDivisor = 1;
        nextResult = TRUE;
        instance = dllstartup(0, 0);
        ASSERT_NE(instance, nullptr);
    }
    void TearDown() override
    {
        dllshutdown(instance);
        DriverLoaded = 0;
        DeviceHandle = INVALID_HANDLE_VALUE;
    }
    std::string rpm(DWORD answer)
    {
        nextAnswer = answer;
        return GetFAN1RPM(instance, "0");
    }
};

TEST_F(FanArithmetic, SpeedsAreDividedUnsignedAndTruncated)
{
    Profile.FanDivisor = GAUGELET_FAN_SPEED_DIVISOR;
    EXPECT_EQ(rpm(4800), "160");
    EXPECT_EQ(rpm(29), "0");
    EXPECT_EQ(rpm(59), "1");
    EXPECT_EQ(rpm(0xFFFFFFFE), "143165576") << "unsigned division";
    EXPECT_EQ(rpm(0xFFFFFFFF), "ERROR: No value was present.") << "all ones is not divided";
    EXPECT_EQ(lastCode, (DWORD)IOCTL_ZEPHR_GET_FAN_SPEED);
    EXPECT_EQ(lastInput, 0u);
    Profile.FanDivisor = 1;
    EXPECT_EQ(rpm(4800), "4800");
    EXPECT_EQ(rpm(29), "29");
}

TEST_F(FanArithmetic, FanTwoAsksForFanOne)
{
    nextAnswer = 2;
    EXPECT_EQ(std::string(GetFAN2Speed(instance, "0")), "High");
    EXPECT_EQ(lastCode, (DWORD)IOCTL_ZEPHR_GET_FAN_STATE);
    EXPECT_EQ(lastInput, 1u);
    nextAnswer = 0x10001; // a state word with a high half is no state
    EXPECT_EQ(std::string(GetFAN2Speed(instance, "0")), "ERROR: No value was present.");
}

TEST_F(FanArithmetic, AFailedRequestShowsNoValueEvenOnTheFirstRefresh)
{
    instance->Value = 52; // whatever the record held before
    nextResult = FALSE;
    EXPECT_EQ(std::string(GetCPUTemp(instance, "0", "c", "no")), "ERROR: No value was present.");
    EXPECT_EQ(rpm(4800), "ERROR: No value was present.");
}

TEST_F(FanArithmetic, FahrenheitIsUnsignedArithmeticOnTheAnswer)
{
    nextAnswer = 0;
    EXPECT_EQ(std::string(GetCPUTemp(instance, "0", "f", "no")), "32");
    nextAnswer = 100;
    EXPECT_EQ(std::string(GetCPUTemp(instance, "0", "f", "y")), "212\xB0");
    EXPECT_EQ(instance->Value, 212u) << "Value keeps the converted number";
}

} // namespace
