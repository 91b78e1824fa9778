// SPDX-License-Identifier: MIT
// image_placement.h
//
// A laid-out PE32 image placed in a processor: its pages mapped and written,
// then each section given its own rights (code read/execute, read-only data
// read only, data read/write), and its range made the code whose
// instructions the processor checks and counts.
#pragma once

#include "platform/emulated-image/cpu.h"
#include "platform/emulated-image/pe_image.h"

#include <cstdint>
#include <vector>

namespace emulated {

// The bytes a page-aligned region of this many bytes covers.
constexpr uint32_t pagesFor(uint32_t bytes)
{
    return (bytes + kPageSize - 1) & ~(kPageSize - 1);
}

// memory is pe laid out for base, padded to whole pages; it must stay alive
// as long as the processor runs the image (its instructions are checked in
// it).
void placeImage(Cpu& cpu, const PeImage& pe, uint32_t base, const std::vector<uint8_t>& memory);

// Overwrites bytes of the placed image at address, in memory and in the
// processor (code included, which the image itself may not write); throws
// std::out_of_range naming the address when they do not lie in the image.
void patchImage(Cpu& cpu, uint32_t base, std::vector<uint8_t>& memory, uint32_t address,
                const std::vector<uint8_t>& bytes);

} // namespace emulated
