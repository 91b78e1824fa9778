// SPDX-License-Identifier: MIT
// superio_interleave_test.cpp
//
// The chip's count of interleaved accesses: whole index-and-data sequences
// leave it at zero, an index (or a key) that comes before the previous
// index's data access counts, and two threads that drive the chip without a
// lock of their own are caught, although the machine serializes each single
// port access.
#include "sim/superio_chip.h"

#include <gtest/gtest.h>

#include <atomic>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <thread>

namespace {

using sim::SuperIoChip;

constexpr uint16_t kBase = 0x0680;

class Interleave : public testing::Test {
  protected:
    Interleave() : chip(std::make_shared<SuperIoChip>(sim::SuperIoSettings{}))
    {
        machine.attach(chip);
    }

    // What the driver's probe and detection do at 0x2E, in one piece.
    void wholeDetection()
    {
        machine.portOut(0x2E, 0xAA);
        machine.portIn(0x2E);
        machine.portIn(0x2F);
        machine.portOut(0x2E, 0x55);
        machine.portOut(0x2E, 0x55);
        machine.portIn(0x2E);
        for (uint8_t index : {0x20, 0x21}) {
            machine.portOut(0x2E, index);
            machine.portIn(0x2E);
            machine.portIn(0x2F);
        }
        machine.portOut(0x2E, 0x07);
        machine.portOut(0x2F, 0x09);
        for (uint8_t index : {0x60, 0x61}) {
            machine.portOut(0x2E, index);
            machine.portIn(0x2F);
        }
    }
    // What a duty set does: write, then read back.
    void wholeSet(uint8_t index, uint8_t value)
    {
        machine.portOut(kBase, index);
        machine.portOut(kBase + 1, value);
        machine.portOut(kBase, index);
        machine.portIn(kBase + 1);
    }

    sim::Machine machine;
    std::shared_ptr<SuperIoChip> chip;
};

TEST_F(Interleave, WholeSequencesCountNothing)
{
    wholeDetection();
    wholeDetection(); // the second one starts in configuration mode
    wholeSet(0x92, 0x80);
    wholeSet(0x93, 0xFE);
    EXPECT_EQ(chip->interleavedAccesses(), 0u);
}

TEST_F(Interleave, AnIndexBeforeTheDataAccessCountsOnEitherPair)
{
    machine.portOut(0x2E, 0x55);
    machine.portOut(0x2E, 0x20);
    machine.portOut(0x2E, 0x21);
    EXPECT_EQ(chip->interleavedAccesses(), 1u);
    machine.portIn(0x2E); // reading the index back is not the data access
    machine.portOut(0x2E, 0xAA);
    EXPECT_EQ(chip->interleavedAccesses(), 2u) << "a key in the middle disturbs the access too";

    machine.portOut(kBase, 0x92);
    machine.portOut(kBase, 0x93);
    EXPECT_EQ(chip->interleavedAccesses(), 3u);
    machine.portIn(kBase + 1);
    machine.portOut(kBase, 0x92);
    EXPECT_EQ(chip->interleavedAccesses(), 3u);
}

// Two threads, each running whole get sequences, made to take turns between
// an index write and its data read: the chip sees the other's index first.
TEST_F(Interleave, TwoThreadsTakingTurnsMidSequenceAreSeen)
{
    std::mutex turnLock;
    std::condition_variable turnChanged;
    int turn = 0; // 0: first thread's index, 1: second's index, 2: both read
    auto waitFor = [&](int wanted) {
        std::unique_lock guard(turnLock);
        turnChanged.wait(guard, [&] { return turn >= wanted; });
    };
    auto pass = [&](int next) {
        {
            std::lock_guard guard(turnLock);
            turn = next;
        }
        turnChanged.notify_all();
    };
    std::thread first([&] {
        machine.portOut(kBase, 0x92);
        pass(1);
        waitFor(2);
        machine.portIn(kBase + 1);
    });
    std::thread second([&] {
        waitFor(1);
        machine.portOut(kBase, 0x93);
        machine.portIn(kBase + 1);
        pass(2);
    });
    first.join();
    second.join();
    EXPECT_EQ(chip->interleavedAccesses(), 1u);
}

// Without turns forced, two threads running the same sequences with nothing
// but the machine's per-access lock between them soon interleave; this is
// what the driver's lock has to prevent.
TEST_F(Interleave, UnserializedThreadsInterleaveOnTheirOwn)
{
    machine.trace.setKeep(false);
    std::atomic<bool> seen{false};
    auto run = [&](uint8_t index) {
        for (int i = 0; i < 200000 && !seen; ++i) {
            machine.portOut(kBase, index);
            std::this_thread::yield();
            machine.portIn(kBase + 1);
            if (chip->interleavedAccesses() != 0)
                seen = true;
        }
    };
    std::thread first(run, 0x92);
    std::thread second(run, 0x93);
    first.join();
    second.join();
    EXPECT_GT(chip->interleavedAccesses(), 0u);
}

} // namespace
