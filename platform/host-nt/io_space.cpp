// SPDX-License-Identifier: MIT
// io_space.cpp
//
// MmMapIoSpace and MmUnmapIoSpace: system-space mappings of physical memory,
// handed out by the simulated notebook installed in the process. With no
// notebook installed there is no physical memory to map.
#include "platform/host-nt/kernel_state.h"
#include "sim/machine.h"

#include <exception>

extern "C" PVOID NTAPI MmMapIoSpace(PHYSICAL_ADDRESS PhysicalAddress, SIZE_T NumberOfBytes,
                                    MEMORY_CACHING_TYPE CacheType)
{
    (void)CacheType; // the simulated memory has no caches
    auto machine = sim::currentMachinePtr();
    if (!machine)
        return nullptr;
    try {
        return machine->mapIoSpace(static_cast<uint64_t>(PhysicalAddress.QuadPart), NumberOfBytes);
    } catch (const std::exception& error) {
        nt::driverFault(std::string("MmMapIoSpace: ") + error.what());
    }
}

extern "C" VOID NTAPI MmUnmapIoSpace(PVOID BaseAddress, SIZE_T NumberOfBytes)
{
    auto machine = sim::currentMachinePtr();
    if (!machine)
        nt::driverFault("MmUnmapIoSpace of " + std::to_string(NumberOfBytes) +
                        " bytes with no machine installed (the mapping is not this "
                        "machine's)");
    try {
        machine->unmapIoSpace(BaseAddress, NumberOfBytes);
    } catch (const std::exception& error) {
        nt::driverFault(std::string("MmUnmapIoSpace: ") + error.what());
    }
}
