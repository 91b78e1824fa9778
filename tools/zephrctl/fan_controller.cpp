// SPDX-License-Identifier: MIT
// fan_controller.cpp
//
// The thresholds with hysteresis, the fail-safe, and the loop around them.
#include "tools/zephrctl/fan_controller.h"

#include <sstream>

namespace zephrctl {

namespace {

std::string degrees(unsigned temperature)
{
    return std::to_string(temperature) + " \xC2\xB0"
                                         "C";
}

// Why a fan moved from one state to the next at a temperature.
std::string moveReason(const FanThresholds& fan, std::optional<unsigned> from, unsigned to,
                       int temperature)
{
    std::string at = "CPU " + degrees(unsigned(temperature));
    if (!from)
        return at + ", taking control";
    if (to > *from) {
        int bound = *from == kFanOff ? fan.offUp : fan.slowUp;
        return at + ", above " + std::to_string(bound) + " (" + fanStateWord(*from) +
               " upper bound)";
    }
    int bound = *from == kFanHigh ? fan.highDown : fan.slowDown;
    return at + ", below " + std::to_string(bound) + " (" + fanStateWord(*from) + " lower bound)";
}

} // namespace

unsigned nextFanState(const FanThresholds& fan, std::optional<unsigned> state, int temperature)
{
    if (!state)
        return temperature <= fan.offUp ? kFanOff : temperature <= fan.slowUp ? kFanSlow : kFanHigh;
    auto upper = [&](unsigned s) { return s == kFanOff ? fan.offUp : fan.slowUp; };
    auto lower = [&](unsigned s) { return s == kFanHigh ? fan.highDown : fan.slowDown; };
    unsigned next = *state > kFanHigh ? kFanHigh : *state;
    while (next < kFanHigh && temperature > upper(next))
        ++next;
    if (next != *state)
        return next;
    while (next > kFanOff && temperature < lower(next))
        --next;
    return next;
}

FanController::FanController(const FanControlConfig& config, FanHardware& hardware, Log log)
    : config_(config), hardware_(hardware), log_(std::move(log))
{
    for (const FanThresholds& thresholds : config_.fans)
        fans_.push_back({thresholds, std::nullopt, std::nullopt, 0});
}

void FanController::step(double now, bool logReading)
{
    std::optional<unsigned> temperature = hardware_.temperature(config_.sensor);
    std::string sensor = "CPU sensor " + std::to_string(config_.sensor);
    if (!temperature) {
        if (!failSafe_)
            log_(sensor + " cannot be read (" + hardware_.problem() +
                 "): every fan to High until it reads again");
        else if (logReading)
            log_(sensor + " cannot be read (" + hardware_.problem() + ")");
        failSafe_ = true;
        for (FanRecord& fan : fans_)
            setFan(fan, kFanHigh, now, "fail-safe", false);
        return;
    }
    if (failSafe_)
        log_(sensor + " reads again (" + degrees(*temperature) + "): back to the thresholds");
    else if (logReading)
        log_(sensor + ": " + degrees(*temperature));
    bool leavingFailSafe = failSafe_;
    failSafe_ = false;
    for (FanRecord& fan : fans_) {
        // After the fail-safe the fans are High whatever was last set.
        std::optional<unsigned> from =
            leavingFailSafe ? std::optional<unsigned>(kFanHigh) : fan.state;
        unsigned to = nextFanState(fan.thresholds, from, int(*temperature));
        if (to != fan.state)
            setFan(fan, to, now, moveReason(fan.thresholds, from, to, int(*temperature)), false);
    }
}

void FanController::leaveFansHigh(double now)
{
    log_("stopping: every fan is left High");
    for (FanRecord& fan : fans_)
        setFan(fan, kFanHigh, now, "stopping", true);
}

void FanController::setFan(FanRecord& fan, unsigned state, double now, const std::string& reason,
                           bool force)
{
    if (fan.state == state)
        return;
    // A setting the BIOS refused waits before it is tried again.
    if (!force && fan.refused == state && now - fan.refusedAt < config_.retryAfter)
        return;
    std::string name = "fan " + std::to_string(fan.thresholds.fan);
    std::string from = fan.state ? fanStateWord(*fan.state) : "unknown";
    ++settingsSent_;
    if (!hardware_.setFanState(fan.thresholds.fan, state)) {
        std::ostringstream retry;
        retry << config_.retryAfter;
        log_(name + ": " + fanStateWord(state) + " not set (" + hardware_.problem() + "; " +
             reason + "); tried again in " + retry.str() + " s");
        fan.refused = state;
        fan.refusedAt = now;
        // What the fan runs at is not known any more.
        fan.state.reset();
        return;
    }
    fan.refused.reset();
    ++changes_;
    log_(name + ": " + from + " -> " + fanStateWord(state) + " (" + reason + ")");
    fan.state = state;
}

int runFanControl(const FanControlConfig& config, FanHardware& hardware, LoopClock& clock,
                  FanController::Log log, bool once, bool logReadings)
{
    FanController controller(config, hardware, log);
    controller.step(clock.now(), once || logReadings);
    if (once)
        return controller.failSafe() ? 1 : 0;
    while (clock.waitFor(config.interval))
        controller.step(clock.now(), logReadings);
    controller.leaveFansHigh(clock.now());
    return controller.failSafe() ? 1 : 0;
}

} // namespace zephrctl
