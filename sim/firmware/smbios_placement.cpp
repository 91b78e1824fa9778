// SPDX-License-Identifier: MIT
// smbios_placement.cpp
//
// placeSmbios: a structure table and its entry point written into the
// simulated notebook's physical memory, where the layout puts them.
#include "sim/firmware/smbios.h"

#include <cstdio>
#include <stdexcept>

namespace sim::firmware {

namespace {

constexpr uint64_t kTop = 0xFFFFFFFFull; // the entry point holds a 32-bit address

std::string hex(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%llx", static_cast<unsigned long long>(value));
    return text;
}

void checkBelow4GiB(const char* what, uint64_t address, size_t length)
{
    if (address > kTop || (length > 0 && length - 1 > kTop - address))
        throw std::invalid_argument(std::string(what) + " at " + hex(address) + " (" +
                                    std::to_string(length) + " bytes) passes 4 GiB");
}

uint64_t alignUp16(uint64_t value)
{
    return (value + 15) & ~uint64_t{15};
}

} // namespace

SmbiosPlacement placeSmbios(PhysicalMemory& memory, const SmbiosTable& table,
                            const SmbiosLayout& layout)
{
    SmbiosEntryPointFields fields;
    fields.tableLength = layout.tableLength.value_or(static_cast<uint16_t>(table.bytes.size()));
    fields.structureCount = layout.structureCount.value_or(table.structureCount);
    fields.maxStructureSize = table.maxStructureSize;
    fields.majorVersion = table.majorVersion;
    fields.minorVersion = table.minorVersion;
    fields.entryPointLength = layout.entryPointLength.value_or(0x1F);
    fields.badChecksum = layout.badChecksum;
    fields.intermediateAnchor = layout.intermediateAnchor;

    // The entry point's size does not depend on the table address.
    const size_t entryPointSize = buildSmbiosEntryPoint(fields).size();
    SmbiosPlacement placement;
    placement.entryPointAddress = layout.entryPointAddress;
    checkBelow4GiB("the SMBIOS entry point", placement.entryPointAddress, entryPointSize);
    placement.tableAddress =
        layout.tableAddress.value_or(alignUp16(placement.entryPointAddress + entryPointSize));
    checkBelow4GiB("the SMBIOS structure table", placement.tableAddress, table.bytes.size());

    const uint64_t entryPointEnd = placement.entryPointAddress + entryPointSize;
    const uint64_t tableEnd = placement.tableAddress + table.bytes.size();
    if (placement.tableAddress < entryPointEnd && placement.entryPointAddress < tableEnd)
        throw std::invalid_argument("the SMBIOS structure table at " + hex(placement.tableAddress) +
                                    " overlaps its entry point at " +
                                    hex(placement.entryPointAddress));

    fields.tableAddress = static_cast<uint32_t>(placement.tableAddress);
    memory.load(placement.tableAddress, table.bytes);
    memory.load(placement.entryPointAddress, buildSmbiosEntryPoint(fields));
    return placement;
}

} // namespace sim::firmware
