// SPDX-License-Identifier: MIT
// superio_notebook.h
//
// The built-in notebook with a simulated Super I/O chip of given settings on
// its port bus, for the Super I/O suites; and the trace lines of Super I/O
// ports (configuration pairs and a runtime pair) picked out of a trace.
#pragma once

#include "sim/machine.h"
#include "sim/superio_chip.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

namespace zephr_test {

struct SuperIoNotebook {
    std::shared_ptr<sim::Machine> machine;
    std::shared_ptr<sim::SuperIoChip> chip; // null: the notebook has no chip
};

// The default chip settings with some changed.
template <typename Change> sim::SuperIoSettings chipWith(Change change)
{
    sim::SuperIoSettings settings;
    change(settings);
    return settings;
}

inline SuperIoNotebook notebookWithChip(const sim::SuperIoSettings& settings = {})
{
    SuperIoNotebook notebook{std::shared_ptr<sim::Machine>(sim::Machine::builtin()),
                             std::make_shared<sim::SuperIoChip>(settings)};
    notebook.machine->attach(notebook.chip);
    return notebook;
}

inline SuperIoNotebook notebookWithoutChip()
{
    return {std::shared_ptr<sim::Machine>(sim::Machine::builtin()), nullptr};
}

// Lines of a trace that touch one port ("out 0x002e 0xaa", "in 0x002f -> 0xff").
inline std::vector<std::string> portLines(const sim::Trace& trace, uint16_t port)
{
    char out[16], in[16];
    std::snprintf(out, sizeof out, "out 0x%04x ", port);
    std::snprintf(in, sizeof in, "in 0x%04x ", port);
    std::vector<std::string> lines;
    for (const std::string& line : trace.lines())
        if (line.starts_with(out) || line.starts_with(in))
            lines.push_back(line);
    return lines;
}

} // namespace zephr_test
