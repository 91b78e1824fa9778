// SPDX-License-Identifier: MIT
// smbios_machine_file.h
//
// The "smbios" key of a machine file: a notebook's SMBIOS table, written as
// structures or taken from a dmidecode dump, and where its entry point and
// table lie (docs/machine-file.md describes the keys).
#pragma once

#include "sim/machine_file.h"

namespace sim::firmware {

// Builds the table the value describes and places it in the machine's
// memory. Throws MachineFileError naming the file, the key and the fault.
void parseSmbiosSection(Machine& machine, const nlohmann::json& value,
                        const machine_file::Place& place);

} // namespace sim::firmware
