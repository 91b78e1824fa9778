// SPDX-License-Identifier: MIT
// superio_machine_file.h
//
// The "superio" section of a machine file: the Super I/O chip the notebook
// has, its registers and its faults. Without the section the notebook has no
// chip and ports 0x2E, 0x2F, 0x4E and 0x4F read 0xFF.
#pragma once

#include "sim/machine_file.h"

namespace sim::machine_file {

// Builds the chip the section describes and puts it on the machine's port bus.
void parseSuperIo(Machine& machine, const nlohmann::json& value, const Place& place);

} // namespace sim::machine_file
