// SPDX-License-Identifier: MIT
// system_clock.cpp
//
// The clock behind GetSystemTimeAsFileTime: the real system time as a
// FILETIME (100 ns intervals since 1601-01-01 UTC) by default, or a
// simulated one that tests and tools set and move both ways.
#include "platform/host-win32/win32_host.h"

#include <chrono>
#include <limits>
#include <mutex>
#include <stdexcept>

namespace win32 {

namespace {

// 100 ns intervals from 1601-01-01 to 1970-01-01.
constexpr uint64_t kUnixEpochTicks = 116444736000000000ULL;

struct ClockState {
    std::mutex lock;
    bool simulated = false;
    uint64_t fileTime = 0;
};

ClockState& clockState()
{
    static ClockState state;
    return state;
}

uint64_t realFileTime()
{
    using Ticks = std::chrono::duration<int64_t, std::ratio<1, kTicksPerSecond>>;
    auto sinceUnixEpoch =
        std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch());
    return kUnixEpochTicks + static_cast<uint64_t>(sinceUnixEpoch.count());
}

void requireSimulated(const ClockState& state, const char* operation)
{
    if (!state.simulated)
        throw std::logic_error(std::string("win32::Clock::") + operation +
                               ": the real clock cannot be moved; call useSimulated first");
}

} // namespace

void Clock::useSimulated(uint64_t fileTime)
{
    ClockState& state = clockState();
    std::lock_guard guard(state.lock);
    state.simulated = true;
    state.fileTime = fileTime;
}

void Clock::useReal()
{
    ClockState& state = clockState();
    std::lock_guard guard(state.lock);
    state.simulated = false;
}

bool Clock::simulated()
{
    ClockState& state = clockState();
    std::lock_guard guard(state.lock);
    return state.simulated;
}

void Clock::set(uint64_t fileTime)
{
    ClockState& state = clockState();
    std::lock_guard guard(state.lock);
    requireSimulated(state, "set");
    state.fileTime = fileTime;
}

void Clock::advance(int64_t ticks)
{
    ClockState& state = clockState();
    std::lock_guard guard(state.lock);
    requireSimulated(state, "advance");
    // Stops at the ends of the FILETIME range instead of wrapping round.
    if (ticks >= 0) {
        uint64_t room = std::numeric_limits<uint64_t>::max() - state.fileTime;
        state.fileTime += static_cast<uint64_t>(ticks) > room ? room : static_cast<uint64_t>(ticks);
    } else {
        uint64_t back = static_cast<uint64_t>(-(ticks + 1)) + 1; // |ticks| without overflow
        state.fileTime -= back > state.fileTime ? state.fileTime : back;
    }
}

uint64_t Clock::now()
{
    ClockState& state = clockState();
    std::lock_guard guard(state.lock);
    return state.simulated ? state.fileTime : realFileTime();
}

} // namespace win32

extern "C" VOID WINAPI GetSystemTimeAsFileTime(LPFILETIME lpSystemTimeAsFileTime)
{
    uint64_t now = win32::Clock::now();
    lpSystemTimeAsFileTime->dwLowDateTime = static_cast<DWORD>(now);
    lpSystemTimeAsFileTime->dwHighDateTime = static_cast<DWORD>(now >> 32);
}
