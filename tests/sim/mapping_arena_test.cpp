// SPDX-License-Identifier: MIT
// mapping_arena_test.cpp
//
// MmMapIoSpace's addresses: reproducible, page-offset preserving, below the
// sanitizer's shadow, read-only copies fenced by guard pages, and unmap of
// anything but a live mapping refused.
#include "sim/machine.h"

#include <gtest/gtest.h>

#include <csignal>

#if defined(__SANITIZE_ADDRESS__)
#define SIM_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIM_TEST_ASAN 1
#endif
#endif
#if defined(SIM_TEST_ASAN)
// AddressSanitizer takes the fault and reports it before it exits.
#define EXPECT_FAULT(statement) EXPECT_DEATH(statement, "SEGV")
#else
#define EXPECT_FAULT(statement) EXPECT_EXIT(statement, testing::KilledBySignal(SIGSEGV), "")
#endif

namespace {

using sim::MappingArena;

uintptr_t at(void* address)
{
    return reinterpret_cast<uintptr_t>(address);
}

uint8_t touch(const void* address)
{
    return *static_cast<const volatile uint8_t*>(address);
}

class MappingArenaTest : public testing::Test {
  protected:
    MappingArenaTest()
    {
        memory.load(0xE0000, std::vector<uint8_t>(0x10000, 0x5A));
    }
    sim::PhysicalMemory memory;
    MappingArena arena;
};

// Runs one sequence of maps and unmaps in a fresh arena.
std::vector<uintptr_t> addressesOfASequence(const sim::PhysicalMemory& memory)
{
    MappingArena arena;
    void* a = arena.map(memory, 0xE0000, 0x20000);
    void* b = arena.map(memory, 0xE0010, 0x24);
    void* c = arena.map(memory, 0x3FE1234, 0x2000);
    arena.unmap(b, 0x24);
    void* d = arena.map(memory, 0xF0008, 8);
    std::vector<uintptr_t> seen{at(a), at(b), at(c), at(d)};
    for (const auto& mapping : arena.live())
        arena.unmap(reinterpret_cast<void*>(mapping.virtualAddress), mapping.length);
    return seen;
}

TEST_F(MappingArenaTest, AddressesDependOnlyOnTheSequenceAndKeepThePageOffset)
{
    const auto first = addressesOfASequence(memory);
    EXPECT_EQ(first, addressesOfASequence(memory));
    EXPECT_EQ(first[0], 0x30000000u);
    // Each mapping is fenced by a free page from the one before.
    EXPECT_EQ(first[1], 0x30021010u);
    EXPECT_EQ(first[2], 0x30023234u);
    EXPECT_EQ(first[3], 0x30021008u); // the lowest free slot: where b was
    for (uintptr_t address : first)
        EXPECT_LT(address, 0x7fff8000u);
}

TEST_F(MappingArenaTest, MappingIsACopyOfThePhysicalBytes)
{
    auto* mapped = static_cast<const uint8_t*>(arena.map(memory, 0xEFFFE, 4));
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(std::vector<uint8_t>(mapped, mapped + 4),
              (std::vector<uint8_t>{0x5A, 0x5A, 0xFF, 0xFF}));
    ASSERT_EQ(arena.live().size(), 1u);
    EXPECT_EQ(arena.live()[0].physical, 0xEFFFEu);
    arena.unmap(const_cast<uint8_t*>(mapped), 4);
}

// Below 1 TiB a mapping is a view of the memory and shows what a later load
// places; above it, a copy of open bus.
TEST_F(MappingArenaTest, AViewFollowsLaterLoadsAndPagesAboveTheViewsAreCopied)
{
    struct Row {
        uint64_t physical;
        std::vector<uint8_t> mapped, afterLoad;
    };
    for (const Row& row :
         {Row{0xEFFFE, {0x5A, 0x5A, 0xFF, 0xFF}, {0x5A, 0x5A, 7, 7}},
          Row{0x10000000FFEull, {0xFF, 0xFF, 0xFF, 0xFF}, {0xFF, 0xFF, 0xFF, 0xFF}}}) {
        auto* mapped = static_cast<const uint8_t*>(arena.map(memory, row.physical, 4));
        ASSERT_NE(mapped, nullptr) << row.physical;
        EXPECT_EQ(std::vector<uint8_t>(mapped, mapped + 4), row.mapped) << row.physical;
        memory.load(row.physical + 2, {7, 7});
        EXPECT_EQ(std::vector<uint8_t>(mapped, mapped + 4), row.afterLoad) << row.physical;
        arena.unmap(const_cast<uint8_t*>(mapped), 4);
    }
}

TEST_F(MappingArenaTest, EmptyUnmappableAndOversizedRangesGiveNull)
{
    memory.markUnmappable(0xF0000, 0x10000);
    EXPECT_EQ(arena.map(memory, 0xE0000, 0), nullptr);
    EXPECT_EQ(arena.map(memory, 0xE0000, 0x10001), nullptr); // one byte reaches in
    EXPECT_EQ(arena.map(memory, 0, 0x40000000), nullptr);
    EXPECT_TRUE(arena.live().empty());
}

TEST_F(MappingArenaTest, UnmapOfAnythingButALiveMappingThrowsNamingIt)
{
    void* mapped = arena.map(memory, 0xE0010, 0x40);
    auto refusal = [&](void* address, size_t length) -> std::string {
        try {
            arena.unmap(address, length);
        } catch (const std::logic_error& error) {
            return error.what();
        }
        return "(accepted)";
    };
    EXPECT_NE(refusal(static_cast<uint8_t*>(mapped) - 0x10, 0x40).find("0x30000000 64"),
              std::string::npos);
    EXPECT_NE(refusal(mapped, 0x41).find("0x30000010 65"), std::string::npos);
    arena.unmap(mapped, 0x40);
    EXPECT_NE(refusal(mapped, 0x40).find("0x30000010 64"), std::string::npos);
}

TEST_F(MappingArenaTest, ASecondLiveArenaGetsAnotherRegion)
{
    MappingArena second;
    void* a = arena.map(memory, 0xE0000, 0x1000);
    void* b = second.map(memory, 0xE0000, 0x1000);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(at(a), at(b));
    EXPECT_LT(at(b), 0x7fff8000u);
    arena.unmap(a, 0x1000);
    second.unmap(b, 0x1000);
}

using MappingArenaDeathTest = MappingArenaTest;

TEST_F(MappingArenaDeathTest, ReadsOutsideTheMappedPagesAndWritesFault)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto* mapped = static_cast<uint8_t*>(arena.map(memory, 0xE0010, 0xFF0));
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(touch(mapped + 0xFEF), 0x5A);
    EXPECT_FAULT(touch(mapped + 0xFF0)); // one byte past the page
    EXPECT_FAULT(touch(mapped - 0x11));  // one byte before it
    EXPECT_FAULT(*static_cast<volatile uint8_t*>(mapped) = 1);
    arena.unmap(mapped, 0xFF0);
}

#if defined(SIM_TEST_ASAN)
TEST_F(MappingArenaDeathTest, ReadPastTheRangeInsideItsPageIsReported)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    auto* mapped = static_cast<uint8_t*>(arena.map(memory, 0xE0100, 0x10));
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(touch(mapped + 0xF), 0x5A);
    EXPECT_DEATH(touch(mapped + 0x10), "use-after-poison");
    EXPECT_DEATH(touch(mapped - 1), "use-after-poison");
    arena.unmap(mapped, 0x10);
}
#endif

} // namespace
