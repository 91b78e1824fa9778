// mapping_arena_test.cpp
//
// MmMapIoSpace's addresses: reproducible, page-offset preserving, below the
// sanitizer's shadow, read-only copies fenced by guard pages, and unmap of
// anything but a live mapping refused.
#include "sim/machine.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstring>
#include <numeric>

#if defined(__SANITIZE_ADDRESS__)
#define SIM_TEST_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIM_TEST_ASAN 1
#endif
#endif
#if defined(SIM_TEST_ASAN)
#include <sanitizer/asan_interface.h>
// AddressSanitizer takes the fault and reports it before it exits.
#define EXPECT_FAULT(statement) EXPECT_DEATH(statement, "SEGV")
#else
#define EXPECT_FAULT(statement) \
    EXPECT_EXIT(statement, testing::KilledBySignal(SIGSEGV), "")
#endif

namespace {

using sim::MappingArena;
using sim::PhysicalMemory;

uintptr_t at(void* address)
{
    return reinterpret_cast<uintptr_t>(address);
}

class MappingArenaTest : public testing::Test {
protected:
    MappingArenaTest()
    {
        std::vector<uint8_t> bytes(0x10000);
        std::iota(bytes.begin(), bytes.end(), uint8_t{0});
        memory.load(0xE0000, bytes);
    }
    PhysicalMemory memory;
};

TEST_F(MappingArenaTest, FirstMappingLandsAtTheRegionStart)
{
    MappingArena arena;
    void* window = arena.map(memory, 0xE0000, 0x20000);
    EXPECT_EQ(at(window), 0x30000000u);
    arena.unmap(window, 0x20000);
}

TEST_F(MappingArenaTest, AddressKeepsThePageOffsetAndStaysBelowTheShadow)
{
    MappingArena arena;
    for (uint64_t physical : {0xE0001ull, 0xE0FFFull, 0x3FE0123ull, 0xFFFFFFF0ull}) {
        void* mapped = arena.map(memory, physical, 100);
        ASSERT_NE(mapped, nullptr);
        EXPECT_EQ(at(mapped) % 4096, physical % 4096);
        EXPECT_LT(at(mapped) + 100, 0x7fff8000u);
    }
    for (const auto& mapping : arena.live())
        arena.unmap(reinterpret_cast<void*>(mapping.virtualAddress), mapping.length);
}

// The same sequence of maps and unmaps gives the same addresses in a fresh
// arena: nothing but the sequence decides them.
std::vector<uintptr_t> runSequence(const PhysicalMemory& memory)
{
    MappingArena arena;
    std::vector<uintptr_t> seen;
    void* a = arena.map(memory, 0xE0000, 0x20000);
    void* b = arena.map(memory, 0xE0010, 0x24);
    void* c = arena.map(memory, 0x3FE1234, 0x2000);
    arena.unmap(b, 0x24);
    void* d = arena.map(memory, 0xF0008, 8); // fits where b was
    void* e = arena.map(memory, 0x100000, 0x5000);
    for (void* p : {a, b, c, d, e})
        seen.push_back(at(p));
    arena.unmap(a, 0x20000);
    arena.unmap(c, 0x2000);
    arena.unmap(d, 8);
    arena.unmap(e, 0x5000);
    return seen;
}

TEST_F(MappingArenaTest, AddressesDependOnlyOnTheSequenceOfCalls)
{
    const auto first = runSequence(memory);
    const auto second = runSequence(memory);
    EXPECT_EQ(first, second);
    // A freed slot is reused by the next mapping that fits it.
    EXPECT_EQ(first[3] & ~uintptr_t{0xFFF}, first[1] & ~uintptr_t{0xFFF});
}

TEST_F(MappingArenaTest, MappingsNeverShareAPageOrTouch)
{
    MappingArena arena;
    void* a = arena.map(memory, 0xE0000, 0x1000);
    void* b = arena.map(memory, 0xE0000, 0x1000);
    // One inaccessible page at least lies between the two.
    EXPECT_GE(at(b), at(a) + 0x2000);
    arena.unmap(a, 0x1000);
    arena.unmap(b, 0x1000);
}

TEST_F(MappingArenaTest, MappingIsACopyOfThePhysicalBytes)
{
    MappingArena arena;
    auto* mapped = static_cast<const uint8_t*>(arena.map(memory, 0xE0100, 0x300));
    ASSERT_NE(mapped, nullptr);
    std::vector<uint8_t> expected(0x300);
    memory.read(0xE0100, expected.data(), expected.size());
    EXPECT_EQ(std::memcmp(mapped, expected.data(), expected.size()), 0);
    arena.unmap(const_cast<uint8_t*>(mapped), 0x300);
}

TEST_F(MappingArenaTest, EmptyAndUnmappableRangesGiveNull)
{
    memory.markUnmappable(0xF0000, 0x10000);
    MappingArena arena;
    EXPECT_EQ(arena.map(memory, 0xE0000, 0), nullptr);
    EXPECT_EQ(arena.map(memory, 0xF0000, 16), nullptr);
    EXPECT_EQ(arena.map(memory, 0xE0000, 0x10001), nullptr); // one byte reaches in
    EXPECT_EQ(arena.map(memory, 0, 0x40000000), nullptr);    // larger than the region
    EXPECT_TRUE(arena.live().empty());
    // The refusals left the first slot free.
    void* mapped = arena.map(memory, 0xE0000, 0x10000);
    EXPECT_EQ(at(mapped), 0x30000000u);
    arena.unmap(mapped, 0x10000);
}

TEST_F(MappingArenaTest, UnmapOfAnythingButALiveMappingThrowsNamingIt)
{
    MappingArena arena;
    void* mapped = arena.map(memory, 0xE0010, 0x40);
    auto expectRefused = [&](void* address, size_t length, const std::string& named) {
        try {
            arena.unmap(address, length);
            ADD_FAILURE() << "unmap of " << named << " was accepted";
        } catch (const std::logic_error& error) {
            EXPECT_NE(std::string(error.what()).find(named), std::string::npos) << error.what();
        }
    };
    expectRefused(static_cast<uint8_t*>(mapped) - 0x10, 0x40, "0x30000000 64");
    expectRefused(mapped, 0x41, "0x30000010 65");
    EXPECT_EQ(arena.live().size(), 1u);
    arena.unmap(mapped, 0x40);
    expectRefused(mapped, 0x40, "0x30000010 64"); // twice
}

TEST_F(MappingArenaTest, LiveListsWhatIsMapped)
{
    MappingArena arena;
    void* mapped = arena.map(memory, 0xE0123, 77);
    const auto live = arena.live();
    ASSERT_EQ(live.size(), 1u);
    EXPECT_EQ(live[0].physical, 0xE0123u);
    EXPECT_EQ(live[0].length, 77u);
    EXPECT_EQ(live[0].virtualAddress, at(mapped));
    arena.unmap(mapped, 77);
    EXPECT_TRUE(arena.live().empty());
}

TEST_F(MappingArenaTest, TwoLiveArenasGetDisjointRegions)
{
    MappingArena first;
    MappingArena second;
    void* a = first.map(memory, 0xE0000, 0x1000);
    void* b = second.map(memory, 0xE0000, 0x1000);
    ASSERT_NE(b, nullptr);
    EXPECT_NE(at(a), at(b));
    EXPECT_LT(at(b), 0x7fff8000u);
    first.unmap(a, 0x1000);
    second.unmap(b, 0x1000);
}

using MappingArenaDeathTest = MappingArenaTest;

// Reads through a volatile pointer so the compiler keeps them.
uint8_t touch(const void* address)
{
    return *static_cast<const volatile uint8_t*>(address);
}

TEST_F(MappingArenaDeathTest, ReadPastTheMappedPageFaults)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    MappingArena arena;
    auto* mapped = static_cast<uint8_t*>(arena.map(memory, 0xE0000, 0x1000));
    ASSERT_NE(mapped, nullptr);
    EXPECT_EQ(touch(mapped + 0xFFF), 0xFF); // the last mapped byte reads
    EXPECT_FAULT(touch(mapped + 0x1000));
    arena.unmap(mapped, 0x1000);
}

TEST_F(MappingArenaDeathTest, ReadBeforeTheFirstPageFaults)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    MappingArena arena;
    auto* mapped = static_cast<uint8_t*>(arena.map(memory, 0xE0010, 0x20));
    ASSERT_NE(mapped, nullptr);
    EXPECT_FAULT(touch(mapped - 0x11));
    arena.unmap(mapped, 0x20);
}

TEST_F(MappingArenaDeathTest, MappingIsReadOnly)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    MappingArena arena;
    auto* mapped = static_cast<volatile uint8_t*>(arena.map(memory, 0xE0000, 16));
    ASSERT_NE(mapped, nullptr);
    EXPECT_FAULT(mapped[0] = 1);
    arena.unmap(const_cast<uint8_t*>(mapped), 16);
}

TEST_F(MappingArenaDeathTest, ReadThroughAStalePointerFaults)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    MappingArena arena;
    void* keep = arena.map(memory, 0xE0000, 16); // keeps the region reserved
    auto* mapped = static_cast<uint8_t*>(arena.map(memory, 0xE8000, 16));
    arena.unmap(mapped, 16);
    EXPECT_FAULT(touch(mapped));
    arena.unmap(keep, 16);
}

#if defined(SIM_TEST_ASAN)
TEST_F(MappingArenaTest, BytesOfTheMappedPagesOutsideTheRangeArePoisoned)
{
    MappingArena arena;
    auto* mapped = static_cast<uint8_t*>(arena.map(memory, 0xE0100, 0x10));
    ASSERT_NE(mapped, nullptr);
    EXPECT_FALSE(__asan_address_is_poisoned(mapped));
    EXPECT_FALSE(__asan_address_is_poisoned(mapped + 0xF));
    EXPECT_TRUE(__asan_address_is_poisoned(mapped + 0x10));
    EXPECT_TRUE(__asan_address_is_poisoned(mapped - 0x100));
    arena.unmap(mapped, 0x10);
}

TEST_F(MappingArenaDeathTest, ReadPastTheRangeInsideItsPageIsReported)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    MappingArena arena;
    auto* mapped = static_cast<uint8_t*>(arena.map(memory, 0xE0100, 0x10));
    ASSERT_NE(mapped, nullptr);
    EXPECT_DEATH(touch(mapped + 0x10), "use-after-poison");
    arena.unmap(mapped, 0x10);
}
#endif

} // namespace
