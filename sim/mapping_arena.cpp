// SPDX-License-Identifier: MIT
// mapping_arena.cpp
//
// The system-space addresses MmMapIoSpace hands out. The arena reserves one
// fixed region of inaccessible pages low in the address space and places each
// mapping at the lowest free run of pages in it, so an address depends only
// on the maps and unmaps that came before. Every mapping is a read-only view
// of the physical pages it covers (one mmap of the memory's backing file;
// a copy of them only where the memory has no view to give), with an
// inaccessible page on each side.
//
// An unmapped view is not torn down: its pages are made inaccessible, so a
// read through a stale pointer faults, and the pages remember which
// physical page they show. A driver maps the same tables again and again
// (the ACPI report maps each table on every request), and the addresses
// follow the order of maps and unmaps, so the next map of the same range
// usually lands on the same pages: it makes them readable again instead of
// mapping the file anew and faulting each page in.
#include "sim/machine.h"

#include <sys/mman.h>

#include <cstdio>
#include <cstring>

#if defined(__SANITIZE_ADDRESS__)
#define ZEPHR_SIM_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define ZEPHR_SIM_ASAN 1
#endif
#endif

#if defined(ZEPHR_SIM_ASAN)
#include <sanitizer/asan_interface.h>
#endif

namespace sim {

namespace {

constexpr uintptr_t kPageSize = 0x1000;
// The first mapping lands at 0x30000000; the page before it is the region's
// leading guard page.
constexpr uintptr_t kFirstMapping = 0x30000000;
constexpr uintptr_t kRegionSize = 0x08000000; // 128 MiB
// AddressSanitizer's shadow memory begins here on x86_64; every mapping
// stays below it (and so below 4 GiB).
constexpr uintptr_t kAddressLimit = 0x7fff8000;
constexpr size_t kRegionPages = kRegionSize / kPageSize;

std::string hex32(uint64_t value)
{
    char text[24];
    std::snprintf(text, sizeof text, "0x%08llx", static_cast<unsigned long long>(value));
    return text;
}

void poison(uintptr_t address, size_t length)
{
#if defined(ZEPHR_SIM_ASAN)
    if (length != 0)
        ASAN_POISON_MEMORY_REGION(reinterpret_cast<void*>(address), length);
#else
    (void)address;
    (void)length;
#endif
}

void unpoison(uintptr_t address, size_t length)
{
#if defined(ZEPHR_SIM_ASAN)
    ASAN_UNPOISON_MEMORY_REGION(reinterpret_cast<void*>(address), length);
#else
    (void)address;
    (void)length;
#endif
}

// Tries to reserve the region at a fixed address without displacing anything
// already mapped there.
void* reserveAt(uintptr_t address)
{
    void* region = ::mmap(reinterpret_cast<void*>(address), kRegionSize, PROT_NONE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED_NOREPLACE, -1, 0);
    if (region == MAP_FAILED)
        return nullptr;
    if (reinterpret_cast<uintptr_t>(region) != address) {
        // A kernel older than MAP_FIXED_NOREPLACE treats it as a hint.
        ::munmap(region, kRegionSize);
        return nullptr;
    }
    return region;
}

// The region: at 0x30000000 - one page if that is free, else the next free
// 128 MiB step below the limit, else wherever the kernel finds room below
// 2 GiB (addresses then still follow the order of mappings, from another
// start).
uintptr_t reserveRegion()
{
    for (uintptr_t start = kFirstMapping - kPageSize; start + kRegionSize <= kAddressLimit;
         start += kRegionSize)
        if (reserveAt(start) != nullptr)
            return start;
    void* region = ::mmap(nullptr, kRegionSize, PROT_NONE,
                          MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_32BIT, -1, 0);
    if (region == MAP_FAILED)
        return 0;
    const auto start = reinterpret_cast<uintptr_t>(region);
    if (start + kRegionSize > kAddressLimit) {
        ::munmap(region, kRegionSize);
        return 0;
    }
    return start;
}

} // namespace

struct MappingArena::State {
    struct Slot {
        Mapping mapping;
        size_t firstPage = 0; // page index in the region
        size_t pages = 0;     // mapped pages, the trailing guard page not counted
    };

    static constexpr uint64_t kNoView = ~uint64_t(0);

    mutable std::mutex lock;
    uintptr_t region = 0;    // 0 while no mapping is live
    std::vector<Slot> slots; // ordered by firstPage
    // The physical page number each region page is a view of, live or
    // unmapped; kNoView for pages that hold no view (or a copy). As long as
    // the highest page used so far.
    std::vector<uint64_t> views;

    bool holdsViews(size_t firstPage, size_t pages, uint64_t physicalPage) const
    {
        if (firstPage + pages > views.size())
            return false;
        for (size_t i = 0; i < pages; ++i)
            if (views[firstPage + i] != physicalPage + i)
                return false;
        return true;
    }

    void recordViews(size_t firstPage, size_t pages, uint64_t physicalPage)
    {
        if (firstPage + pages > views.size())
            views.resize(firstPage + pages, kNoView);
        for (size_t i = 0; i < pages; ++i)
            views[firstPage + i] = physicalPage == kNoView ? kNoView : physicalPage + i;
    }

    // The lowest page index where `pages` pages and a guard page after them
    // fit, with the guard page before them free too; 0 when none does.
    // Page 0 is the region's permanent leading guard page.
    size_t findRun(size_t pages) const
    {
        size_t candidate = 1;
        for (const auto& slot : slots) {
            if (candidate + pages + 1 <= slot.firstPage)
                return candidate;
            candidate = slot.firstPage + slot.pages + 1;
        }
        return candidate + pages + 1 <= kRegionPages ? candidate : 0;
    }

    uintptr_t pageAddress(size_t page) const
    {
        return region + page * kPageSize;
    }

    void release()
    {
        if (region != 0 && slots.empty()) {
            ::munmap(reinterpret_cast<void*>(region), kRegionSize);
            region = 0;
            views.clear();
        }
    }
};

MappingArena::MappingArena() : state_(std::make_unique<State>()) {}

MappingArena::~MappingArena()
{
    if (state_->region != 0) {
        for (const auto& slot : state_->slots)
            unpoison(state_->pageAddress(slot.firstPage), slot.pages * kPageSize);
        ::munmap(reinterpret_cast<void*>(state_->region), kRegionSize);
    }
}

void* MappingArena::map(const PhysicalMemory& memory, uint64_t physical, size_t length)
{
    std::lock_guard guard(state_->lock);
    if (length == 0 || !memory.mappable(physical, length))
        return nullptr;
    const uintptr_t offset = physical % kPageSize;
    if (length > kRegionSize - offset)
        return nullptr;
    const size_t pages = (offset + length + kPageSize - 1) / kPageSize;

    // The region exists only while a mapping is live, so a machine that maps
    // nothing leaves 0x30000000 to the next one.
    if (state_->region == 0) {
        state_->region = reserveRegion();
        if (state_->region == 0)
            return nullptr;
    }
    const size_t firstPage = state_->findRun(pages);
    if (firstPage == 0) {
        state_->release();
        return nullptr;
    }

    const uintptr_t start = state_->pageAddress(firstPage);
    const size_t bytes = pages * kPageSize;
    auto* target = reinterpret_cast<void*>(start);
    const uint64_t physicalPage = (physical - offset) / kPageSize;
    if (state_->holdsViews(firstPage, pages, physicalPage) &&
        ::mprotect(target, bytes, PROT_READ) == 0) {
        // The view an earlier mapping of the same range left here.
    } else if (memory.viewPagesAt(target, physical - offset, bytes)) {
        state_->recordViews(firstPage, pages, physicalPage);
    } else {
        // No view of those pages: a copy of them, made read-only.
        state_->recordViews(firstPage, pages, State::kNoView);
        if (::mprotect(target, bytes, PROT_READ | PROT_WRITE) != 0) {
            state_->release();
            return nullptr;
        }
        memory.read(physical - offset, target, bytes);
        ::mprotect(target, bytes, PROT_READ);
    }

    const uintptr_t address = start + offset;
    poison(start, offset);
    poison(address + length, bytes - offset - length);

    State::Slot slot{Mapping{physical, length, address}, firstPage, pages};
    auto place = state_->slots.begin();
    while (place != state_->slots.end() && place->firstPage < firstPage)
        ++place;
    state_->slots.insert(place, slot);
    return reinterpret_cast<void*>(address);
}

void MappingArena::unmap(void* address, size_t length)
{
    std::lock_guard guard(state_->lock);
    const auto where = reinterpret_cast<uintptr_t>(address);
    auto slot = state_->slots.begin();
    while (slot != state_->slots.end() &&
           !(slot->mapping.virtualAddress == where && slot->mapping.length == length))
        ++slot;
    if (slot == state_->slots.end())
        throw std::logic_error("unmap of " + hex32(where) + " " + std::to_string(length) +
                               ": no live mapping has that address and length");

    const uintptr_t start = state_->pageAddress(slot->firstPage);
    const size_t bytes = slot->pages * kPageSize;
    unpoison(start, bytes);
    // The view stays, inaccessible: a read through a stale pointer faults.
    // Where that cannot be done, fresh inaccessible pages replace it.
    if (::mprotect(reinterpret_cast<void*>(start), bytes, PROT_NONE) != 0) {
        ::mmap(reinterpret_cast<void*>(start), bytes, PROT_NONE,
               MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE | MAP_FIXED, -1, 0);
        state_->recordViews(slot->firstPage, slot->pages, State::kNoView);
    }
    state_->slots.erase(slot);
    state_->release();
}

std::vector<Mapping> MappingArena::live() const
{
    std::lock_guard guard(state_->lock);
    std::vector<Mapping> mappings;
    for (const auto& slot : state_->slots)
        mappings.push_back(slot.mapping);
    return mappings;
}

} // namespace sim
