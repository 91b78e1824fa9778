// SPDX-License-Identifier: MIT
// stress_test.cpp
//
// Eight threads of mixed requests (SMM, Super I/O set, get and detect, the
// system information report, the CPU speed and the ACPI report) on a notebook
// with real firmware tables and a Super I/O chip, each thread on its own
// handle; and the driver's unload while they run. The SMM handler here takes
// its time and notes any exchange that starts while another is inside it, and
// the chip counts interleaved index and data accesses, so a lock the driver
// lost shows as a count; every answer and every report is checked whole.
#include "support/driver_harness.h"

#include "sim/superio_chip.h"

#include <gtest/gtest.h>

#include <atomic>
#include <latch>
#include <regex>
#include <thread>
#include <vector>

using zephr_test::Device;
using zephr_test::LoadedDriver;

namespace {

constexpr int kThreads = 8;
constexpr int kRounds = 1000;

// An SMM handler that stays inside for a while and notes overlaps. Its call
// count is a plain counter on purpose: ThreadSanitizer reports two exchanges
// that run at once as a race on it.
struct SlowSmmHandler {
    std::atomic<int> inside{0};
    std::atomic<uint64_t> overlaps{0};
    uint64_t calls = 0;

    void operator()(sim::SmmRegisters& r)
    {
        if (inside.fetch_add(1) != 0)
            ++overlaps;
        ++calls;
        // A while inside, on the processor: a yield would hand it away.
        volatile uint64_t spin = 0;
        for (int i = 0; i < 20000; ++i)
            spin = spin + 1;
        switch (r.ax >> 8) {
        case 0x00: // fan state
            r.ax = 1;
            break;
        case 0x01: // set fan state
            r.ax = 0;
            break;
        case 0x02: // fan speed
            r.ax = uint16_t(100 + r.bx);
            break;
        case 0x10: // temperature
            r.ax = uint16_t(40 + r.bx % 8);
            break;
        default:
            r.ax = 0xFFFF;
        }
        inside.fetch_sub(1);
    }
};

struct StressNotebook {
    std::shared_ptr<sim::Machine> machine = std::make_shared<sim::Machine>();
    std::shared_ptr<sim::SuperIoChip> chip =
        std::make_shared<sim::SuperIoChip>(sim::SuperIoSettings{});
    std::shared_ptr<SlowSmmHandler> smm = std::make_shared<SlowSmmHandler>();

    StressNotebook()
    {
        machine->name = "stress notebook";
        machine->memory.loadImageFolder(zephr_test::fixtureImage("i440fx-inspiron-8600"));
        machine->attach(chip);
        machine->smm.custom = [handler = smm](sim::SmmRegisters& r) { (*handler)(r); };
        machine->trace.setKeep(false);
    }
};

// System addresses differ with the order of mappings; the rest must not.
std::string withoutAddresses(const std::string& text)
{
    static const std::regex address("VA 0x[0-9a-f]{8}");
    return std::regex_replace(text, address, "VA 0x--------");
}

// What the reports say once the driver is gone (the unload left the device).
const char* const kSysInfoAfterUnload = "*** Error: BIOS segment mapping failed ***";

struct Expected {
    std::string sysinfo;
    std::string acpi; // without addresses
    std::string cpuSpeed;
    std::string acpiAfterUnload;
};

Expected referenceReports(const Device& device)
{
    Expected expected;
    expected.sysinfo = device.ioctl(IOCTL_ZEPHR_GET_SYSINFO, {}, ZEPHR_SYSINFO_LENGTH).text();
    expected.acpi = withoutAddresses(
        device.ioctl(IOCTL_ZEPHR_GET_ACPI_REPORT, {}, ZEPHR_ACPI_REPORT_LENGTH).text());
    expected.cpuSpeed = device.ioctl(IOCTL_ZEPHR_GET_CPU_SPEED, {}, ZEPHR_CPU_SPEED_LENGTH).text();
    expected.acpiAfterUnload = "Searching EBDA for signature...\r\nSearching BIOS area for "
                               "signature...\r\n*** Error: BIOS segment mapping failed ***\r\n"
                               "*** ERROR: No ACPI BIOS found ***\r\n";
    return expected;
}

// One request of the mix; false when its answer is not what it must be.
// unloadBegun is read once the answer is in: when the unload had begun by
// then, the answer may be that of an unloaded driver.
bool oneRequest(const Device& device, int thread, int round, const Expected& expected,
                const std::atomic<bool>& unloadBegun)
{
    const uint16_t fan = uint16_t((thread + round) % 2);
    switch ((thread * 7 + round) % 10) {
    case 0: {
        auto reply = device.words(IOCTL_ZEPHR_GET_TEMP, uint16_t(round % 256));
        return reply.ok && reply.bytes == 4 && reply.word() == 40u + (round % 256) % 8;
    }
    case 1: {
        auto reply = device.words(IOCTL_ZEPHR_GET_FAN_SPEED, fan);
        return reply.ok && reply.bytes == 4 && reply.word() == (100u + fan) * 30u;
    }
    case 2: {
        auto set = device.words(IOCTL_ZEPHR_SET_FAN_STATE, fan, 2);
        auto get = device.words(IOCTL_ZEPHR_GET_FAN_STATE, fan);
        return set.ok && set.word() == 0 && get.ok && get.word() == 1;
    }
    case 3:
    case 4: {
        const uint16_t duty = uint16_t((thread * 13 + round) % 64);
        auto set = device.words(IOCTL_ZEPHR_SET_PWM, fan, duty);
        auto get = device.words(IOCTL_ZEPHR_GET_PWM, fan);
        return set.ok && set.word() == ZEPHR_SIO_TRUE && get.ok && get.word() <= 63;
    }
    case 5: {
        auto reply = device.ioctl(IOCTL_ZEPHR_DETECT_SUPERIO, {}, 4);
        return reply.ok && reply.word() == ZEPHR_SIO_TRUE;
    }
    case 6:
    case 7: {
        auto reply = device.ioctl(IOCTL_ZEPHR_GET_SYSINFO, {}, ZEPHR_SYSINFO_LENGTH);
        if (!reply.ok || reply.bytes != ZEPHR_SYSINFO_LENGTH)
            return false;
        std::string text = reply.text();
        return text == expected.sysinfo || (unloadBegun.load() && text == kSysInfoAfterUnload);
    }
    case 8: {
        auto reply = device.ioctl(IOCTL_ZEPHR_GET_CPU_SPEED, {}, ZEPHR_CPU_SPEED_LENGTH);
        if (!reply.ok || reply.bytes != ZEPHR_CPU_SPEED_LENGTH)
            return false;
        std::string text = reply.text();
        return text == expected.cpuSpeed || (unloadBegun.load() && text == "---");
    }
    default: {
        auto reply = device.ioctl(IOCTL_ZEPHR_GET_ACPI_REPORT, {}, ZEPHR_ACPI_REPORT_LENGTH);
        if (!reply.ok || reply.bytes != ZEPHR_ACPI_REPORT_LENGTH)
            return false;
        std::string text = withoutAddresses(reply.text());
        return text == expected.acpi || (unloadBegun.load() && text == expected.acpiAfterUnload);
    }
    }
}

// Runs the mix on kThreads threads; after `unloadAfter` requests in all
// (0: never) the calling thread unloads the driver while they go on.
struct Campaign {
    std::atomic<int> wrong{0};
    std::atomic<int> done{0};

    void run(const Expected& expected, LoadedDriver* unloadDuring, int unloadAfter)
    {
        std::latch ready(kThreads + 1);
        std::atomic<bool> unloaded{false};
        std::vector<std::thread> threads;
        for (int t = 0; t < kThreads; ++t) {
            threads.emplace_back([&, t] {
                Device device;
                ready.arrive_and_wait();
                if (!device.open()) {
                    ++wrong;
                    return;
                }
                for (int round = 0; round < kRounds; ++round) {
                    if (!oneRequest(device, t, round, expected, unloaded))
                        ++wrong;
                    ++done;
                }
            });
        }
        ready.arrive_and_wait();
        if (unloadDuring != nullptr) {
            while (done.load() < unloadAfter)
                std::this_thread::yield();
            unloaded = true;
            unloadDuring->unload();
        }
        for (auto& thread : threads)
            thread.join();
    }
};

TEST(Stress, MixedRequestsFromEightThreadsNeverOverlapInTheHardware)
{
    StressNotebook notebook;
    LoadedDriver driver(notebook.machine);
    ASSERT_EQ(driver.loadStatus(), STATUS_SUCCESS);
    Expected expected = referenceReports(Device());
    ASSERT_NE(expected.acpi.find("Remapping 'APIC'"), std::string::npos) << expected.acpi;

    Campaign campaign;
    campaign.run(expected, nullptr, 0);
    EXPECT_EQ(campaign.wrong.load(), 0) << "of " << campaign.done.load() << " requests";
    EXPECT_EQ(notebook.smm->overlaps.load(), 0u) << "SMI exchanges ran at the same time";
    EXPECT_EQ(notebook.chip->interleavedAccesses(), 0u);
    std::printf("stress: %d requests, %llu SMIs\n", campaign.done.load(),
                static_cast<unsigned long long>(notebook.smm->calls));
}

// As Windows does: the unload waits for the last handle, the open handles
// keep being served, and the unload then releases every mapping once.
TEST(Stress, AnUnloadWhileRequestsRunWaitsForTheirHandles)
{
    StressNotebook notebook;
    LoadedDriver driver(notebook.machine);
    ASSERT_EQ(driver.loadStatus(), STATUS_SUCCESS);
    Expected expected = referenceReports(Device());

    Campaign campaign;
    campaign.run(expected, &driver, kThreads * kRounds / 4);
    EXPECT_EQ(campaign.wrong.load(), 0);
    EXPECT_TRUE(notebook.machine->liveMappings().empty());
    EXPECT_FALSE(Device().open()) << "an unloaded driver's device opened";
}

// A kernel that ran the unload with handles open and left the device (the
// link could not be removed): requests that arrive during and after it get
// whole answers, and nothing they map outlives the unload.
TEST(Stress, RequestsThatReachTheDriverAfterItsUnloadMapNothing)
{
    StressNotebook notebook;
    nt::Faults faults;
    faults.deleteLink = STATUS_ACCESS_DENIED;
    faults.unloadWithHandlesOpen = true;
    LoadedDriver driver(notebook.machine, faults);
    ASSERT_EQ(driver.loadStatus(), STATUS_SUCCESS);
    Expected expected = referenceReports(Device());

    Campaign campaign;
    campaign.run(expected, &driver, kThreads * kRounds / 4);
    EXPECT_EQ(campaign.wrong.load(), 0);
    EXPECT_TRUE(notebook.machine->liveMappings().empty())
        << notebook.machine->liveMappings().size() << " mappings made after the unload";
}

} // namespace
