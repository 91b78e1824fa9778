// SPDX-License-Identifier: MIT
// image_placement.cpp
//
// Writing a laid-out image into the processor while its pages are writable,
// then protecting each section as its flags say.
#include "platform/emulated-image/image_placement.h"

#include <algorithm>

namespace emulated {

void placeImage(Cpu& cpu, const PeImage& pe, uint32_t base, const std::vector<uint8_t>& memory)
{
    const auto size = static_cast<uint32_t>(memory.size());
    cpu.map(base, size, UC_PROT_ALL);
    cpu.write(base, memory.data(), memory.size());
    cpu.protect(base, size, UC_PROT_READ);
    for (const Section& section : pe.sections()) {
        const uint32_t bytes = pagesFor(std::max(section.virtualSize, section.rawSize));
        if (bytes == 0)
            continue;
        const uint32_t perms = (section.readable ? UC_PROT_READ : 0) |
                               (section.writable ? UC_PROT_WRITE : 0) |
                               (section.executable ? UC_PROT_EXEC : 0);
        cpu.protect(base + section.virtualAddress, bytes, perms);
    }
    cpu.setDriverCode(base, base + size, memory.data());
}

} // namespace emulated
