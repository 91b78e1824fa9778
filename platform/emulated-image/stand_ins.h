// SPDX-License-Identifier: MIT
// stand_ins.h
//
// What the driver loader and the plug-in loader share about the routines an
// image imports: the stub address of an import in a table of stand-ins
// (rows with a module and a name, one stub slot each, the module matched in
// any case as Windows' loader does), and the run of a stub's stand-in.
#pragma once

#include "platform/emulated-image/cpu.h"
#include "platform/emulated-image/message_text.h"
#include "platform/emulated-image/pe_image.h"

#include <cstdint>
#include <string>
#include <vector>

namespace emulated {

// Who refuses an import the table does not offer, for the message:
// "driver image zephr.sys imports X from Y, which the emulated kernel does
// not offer (a new import of the driver needs its stand-in in FILE)".
struct ImportRefusal {
    const char* image;     // "driver image"
    const char* offeredBy; // "the emulated kernel"
    const char* importer;  // "driver"
    const char* standIns;  // the source file of the table
};

template <class Row>
uint32_t stubOfImport(const std::vector<Row>& rows, const Import& import, uint32_t stubPage,
                      uint32_t stubSlot, const std::string& imageName, const ImportRefusal& refusal)
{
    const std::string offer = std::string(", which ") + refusal.offeredBy + " does not offer";
    if (import.name.empty())
        throw ImageError(std::string(refusal.image) + " " + imageName + " imports ordinal " +
                         std::to_string(import.ordinal) + " from " + import.module + offer);
    const std::string module = lowerCase(import.module);
    for (size_t i = 0; i < rows.size(); ++i)
        if (module == rows[i].module && import.name == rows[i].name)
            return stubPage + static_cast<uint32_t>(i) * stubSlot;
    throw ImageError(std::string(refusal.image) + " " + imageName + " imports " + import.name +
                     " from " + import.module + offer + " (a new import of the " +
                     refusal.importer + " needs its stand-in in " + refusal.standIns + ")");
}

// The stand-in whose stub holds address (a stub slot of stubPage), or null.
template <class Row>
const Row* standInAt(const std::vector<Row>& rows, uint32_t address, uint32_t stubPage,
                     uint32_t stubSlot)
{
    if (address < stubPage || (address - stubPage) / stubSlot >= rows.size())
        return nullptr;
    return &rows[(address - stubPage) / stubSlot];
}

// Runs the stand-in of stub `index` on its loader.
template <class Owner, class Row>
void runStandIn(Owner& owner, const std::vector<Row>& rows, uint32_t index, const char* where)
{
    if (index >= rows.size())
        throw CpuFault(std::string("a call into ") + where + " at no routine", 0);
    (owner.*rows[index].run)();
}

} // namespace emulated
