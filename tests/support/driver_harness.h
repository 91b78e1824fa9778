// SPDX-License-Identifier: MIT
// driver_harness.h
//
// Test support for suites that talk to the real driver image: installs a
// simulated notebook, loads build/lib/zephr.so through the host NT layer,
// opens the device through the Win32 layer and sends device control
// requests, all released again when the objects go.
#pragma once

#include "common/zephr_ioctl.h"
#include "platform/host-nt/nt_host.h"
#include "sim/machine.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace zephr_test {

// A simulated notebook with the driver loaded on it, for one test.
class LoadedDriver {
  public:
    explicit LoadedDriver(std::shared_ptr<sim::Machine> machine = nullptr,
                          const nt::Faults& faults = {});
    ~LoadedDriver();
    LoadedDriver(const LoadedDriver&) = delete;
    LoadedDriver& operator=(const LoadedDriver&) = delete;

    NTSTATUS loadStatus() const
    {
        return loadStatus_;
    }
    sim::Machine& machine()
    {
        return *machine_;
    }
    // Unloads now (the destructor then does nothing more).
    void unload();

  private:
    std::shared_ptr<sim::Machine> machine_;
    NTSTATUS loadStatus_ = STATUS_UNSUCCESSFUL;
    bool loaded_ = false;
};

// What one DeviceIoControl gave.
struct Reply {
    bool ok = false;
    DWORD error = 0;
    DWORD bytes = 0;
    std::vector<uint8_t> output; // the caller's whole output buffer afterwards
    uint32_t word() const;       // the 32-bit answer at offset 0
    std::string text() const;    // the NUL-terminated text at offset 0
};

// An open handle on "\\.\ZephrDev".
class Device {
  public:
    explicit Device(DWORD access = GENERIC_WRITE);
    ~Device();
    Device(const Device&) = delete;
    Device& operator=(const Device&) = delete;

    bool open() const
    {
        return handle_ != INVALID_HANDLE_VALUE;
    }
    DWORD openError() const
    {
        return openError_;
    }
    HANDLE handle() const
    {
        return handle_;
    }

    // Sends a request; the caller's output buffer starts filled with 0xEE so
    // that what the driver did not give back shows.
    Reply ioctl(DWORD code, const std::vector<uint8_t>& input, DWORD outputLength) const;
    // A request with the two 16-bit words as input (4 bytes) and the code's
    // minimum output (4 bytes for a code outside the table).
    Reply words(DWORD code, uint16_t word0, uint16_t word1 = 0) const;

  private:
    HANDLE handle_ = INVALID_HANDLE_VALUE;
    DWORD openError_ = 0;
};

// The folder of a fixture firmware image.
std::string fixtureImage(const std::string& name);

} // namespace zephr_test
