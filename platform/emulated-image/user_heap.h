// SPDX-License-Identifier: MIT
// user_heap.h
//
// The heap an emulated plug-in's malloc and free use: blocks handed out from
// one region of emulated memory, first fit, 16-byte aligned, never two live
// blocks overlapping; freed blocks join their free neighbours. The heap only
// keeps the books; the memory itself is the processor's.
#pragma once

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>

namespace emulated {

class UserHeap {
  public:
    static constexpr uint32_t kAlignment = 16;

    // The region [base, base + size); both multiples of kAlignment.
    UserHeap(uint32_t base, uint32_t size);

    // A block of at least bytes (a block of 0 bytes is a distinct block
    // too); none when the region has no free run that large.
    std::optional<uint32_t> allocate(uint32_t bytes);
    // Returns a live block to the heap; false when address is not one (never
    // handed out, or freed already).
    bool release(uint32_t address);

    size_t liveBlocks() const
    {
        return live_.size();
    }

  private:
    std::map<uint32_t, uint32_t> free_; // address -> bytes, never adjacent
    std::map<uint32_t, uint32_t> live_; // address -> bytes
};

} // namespace emulated
