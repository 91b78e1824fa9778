// SPDX-License-Identifier: MIT
// simulated_machines.h
//
// The notebooks the comparison suites run their cases on: the built-in one,
// and the built-in one whose SMM BIOS behaves as a case asks. Each is a
// factory, so every road of a case gets a fresh notebook.
#pragma once

#include "sim/machine.h"

#include <functional>
#include <memory>

namespace test_machines {

inline std::shared_ptr<sim::Machine> builtin()
{
    return std::shared_ptr<sim::Machine>(sim::Machine::builtin());
}

inline std::function<std::shared_ptr<sim::Machine>()>
withSmm(sim::SmmBehaviour behaviour, std::function<void(sim::SmmRegisters&)> custom = {})
{
    return [=] {
        auto machine = builtin();
        machine->smm.behaviour = behaviour;
        machine->smm.custom = custom;
        return machine;
    };
}

} // namespace test_machines
