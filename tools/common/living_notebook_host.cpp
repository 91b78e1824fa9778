// SPDX-License-Identifier: MIT
// living_notebook_host.cpp
//
// The host build's living notebook: the thermal model of the installed
// simulated notebook, advanced at each SMM call by the time the Win32
// layer's clock has moved since.
#include "tools/common/living_notebook.h"

#include "platform/host-win32/win32_host.h"
#include "sim/machine.h"
#include "sim/thermal_model.h"

#include <mutex>

namespace tools {

namespace {

// The model is advanced in steps of at least this (in 100 ns ticks): on
// the real clock the calls of one refresh come microseconds apart, and a
// fan speed moves a whole unit at every step.
constexpr uint64_t kShortestStep = win32::kTicksPerSecond / 10;

} // namespace

struct LivingNotebook::State {
    explicit State(sim::Machine& machine) : model(machine) {}

    void catchUp()
    {
        std::lock_guard guard(lock);
        const uint64_t now = win32::Clock::now();
        if (!last || now < *last) {
            // The first call, or the clock was set back: time starts here.
            last = now;
            return;
        }
        if (now - *last < kShortestStep)
            return;
        model.advance(double(now - *last) / double(win32::kTicksPerSecond));
        last = now;
    }

    std::mutex lock;
    sim::ThermalModel model;
    std::optional<uint64_t> last;
};

LivingNotebook::LivingNotebook(std::optional<int> loadPercent)
{
    auto machine = sim::currentMachinePtr();
    if (!machine)
        return;
    state_ = std::make_shared<State>(*machine);
    state_->model.setLoad(loadPercent);
    machine->smm.beforeCall = [state = state_] { state->catchUp(); };
}

LivingNotebook::~LivingNotebook()
{
    if (auto machine = sim::currentMachinePtr(); machine && state_)
        machine->smm.beforeCall = nullptr;
}

bool LivingNotebook::loadAdjustable()
{
    return true;
}

void LivingNotebook::setLoad(std::optional<int> percent)
{
    if (!state_)
        return;
    std::lock_guard guard(state_->lock);
    state_->model.setLoad(percent);
}

std::optional<int> LivingNotebook::load() const
{
    if (!state_)
        return std::nullopt;
    std::lock_guard guard(state_->lock);
    if (auto percent = state_->model.load())
        return int(*percent);
    return std::nullopt;
}

} // namespace tools
