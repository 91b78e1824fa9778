// SPDX-License-Identifier: MIT
// host_interface_test.cpp
//
// The host functions as the host application calls them: the reader list,
// the two parameter lists, the descriptions by index, the type, and the
// life of an instance.
#include "common/zephr_ioctl.h"
#include "plugin/host_interface.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstring>
#include <string>

namespace {

const std::string kTemperatureParameters =
    "refresh rate (seconds)=5|temperature unit (c or f)=c|show degree symbol=no|";
const std::string kFanParameters = "refresh rate(seconds)=5|";

TEST(HostInterface, InitListsTheEightReadersWithoutATrailingBar)
{
    EXPECT_STREQ(init(), "GetCPUTemp|GetGPUTemp|GetDIMMTemp|GetOTHERTemp|"
                         "GetFAN1RPM|GetFAN2RPM|GetFAN1Speed|GetFAN2Speed");
}

TEST(HostInterface, TemperatureReadersGetThreeParameters)
{
    for (const char* name : {"GetCPUTemp", "GetGPUTemp", "GetDIMMTemp", "GetOTHERTemp"})
        EXPECT_EQ(getparam(name), kTemperatureParameters) << name;
}

TEST(HostInterface, FanReadersGetOneParameterWithoutTheBlank)
{
    for (const char* name : {"GetFAN1RPM", "GetFAN2RPM", "GetFAN1Speed", "GetFAN2Speed"})
        EXPECT_EQ(getparam(name), kFanParameters) << name;
}

TEST(HostInterface, GetparamTestsForTempAsACaseSensitiveSubstring)
{
    EXPECT_EQ(getparam("Temp"), kTemperatureParameters);
    EXPECT_EQ(getparam("xTempx"), kTemperatureParameters);
    EXPECT_EQ(getparam("GetCPUtemp"), kFanParameters);
    EXPECT_EQ(getparam("TEMP"), kFanParameters);
    EXPECT_EQ(getparam(""), kFanParameters);
    EXPECT_EQ(getparam(nullptr), kFanParameters);
}

TEST(HostInterface, GetinfoGivesTheDescriptionsByIndex)
{
    EXPECT_STREQ(getinfo(0), "tz4 zephr interface");
    EXPECT_STREQ(getinfo(1), "the zephr project");
    EXPECT_STREQ(getinfo(2), "1.1");
    EXPECT_STREQ(getinfo(3), "050126");
    EXPECT_STREQ(getinfo(4), "050308");
    EXPECT_STREQ(getinfo(5), "http://www.samurize.com");
    EXPECT_STREQ(getinfo(6), "");
}

TEST(HostInterface, GetinfoAboveSixIsEmptyEvenForNegativeIndexes)
{
    EXPECT_STREQ(getinfo(7), "");
    EXPECT_STREQ(getinfo(1000), "");
    EXPECT_STREQ(getinfo(UINT_MAX), "");
    EXPECT_STREQ(getinfo(static_cast<unsigned>(-1)), "");
    EXPECT_STREQ(getinfo(static_cast<unsigned>(INT_MIN)), "");
}

TEST(HostInterface, DlltypeIsOne)
{
    EXPECT_EQ(dlltype(), 1);
}

TEST(HostInterface, DllstartupMakesAFreshInstance)
{
    InstanceRecord* instance = dllstartup(0, 0);
    ASSERT_NE(instance, nullptr);
    EXPECT_EQ(instance->LastRefresh.dwLowDateTime, 0u);
    EXPECT_EQ(instance->LastRefresh.dwHighDateTime, 0u);
    ASSERT_NE(instance->Text, nullptr);
    EXPECT_STREQ(instance->Text, "");
    EXPECT_EQ(instance->Value, ZEPHR_NO_VALUE);
    EXPECT_EQ(dllshutdown(instance), 0);
}

TEST(HostInterface, AnInstanceTextHoldsFiveHundredTwelveBytes)
{
    // A shorter buffer is caught by AddressSanitizer here.
    InstanceRecord* instance = dllstartup(7, -7);
    ASSERT_NE(instance, nullptr);
    std::memset(instance->Text, 'x', INSTANCE_TEXT_SIZE);
    instance->Text[INSTANCE_TEXT_SIZE - 1] = '\0';
    EXPECT_EQ(std::strlen(instance->Text), INSTANCE_TEXT_SIZE - 1u);
    EXPECT_EQ(dllshutdown(instance), 0);
}

TEST(HostInterface, InstancesHaveTheirOwnRecordsAndTexts)
{
    InstanceRecord* first = dllstartup(0, 0);
    InstanceRecord* second = dllstartup(0, 0);
    ASSERT_NE(first, nullptr);
    ASSERT_NE(second, nullptr);
    EXPECT_NE(first, second);
    EXPECT_NE(first->Text, second->Text);
    std::strcpy(first->Text, "first");
    EXPECT_STREQ(second->Text, "");
    EXPECT_EQ(dllshutdown(first), 0);
    EXPECT_EQ(dllshutdown(second), 0);
}

TEST(HostInterface, DllshutdownOfANullInstanceIsHarmless)
{
    EXPECT_EQ(dllshutdown(nullptr), 0);
}

} // namespace
