// SPDX-License-Identifier: MIT
// allocation_counter.cpp
//
// Counts the process's heap allocations while asked to: malloc, calloc and
// realloc are interposed here and hand on to the C library's own (operator
// new reaches them too). The benchmark binary is never built with a
// sanitizer, which interposes the same routines.
#include "bench/sections.h"

#include <atomic>
#include <cstddef>

extern "C" void* __libc_malloc(size_t size);
extern "C" void* __libc_calloc(size_t count, size_t size);
extern "C" void* __libc_realloc(void* block, size_t size);

namespace {

std::atomic<bool> counting{false};
std::atomic<uint64_t> allocations{0};

void Note()
{
    if (counting.load(std::memory_order_relaxed))
        allocations.fetch_add(1, std::memory_order_relaxed);
}

} // namespace

extern "C" void* malloc(size_t size) noexcept
{
    Note();
    return __libc_malloc(size);
}

extern "C" void* calloc(size_t count, size_t size) noexcept
{
    Note();
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* block, size_t size) noexcept
{
    Note();
    return __libc_realloc(block, size);
}

namespace bench {

void StartCountingAllocations()
{
    allocations = 0;
    counting = true;
}

uint64_t StopCountingAllocations()
{
    counting = false;
    return allocations.load();
}

} // namespace bench
