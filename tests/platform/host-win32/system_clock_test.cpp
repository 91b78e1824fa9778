// SPDX-License-Identifier: MIT
// system_clock_test.cpp
//
// GetSystemTimeAsFileTime over win32::Clock: the real clock in FILETIME
// units, and the simulated one set and moved forwards and backwards.
#include "platform/host-win32/win32_host.h"

#include <ctime>
#include <gtest/gtest.h>
#include <limits>
#include <stdexcept>

namespace {

uint64_t systemTime()
{
    FILETIME time;
    GetSystemTimeAsFileTime(&time);
    return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

class SimulatedClock : public testing::Test {
  protected:
    void TearDown() override
    {
        win32::Clock::useReal();
    }
};

TEST(RealClock, CountsHundredNanosecondsSince1601)
{
    win32::Clock::useReal();
    EXPECT_FALSE(win32::Clock::simulated());
    const int64_t kSecondsFrom1601To1970 = 11644473600;
    int64_t fromFileTime = static_cast<int64_t>(systemTime() / win32::kTicksPerSecond);
    int64_t fromTime = static_cast<int64_t>(std::time(nullptr)) + kSecondsFrom1601To1970;
    EXPECT_NEAR(static_cast<double>(fromFileTime), static_cast<double>(fromTime), 2.0);
}

TEST(RealClock, CannotBeSetOrMoved)
{
    win32::Clock::useReal();
    EXPECT_THROW(win32::Clock::set(5), std::logic_error);
    EXPECT_THROW(win32::Clock::advance(5), std::logic_error);
    EXPECT_FALSE(win32::Clock::simulated());
}

TEST_F(SimulatedClock, StandsWhereItIsSetAndMovesBothWays)
{
    const uint64_t start = 0x01D0'0000'1234'5678ULL;
    win32::Clock::useSimulated(start);
    EXPECT_TRUE(win32::Clock::simulated());
    EXPECT_EQ(systemTime(), start);
    EXPECT_EQ(systemTime(), start) << "a simulated clock does not run by itself";

    win32::Clock::advance(49 * win32::kTicksPerSecond / 10);
    EXPECT_EQ(systemTime(), start + 49'000'000);
    win32::Clock::advance(-60 * win32::kTicksPerSecond);
    EXPECT_EQ(systemTime(), start + 49'000'000 - 600'000'000);
    win32::Clock::set(start - 1);
    EXPECT_EQ(win32::Clock::now(), start - 1);
    EXPECT_EQ(systemTime(), start - 1);
}

TEST_F(SimulatedClock, StopsAtTheEndsOfTheRange)
{
    win32::Clock::useSimulated(10);
    win32::Clock::advance(std::numeric_limits<int64_t>::min());
    EXPECT_EQ(systemTime(), 0u);
    win32::Clock::set(std::numeric_limits<uint64_t>::max() - 3);
    win32::Clock::advance(std::numeric_limits<int64_t>::max());
    EXPECT_EQ(systemTime(), std::numeric_limits<uint64_t>::max());
}

} // namespace
