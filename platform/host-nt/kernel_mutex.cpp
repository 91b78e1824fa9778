// SPDX-License-Identifier: MIT
// kernel_mutex.cpp
//
// Kernel mutexes: KeInitializeMutex, KeWaitForSingleObject on a KMUTEX, and
// KeReleaseMutex. A KMUTEX is a recursive mutex, so its owner may wait on it
// again, as on Windows.
#include <ntddk.h>

#include <chrono>
#include <thread>

namespace {

constexpr NTSTATUS kStatusTimeout = static_cast<NTSTATUS>(0x00000102L);

// 100 ns intervals from 1601-01-01 to 1970-01-01.
constexpr LONGLONG kUnixEpochTicks = 116444736000000000LL;

// A negative timeout is relative, in 100 ns units; a positive one is an
// absolute system time in the same units.
std::chrono::steady_clock::time_point deadlineOf(const LARGE_INTEGER& timeout)
{
    using Ticks = std::chrono::duration<LONGLONG, std::ratio<1, 10'000'000>>;
    auto now = std::chrono::steady_clock::now();
    if (timeout.QuadPart <= 0)
        return now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                         Ticks(-timeout.QuadPart));
    auto systemNow =
        std::chrono::duration_cast<Ticks>(std::chrono::system_clock::now().time_since_epoch())
            .count() +
        kUnixEpochTicks;
    LONGLONG remaining = timeout.QuadPart > systemNow ? timeout.QuadPart - systemNow : 0;
    return now + std::chrono::duration_cast<std::chrono::steady_clock::duration>(Ticks(remaining));
}

} // namespace

extern "C" VOID NTAPI KeInitializeMutex(PRKMUTEX Mutex, ULONG Level)
{
    // The mutex was made free along with the object that holds it (a driver
    // global or a local); there is nothing left to set up.
    (void)Mutex;
    (void)Level;
}

extern "C" NTSTATUS NTAPI KeWaitForSingleObject(PVOID Object, KWAIT_REASON WaitReason,
                                                KPROCESSOR_MODE WaitMode, BOOLEAN Alertable,
                                                PLARGE_INTEGER Timeout)
{
    (void)WaitReason;
    (void)WaitMode;
    (void)Alertable;
    auto* mutex = static_cast<PRKMUTEX>(Object);
    if (Timeout == nullptr) {
        mutex->Lock.lock();
        return STATUS_SUCCESS;
    }
    auto deadline = deadlineOf(*Timeout);
    while (!mutex->Lock.try_lock()) {
        if (std::chrono::steady_clock::now() >= deadline)
            return kStatusTimeout;
        std::this_thread::yield();
    }
    return STATUS_SUCCESS;
}

extern "C" LONG NTAPI KeReleaseMutex(PRKMUTEX Mutex, BOOLEAN Wait)
{
    (void)Wait;
    Mutex->Lock.unlock();
    return 0;
}
