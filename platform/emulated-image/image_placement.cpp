// SPDX-License-Identifier: MIT
// image_placement.cpp
//
// Writing a laid-out image into the processor while its pages are writable,
// then protecting each section as its flags say.
#include "platform/emulated-image/image_placement.h"

#include "platform/emulated-image/message_text.h"

#include <algorithm>
#include <stdexcept>

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

void patchImage(Cpu& cpu, uint32_t base, std::vector<uint8_t>& memory, uint32_t address,
                const std::vector<uint8_t>& bytes)
{
    if (address < base || address - base + bytes.size() > memory.size())
        throw std::out_of_range("patch at " + hexAddress(address) + " lies outside the image");
    std::copy(bytes.begin(), bytes.end(), memory.begin() + (address - base));
    cpu.overwriteCode(address, bytes);
}

} // namespace emulated
