// SPDX-License-Identifier: MIT
// user_heap_test.cpp
//
// The emulated plug-in's heap, as rows of allocations and frees: every block
// handed out is aligned, inside the region and overlaps no live block; a
// free of anything but a live block is refused; freed neighbours join.
#include "platform/emulated-image/user_heap.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

namespace {

using emulated::UserHeap;

constexpr uint32_t kBase = 0x7C000000;

struct Step {
    enum Kind { Allocate, Release, ReleaseAddress } kind;
    // Allocate: bytes; Release: the index of the step whose block to free;
    // ReleaseAddress: an address.
    uint32_t value;
    bool succeeds;
};

struct HeapRow {
    std::string name;
    uint32_t regionBytes;
    std::vector<Step> steps;
};

void PrintTo(const HeapRow& row, std::ostream* out)
{
    *out << row.name;
}

const std::vector<HeapRow> kRows = {
    {"BlocksOfSeveralSizes",
     4096,
     {{Step::Allocate, 1, true},
      {Step::Allocate, 16, true},
      {Step::Allocate, 17, true},
      {Step::Allocate, 1000, true}}},
    {"ZeroBytesMakeDistinctBlocks", 4096, {{Step::Allocate, 0, true}, {Step::Allocate, 0, true}}},
    {"FreeTwiceIsRefused",
     4096,
     {{Step::Allocate, 32, true}, {Step::Release, 0, true}, {Step::Release, 0, false}}},
    {"FreeOfNoBlockIsRefused",
     4096,
     {{Step::Allocate, 32, true},
      {Step::ReleaseAddress, kBase + 16, false},
      {Step::ReleaseAddress, 0xDEADBEEF, false},
      {Step::Release, 0, true}}},
    {"ExhaustedThenFreed",
     64,
     {{Step::Allocate, 64, true},
      {Step::Allocate, 1, false},
      {Step::Release, 0, true},
      {Step::Allocate, 48, true},
      {Step::Allocate, 16, true},
      {Step::Allocate, 1, false}}},
    {"FreedNeighboursJoin",
     96,
     {{Step::Allocate, 32, true},
      {Step::Allocate, 32, true},
      {Step::Allocate, 32, true},
      {Step::Release, 1, true},
      {Step::Allocate, 64, false},
      {Step::Release, 0, true},
      {Step::Allocate, 64, true},
      {Step::Release, 2, true},
      {Step::Release, 6, true},
      {Step::Allocate, 96, true}}},
    {"LargerThanTheRegion",
     4096,
     {{Step::Allocate, 4097, false},
      {Step::Allocate, 0xFFFFFFFF, false},
      {Step::Allocate, 4096, true}}},
};

class UserHeapRows : public ::testing::TestWithParam<HeapRow> {};

TEST_P(UserHeapRows, NoOverlapAndOnlyLiveBlocksFreed)
{
    const HeapRow& row = GetParam();
    UserHeap heap(kBase, row.regionBytes);
    std::map<size_t, uint32_t> given;  // step -> block
    std::map<uint32_t, uint32_t> live; // block -> bytes asked
    for (size_t i = 0; i < row.steps.size(); ++i) {
        const Step& step = row.steps[i];
        SCOPED_TRACE("step " + std::to_string(i));
        if (step.kind == Step::Allocate) {
            const auto block = heap.allocate(step.value);
            ASSERT_EQ(block.has_value(), step.succeeds);
            if (!block)
                continue;
            const uint32_t bytes = std::max<uint32_t>(step.value, 1);
            EXPECT_EQ(*block % UserHeap::kAlignment, 0u);
            EXPECT_GE(*block, kBase);
            EXPECT_LE(uint64_t(*block) + bytes, uint64_t(kBase) + row.regionBytes);
            for (const auto& [other, otherBytes] : live)
                EXPECT_TRUE(*block + bytes <= other || other + otherBytes <= *block)
                    << std::hex << *block << " overlaps the live block at " << other;
            given[i] = *block;
            live[*block] = bytes;
        } else {
            const uint32_t address = step.kind == Step::Release ? given.at(step.value) : step.value;
            EXPECT_EQ(heap.release(address), step.succeeds);
            if (step.succeeds)
                live.erase(address);
        }
        EXPECT_EQ(heap.liveBlocks(), live.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, UserHeapRows, ::testing::ValuesIn(kRows),
                         [](const auto& info) { return info.param.name; });

} // namespace
