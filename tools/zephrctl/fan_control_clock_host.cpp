// SPDX-License-Identifier: MIT
// fan_control_clock_host.cpp
//
// The loop's clock on Linux: Ctrl-C (SIGINT), SIGTERM and a closing
// terminal (SIGHUP) end the current wait.
#include "tools/zephrctl/fan_control_clock.h"

#include "platform/host-win32/win32_host.h"

#include <chrono>
#include <csignal>
#include <ctime>

namespace zephrctl {

namespace {

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void requestStop(int)
{
    stopRequested = 1;
}

const int kStopSignals[] = {SIGINT, SIGTERM, SIGHUP};

constexpr uint64_t kSimulatedStart = 134116992000000000ull; // 2026-01-01 as a FILETIME

class SimulatedLoopClock : public LoopClock {
  public:
    explicit SimulatedLoopClock(double stopAfter) : stopAfter_(stopAfter)
    {
        win32::Clock::useSimulated(kSimulatedStart);
    }
    ~SimulatedLoopClock() override
    {
        win32::Clock::useReal();
    }
    SimulatedLoopClock(const SimulatedLoopClock&) = delete;
    SimulatedLoopClock& operator=(const SimulatedLoopClock&) = delete;

    double now() override
    {
        return double(win32::Clock::now() - kSimulatedStart) / double(win32::kTicksPerSecond);
    }
    bool waitFor(double seconds) override
    {
        if (now() + seconds > stopAfter_)
            return false;
        win32::Clock::advance(int64_t(seconds * double(win32::kTicksPerSecond)));
        return true;
    }

  private:
    double stopAfter_;
};

} // namespace

SystemLoopClock::SystemLoopClock()
{
    stopRequested = 0;
    for (int signal : kStopSignals)
        std::signal(signal, requestStop);
}

SystemLoopClock::~SystemLoopClock()
{
    for (int signal : kStopSignals)
        std::signal(signal, SIG_DFL);
}

double SystemLoopClock::now()
{
    using Seconds = std::chrono::duration<double>;
    return std::chrono::duration_cast<Seconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

bool SystemLoopClock::waitFor(double seconds)
{
    const double end = now() + seconds;
    while (!stopRequested && now() < end) {
        // A tenth of a second at a time, so a stop is seen at once.
        timespec slice = {0, 100'000'000};
        nanosleep(&slice, nullptr);
    }
    return !stopRequested;
}

void SystemLoopClock::finished() {}

std::unique_ptr<LoopClock> simulatedLoopClock(double stopAfter)
{
    return std::make_unique<SimulatedLoopClock>(stopAfter);
}

} // namespace zephrctl
