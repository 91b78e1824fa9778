// SPDX-License-Identifier: MIT
// test_driver.h
//
// A small driver for the platform tests, linked into the test program and
// loaded with IoManager::loadDriver(entry): a device "\Device\PlatformTest"
// with the link "\DosDevices\PlatformTest", whose device control routine the
// test supplies, and a record of what reached the driver.
#pragma once

#include "platform/host-nt/nt_host.h"

#include <atomic>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace testdriver {

inline const wchar_t* const kDeviceName = L"\\Device\\PlatformTest";
inline const wchar_t* const kLinkName = L"\\DosDevices\\PlatformTest";

// Builds a device control code of the standard layout.
constexpr ULONG code(ULONG function, ULONG access)
{
    return CTL_CODE(0x9C41u, function, METHOD_BUFFERED, access);
}

struct Settings {
    bool serveCreateClose = true;
    bool serveDeviceControl = true;
    bool exclusive = false;
    // Runs for every device control; the default completes with success and
    // Information 0.
    std::function<NTSTATUS(PDEVICE_OBJECT, PIRP)> deviceControl;
};

struct Record {
    std::atomic<int> creates{0};
    std::atomic<int> closes{0};
    std::atomic<int> deviceControls{0};
    std::atomic<int> unloads{0};
    std::atomic<int> closesAtUnload{-1}; // closes seen when DriverUnload last ran
    PDRIVER_OBJECT driverObject = nullptr;
    PDEVICE_OBJECT deviceObject = nullptr;
};

Settings& settings();
Record& record();

// Completes a request with the status and byte count, returning the status.
NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information);

NTSTATUS NTAPI Entry(PDRIVER_OBJECT driverObject, PUNICODE_STRING registryPath);

// Loads the test driver before each test and unloads it after, with the
// kernel's faults cleared and anything an unload left behind discarded.
class DriverTest : public testing::Test {
  protected:
    void SetUp() override;
    void TearDown() override;
    // Loads the driver with the settings as the test has changed them.
    void reload();

    nt::IoManager& io = nt::IoManager::instance();
};

} // namespace testdriver
