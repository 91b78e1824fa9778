// SPDX-License-Identifier: MIT
// fan_control_lock_windows.cpp
//
// The named mutex that lets one fan-control run, and the shared memory that
// names its process.
#include "tools/zephrctl/fan_control_lock.h"

#include "tools/zephrctl/commands.h"

#include <windows.h>

#include <string>

namespace zephrctl {

namespace {

constexpr const char* kMutexName = "Global\\zephr-fan-control";
constexpr const char* kPidName = "Global\\zephr-fan-control-pid";

// Closes a handle when it goes.
struct Handle {
    HANDLE value = nullptr;
    Handle() = default;
    explicit Handle(HANDLE handle) : value(handle) {}
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    ~Handle()
    {
        if (value != nullptr)
            CloseHandle(value);
    }
};

// The holder's process ID as it wrote it; 0 when it cannot be read.
DWORD holderProcessId()
{
    Handle mapping(OpenFileMappingA(FILE_MAP_READ, FALSE, kPidName));
    if (mapping.value == nullptr)
        return 0;
    const void* view = MapViewOfFile(mapping.value, FILE_MAP_READ, 0, 0, sizeof(DWORD));
    if (view == nullptr)
        return 0;
    const DWORD pid = *static_cast<const volatile DWORD*>(view);
    UnmapViewOfFile(view);
    return pid;
}

} // namespace

struct FanControlLock::State {
    Handle mutex;
    Handle pidMapping;
};

FanControlLock::FanControlLock() : state_(std::make_unique<State>())
{
    state_->mutex.value = CreateMutexA(nullptr, FALSE, kMutexName);
    if (state_->mutex.value == nullptr)
        throw CommandError("fan-control: the lock " + std::string(kMutexName) +
                               " cannot be made (error " + std::to_string(GetLastError()) +
                               "); is a fan-control of another user running?",
                           kExitRefused);
    // WAIT_ABANDONED: the last holder ended without letting go; the lock
    // is ours all the same.
    const DWORD taken = WaitForSingleObject(state_->mutex.value, 0);
    if (taken != WAIT_OBJECT_0 && taken != WAIT_ABANDONED) {
        const DWORD holder = holderProcessId();
        throw CommandError(
            "fan-control: " +
                (holder != 0 ? "another fan-control runs (process " + std::to_string(holder) + ")"
                             : std::string("another fan-control runs")) +
                "; only one may set the fans (stop it first)",
            kExitRefused);
    }
    // Who holds it, for the next one to say. Without it (no right to make
    // a global object) the next one says "another fan-control".
    state_->pidMapping.value = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                                  sizeof(DWORD), kPidName);
    if (state_->pidMapping.value != nullptr) {
        if (void* view =
                MapViewOfFile(state_->pidMapping.value, FILE_MAP_WRITE, 0, 0, sizeof(DWORD))) {
            *static_cast<volatile DWORD*>(view) = GetCurrentProcessId();
            UnmapViewOfFile(view);
        }
    }
}

FanControlLock::~FanControlLock()
{
    if (state_ && state_->mutex.value != nullptr)
        ReleaseMutex(state_->mutex.value);
}

} // namespace zephrctl
