// SPDX-License-Identifier: MIT
// superio_concurrency_test.cpp
//
// Super I/O requests from several threads at once, each on its own handle,
// starting before anything is detected: the chip sees no interleaved index
// and data access, every set is verified, and every get answers a duty. The
// chip does catch unserialized threads (tests/sim/superio), so this suite
// fails if a detection, a pair or a set's write and read-back is split.
#include "superio_notebook.h"
#include "support/driver_harness.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <thread>
#include <vector>

using zephr_test::Device;
using zephr_test::LoadedDriver;
using zephr_test::notebookWithChip;

namespace {

constexpr int kThreads = 4;
constexpr int kRounds = 500;

TEST(SuperIoConcurrency, ConcurrentRequestsNeverInterleaveTheirPortAccesses)
{
    auto notebook = notebookWithChip();
    notebook.machine->trace.setKeep(false);
    LoadedDriver driver(notebook.machine);
    ASSERT_EQ(driver.loadStatus(), STATUS_SUCCESS);

    std::latch ready(kThreads); // all handles open before the first request
    std::atomic<int> failedSets{0}, badGets{0}, failedDetects{0}, refused{0};
    auto client = [&](int number) {
        Device device;
        ready.arrive_and_wait();
        if (!device.open()) {
            ++refused;
            return;
        }
        for (int round = 0; round < kRounds; ++round) {
            const uint16_t fan = uint16_t((number + round) % 2);
            const uint16_t duty = uint16_t((number * 17 + round) % 64);
            auto set = device.words(IOCTL_ZEPHR_SET_PWM, fan, duty);
            auto get = device.words(IOCTL_ZEPHR_GET_PWM, fan);
            if (!set.ok || !get.ok) {
                ++refused;
                continue;
            }
            if (set.word() != ZEPHR_SIO_TRUE)
                ++failedSets;
            if (get.word() > 63)
                ++badGets;
            if (round % 10 == number) {
                auto found = device.ioctl(IOCTL_ZEPHR_DETECT_SUPERIO, {}, ZEPHR_ANSWER_LENGTH);
                if (!found.ok || found.word() != ZEPHR_SIO_TRUE)
                    ++failedDetects;
            }
        }
    };
    std::vector<std::thread> threads;
    for (int number = 0; number < kThreads; ++number)
        threads.emplace_back(client, number);
    for (auto& thread : threads)
        thread.join();

    EXPECT_EQ(notebook.chip->interleavedAccesses(), 0u);
    EXPECT_EQ(refused.load(), 0);
    EXPECT_EQ(failedSets.load(), 0) << "another request came between a write and its read-back";
    EXPECT_EQ(badGets.load(), 0);
    EXPECT_EQ(failedDetects.load(), 0);
}

} // namespace
