// SPDX-License-Identifier: MIT
// kernel_routines_test.cpp
//
// The kernel routines that need no driver: counted strings, DbgPrint and its
// sinks, MmMapIoSpace on the simulated notebook, kernel mutexes, and the
// NT status to Win32 error mapping.
#include "platform/host-nt/nt_host.h"
#include "sim/machine.h"

#include <cstring>
#include <gtest/gtest.h>
#include <thread>

namespace {

TEST(RtlInitUnicodeString, CountsBytesWithoutAndWithTheTerminator)
{
    UNICODE_STRING text;
    const WCHAR* name = L"\\Device\\Zephr";
    RtlInitUnicodeString(&text, name);
    EXPECT_EQ(text.Buffer, name);
    EXPECT_EQ(text.Length, 13 * sizeof(WCHAR));
    EXPECT_EQ(text.MaximumLength, 14 * sizeof(WCHAR));

    RtlInitUnicodeString(&text, nullptr);
    EXPECT_EQ(text.Buffer, nullptr);
    EXPECT_EQ(text.Length, 0);
    EXPECT_EQ(text.MaximumLength, 0);

    std::wstring huge(40000, L'x');
    RtlInitUnicodeString(&text, huge.c_str());
    EXPECT_LE(text.Length + sizeof(WCHAR), 0xFFFFu) << "the count fits its 16 bits";
    EXPECT_EQ(text.Length % sizeof(WCHAR), 0u);
}

class DebugOutput : public testing::Test {
  protected:
    void TearDown() override
    {
        nt::IoManager::instance().setDebugSink(nullptr);
        sim::installMachine(nullptr);
    }
};

TEST_F(DebugOutput, MessagesAreFormattedAndLoseOneTrailingNewline)
{
    std::vector<std::string> messages;
    nt::IoManager::instance().setDebugSink([&](const std::string& m) { messages.push_back(m); });
    DbgPrint("Zephr: %s %d %u %08x\n", "fan", -3, 7u, 0xBEEFu);
    DbgPrint("no newline");
    DbgPrint("two\n\n");
    ASSERT_EQ(messages.size(), 3u);
    EXPECT_EQ(messages[0], "Zephr: fan -3 7 0000beef");
    EXPECT_EQ(messages[1], "no newline");
    EXPECT_EQ(messages[2], "two\n");
}

TEST_F(DebugOutput, ByDefaultMessagesGoToTheMachinesTrace)
{
    DbgPrint("Zephr: nobody listens\n"); // no machine installed: nowhere, and no harm
    auto machine = std::make_shared<sim::Machine>();
    sim::installMachine(machine);
    DbgPrint("Zephr: Open / Close\n");
    EXPECT_EQ(machine->trace.lines(), std::vector<std::string>{"dbg Zephr: Open / Close"});
}

TEST(MmMapIoSpace, MapsTheInstalledMachinesMemoryOrNothing)
{
    PHYSICAL_ADDRESS base;
    base.QuadPart = 0xE0000;
    sim::installMachine(nullptr);
    EXPECT_EQ(MmMapIoSpace(base, 16, MmNonCached), nullptr);

    auto machine = std::make_shared<sim::Machine>();
    machine->memory.load(0xE0000, {'_', 'S', 'M', '_'});
    sim::installMachine(machine);
    void* window = MmMapIoSpace(base, 16, MmNonCached);
    ASSERT_NE(window, nullptr);
    EXPECT_EQ(std::memcmp(window, "_SM_", 4), 0);
    EXPECT_EQ(machine->liveMappings().size(), 1u);
    MmUnmapIoSpace(window, 16);
    EXPECT_TRUE(machine->liveMappings().empty());
    EXPECT_EQ(machine->trace.linesStartingWith("unmap").size(), 1u);
    sim::installMachine(nullptr);
}

TEST(KernelMutex, ItsOwnerMayWaitAgainAndOthersWaitForIt)
{
    KMUTEX mutex;
    KeInitializeMutex(&mutex, 0);
    ASSERT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);
    ASSERT_EQ(KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, nullptr), STATUS_SUCCESS);

    auto tryFromAnotherThread = [&] {
        NTSTATUS status = STATUS_UNSUCCESSFUL;
        std::thread other([&] {
            LARGE_INTEGER now;
            now.QuadPart = 0;
            status = KeWaitForSingleObject(&mutex, Executive, KernelMode, FALSE, &now);
            if (status == STATUS_SUCCESS)
                KeReleaseMutex(&mutex, FALSE);
        });
        other.join();
        return status;
    };
    EXPECT_EQ(tryFromAnotherThread(), 0x102) << "STATUS_TIMEOUT while held";
    KeReleaseMutex(&mutex, FALSE);
    EXPECT_EQ(tryFromAnotherThread(), 0x102) << "held once more after one release";
    KeReleaseMutex(&mutex, FALSE);
    EXPECT_EQ(tryFromAnotherThread(), STATUS_SUCCESS);
}

TEST(NtStatusToWin32Error, MapsTheStatusesThisSystemMeets)
{
    const std::pair<uint32_t, uint32_t> table[] = {
        {0x00000000, 0},   {0xC000000D, 87}, {0xC0000023, 122}, {0xC0000022, 5},   {0xC0000010, 1},
        {0xC0000034, 2},   {0xC0000008, 6},  {0xC000009A, 8},   {0xC0000035, 183}, {0xC00000C0, 55},
        {0xC0000005, 998}, {0xC0000001, 31}, {0xC0001234, 317}, {0x40000000, 317}};
    for (auto [status, error] : table)
        EXPECT_EQ(nt::NtStatusToWin32Error(static_cast<NTSTATUS>(status)), error)
            << std::hex << status;
}

} // namespace
