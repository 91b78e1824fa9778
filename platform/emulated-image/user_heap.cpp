// SPDX-License-Identifier: MIT
// user_heap.cpp
//
// First-fit allocation over the free runs of the region, and the joining of
// a freed block with the free runs on either side.
#include "platform/emulated-image/user_heap.h"

#include <stdexcept>

namespace emulated {

UserHeap::UserHeap(uint32_t base, uint32_t size)
{
    if (base % kAlignment != 0 || size % kAlignment != 0 || size == 0)
        throw std::invalid_argument("UserHeap: region not aligned to its blocks");
    free_[base] = size;
}

std::optional<uint32_t> UserHeap::allocate(uint32_t bytes)
{
    if (bytes > UINT32_MAX - kAlignment)
        return std::nullopt;
    const uint32_t rounded = bytes == 0 ? kAlignment : (bytes + kAlignment - 1) & ~(kAlignment - 1);
    for (auto run = free_.begin(); run != free_.end(); ++run) {
        if (run->second < rounded)
            continue;
        const uint32_t address = run->first;
        const uint32_t left = run->second - rounded;
        free_.erase(run);
        if (left > 0)
            free_[address + rounded] = left;
        live_[address] = rounded;
        return address;
    }
    return std::nullopt;
}

bool UserHeap::release(uint32_t address)
{
    auto block = live_.find(address);
    if (block == live_.end())
        return false;
    uint32_t start = address;
    uint32_t bytes = block->second;
    live_.erase(block);
    auto after = free_.find(start + bytes);
    if (after != free_.end()) {
        bytes += after->second;
        free_.erase(after);
    }
    auto before = free_.lower_bound(start);
    if (before != free_.begin()) {
        --before;
        if (before->first + before->second == start) {
            start = before->first;
            bytes += before->second;
            free_.erase(before);
        }
    }
    free_[start] = bytes;
    return true;
}

} // namespace emulated
