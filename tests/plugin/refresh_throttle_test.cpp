// SPDX-License-Identifier: MIT
// refresh_throttle_test.cpp
//
// IsRefreshDue against a simulated clock the test moves, and the reading of
// the refresh period text.
#include "plugin/host_interface.h"
#include "plugin/instance_record.h"
#include "platform/host-win32/win32_host.h"

#include <gtest/gtest.h>

#include <climits>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

constexpr int64_t kSecond = win32::kTicksPerSecond;
constexpr uint64_t kStart = 134116992000000000ull; // 2026-01-01 00:00:00 UTC

uint64_t ticksOf(const FILETIME& time)
{
    return (uint64_t(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

FILETIME fileTimeOf(uint64_t ticks)
{
    FILETIME time;
    time.dwLowDateTime = static_cast<DWORD>(ticks);
    time.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
    return time;
}

class RefreshThrottle : public ::testing::Test {
  protected:
    void SetUp() override
    {
        win32::Clock::useSimulated(kStart);
        instance = dllstartup(0, 0);
        ASSERT_NE(instance, nullptr);
    }
    void TearDown() override
    {
        dllshutdown(instance);
        win32::Clock::useReal();
    }
    // One reader call's throttle decision with a period text.
    bool due(const char* period)
    {
        return IsRefreshDue(instance, ReadRefreshSeconds(period));
    }

    InstanceRecord* instance = nullptr;
};

TEST(ReadRefreshSeconds, ReadsAsAtoiDoes)
{
    EXPECT_EQ(ReadRefreshSeconds("5"), 5);
    EXPECT_EQ(ReadRefreshSeconds("0"), 0);
    EXPECT_EQ(ReadRefreshSeconds("abc"), 0);
    EXPECT_EQ(ReadRefreshSeconds(""), 0);
    EXPECT_EQ(ReadRefreshSeconds(" 7x"), 7);
    EXPECT_EQ(ReadRefreshSeconds("\t\n+12"), 12);
    EXPECT_EQ(ReadRefreshSeconds("-3"), -3);
    EXPECT_EQ(ReadRefreshSeconds("0x10"), 0);
    EXPECT_EQ(ReadRefreshSeconds("- 3"), 0);
}

TEST(ReadRefreshSeconds, NullAndOutOfRangeTextsAreDefined)
{
    EXPECT_EQ(ReadRefreshSeconds(nullptr), 0);
    EXPECT_EQ(ReadRefreshSeconds("2147483647"), INT_MAX);
    EXPECT_EQ(ReadRefreshSeconds("2147483648"), INT_MAX);
    EXPECT_EQ(ReadRefreshSeconds("99999999999999999999"), INT_MAX);
    EXPECT_EQ(ReadRefreshSeconds("-99999999999999999999"), INT_MIN);
}

// Period texts beyond the ones above, read by the plug-in's own parser and by
// strtoll, whose value clamped to the int range is what ReadRefreshSeconds
// gives ("\2605" is the degree sign, which is no white space, and a 5).
const char* const kPeriodTexts[] = {
    "\v\f\r 42", "+",     "-",           "007",         "12 34",      "1e3",       "--5",
    "+-5",       "\2605", "-2147483648", "-2147483649", "4294967296", "4294967301"};

TEST(ReadRefreshSeconds, ReadsWhatStrtollReadsClampedToInt)
{
    for (const char* text : kPeriodTexts) {
        long long read = std::strtoll(text, nullptr, 10);
        int expected = read > INT_MAX ? INT_MAX : read < INT_MIN ? INT_MIN : int(read);
        EXPECT_EQ(ReadRefreshSeconds(text), expected) << '"' << text << '"';
    }
}

TEST_F(RefreshThrottle, FirstCallIsDueForAnyPeriodFromZeroUp)
{
    for (int seconds : {0, 1, 5, 3600, INT_MAX}) {
        InstanceRecord* fresh = dllstartup(0, 0);
        ASSERT_NE(fresh, nullptr);
        EXPECT_TRUE(IsRefreshDue(fresh, seconds)) << seconds;
        EXPECT_EQ(ticksOf(fresh->LastRefresh), kStart) << seconds;
        dllshutdown(fresh);
    }
}

TEST_F(RefreshThrottle, WithPeriodFiveNotDueAfterFourPointNineButDueAfterFive)
{
    ASSERT_TRUE(due("5"));
    win32::Clock::advance(49 * kSecond / 10);
    EXPECT_FALSE(due("5"));
    EXPECT_EQ(ticksOf(instance->LastRefresh), kStart) << "a call that is not due changes nothing";
    win32::Clock::advance(kSecond / 10 - 1);
    EXPECT_FALSE(due("5")) << "one tick before the deadline";
    win32::Clock::advance(1);
    EXPECT_TRUE(due("5")) << "exactly one period after the refresh";
    EXPECT_EQ(ticksOf(instance->LastRefresh), kStart + 5 * kSecond);
}

TEST_F(RefreshThrottle, PeriodCountsFromTheLastRefreshWithoutCatchingUp)
{
    ASSERT_TRUE(due("5"));
    win32::Clock::advance(12 * kSecond); // two periods and more were missed
    ASSERT_TRUE(due("5"));
    win32::Clock::advance(4 * kSecond); // 16 s: past the 15 s of a fixed grid
    EXPECT_FALSE(due("5"));
    win32::Clock::advance(1 * kSecond);
    EXPECT_TRUE(due("5"));
}

TEST_F(RefreshThrottle, PeriodTextsWithoutDigitsRefreshOnEveryCall)
{
    for (const char* period : {"0", "abc", ""}) {
        EXPECT_TRUE(due(period)) << '"' << period << '"';
        EXPECT_TRUE(due(period)) << '"' << period << '"';
    }
}

TEST_F(RefreshThrottle, ABlankADigitAndALetterReadAsSeven)
{
    ASSERT_TRUE(due(" 7x"));
    win32::Clock::advance(7 * kSecond - 1);
    EXPECT_FALSE(due(" 7x"));
    win32::Clock::advance(1);
    EXPECT_TRUE(due(" 7x"));
}

TEST_F(RefreshThrottle, AChangedPeriodTakesEffectAtOnce)
{
    ASSERT_TRUE(due("60"));
    win32::Clock::advance(1 * kSecond);
    EXPECT_FALSE(due("60"));
    EXPECT_TRUE(due("1"));
}

TEST_F(RefreshThrottle, ClockSetBackHoldsTheOldTextEvenWithPeriodZero)
{
    ASSERT_TRUE(due("0"));
    win32::Clock::advance(-10 * kSecond);
    EXPECT_FALSE(due("0"));
    EXPECT_EQ(ticksOf(instance->LastRefresh), kStart);
    win32::Clock::advance(10 * kSecond - 1);
    EXPECT_FALSE(due("0"));
    win32::Clock::advance(1);
    EXPECT_TRUE(due("0"));
}

TEST_F(RefreshThrottle, ClockSetBackWithAPeriodWaitsForLastRefreshPlusThePeriod)
{
    ASSERT_TRUE(due("5"));
    win32::Clock::advance(-60 * kSecond);
    EXPECT_FALSE(due("5"));
    win32::Clock::advance(64 * kSecond);
    EXPECT_FALSE(due("5"));
    win32::Clock::advance(1 * kSecond);
    EXPECT_TRUE(due("5"));
}

TEST_F(RefreshThrottle, ANegativePeriodCountsAsZero)
{
    // Taken as stated, the deadline of a fresh instance would wrap and the
    // first call would show a Text never written.
    EXPECT_TRUE(due("-5"));
    EXPECT_TRUE(due("-5"));
    EXPECT_TRUE(IsRefreshDue(instance, INT_MIN));
    win32::Clock::advance(-1);
    EXPECT_FALSE(due("-5")) << "like period 0, a clock set back still holds";
}

TEST_F(RefreshThrottle, HighHalvesDecideBeforeLowHalves)
{
    // Last refresh just below a carry into the high half; now just above it.
    const uint64_t last = (uint64_t(0x01DC0000) << 32) | 0xFFFFFFF0u;
    instance->LastRefresh = fileTimeOf(last);
    win32::Clock::set(last + 0x20);
    EXPECT_TRUE(due("0")) << "now's low half is smaller, its high half larger";

    // A deadline that carries into the high half while now does not.
    instance->LastRefresh = fileTimeOf(last);
    win32::Clock::set(last + kSecond / 2);
    EXPECT_FALSE(due("1"));
    win32::Clock::set(last + kSecond);
    EXPECT_TRUE(due("1"));
}

TEST_F(RefreshThrottle, ALongPeriodDoesNotOverflowThirtyTwoBits)
{
    ASSERT_TRUE(due("1000"));
    // 1000 s is 10^10 ticks, more than 32 bits hold.
    win32::Clock::advance(999 * kSecond);
    EXPECT_FALSE(due("1000"));
    win32::Clock::advance(1 * kSecond);
    EXPECT_TRUE(due("1000"));
}

TEST_F(RefreshThrottle, InstancesKeepTheirOwnTimes)
{
    InstanceRecord* other = dllstartup(0, 0);
    ASSERT_NE(other, nullptr);
    ASSERT_TRUE(due("5"));
    win32::Clock::advance(3 * kSecond);
    EXPECT_TRUE(IsRefreshDue(other, 5));
    win32::Clock::advance(2 * kSecond);
    EXPECT_TRUE(due("5"));
    EXPECT_FALSE(IsRefreshDue(other, 5));
    dllshutdown(other);
}

TEST(RefreshThrottleWithoutInstance, ANullInstanceIsNeverDue)
{
    EXPECT_FALSE(IsRefreshDue(nullptr, 0));
    EXPECT_FALSE(IsRefreshDue(nullptr, -1));
    EXPECT_EQ(std::string(NoInstanceText).rfind("ERROR: ", 0), 0u);
}

} // namespace
