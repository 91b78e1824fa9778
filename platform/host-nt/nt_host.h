// SPDX-License-Identifier: MIT
// nt_host.h
//
// The host NT layer's own interface: the I/O manager that loads the zephr
// driver, keeps the object name space (devices and symbolic links), and
// delivers open, close and device control requests to the driver's dispatch
// routines with buffered transfer, as Windows does. The Win32 layer, the
// tools and the tests use it; the driver never sees it.
#pragma once

#include <ntddk.h>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace nt {

using DriverEntryRoutine = NTSTATUS (*)(PDRIVER_OBJECT, PUNICODE_STRING);

// Results the kernel routines give instead of their normal ones, so tests can
// walk the failure paths of the driver's load and unload routines.
struct Faults {
    NTSTATUS createDevice = STATUS_SUCCESS; // IoCreateDevice
    NTSTATUS createLink = STATUS_SUCCESS;   // IoCreateSymbolicLink
    NTSTATUS deleteLink = STATUS_SUCCESS;   // IoDeleteSymbolicLink
    // Runs DriverUnload at once although handles to the driver's devices are
    // still open, so that requests on them reach a driver after its unload
    // (Windows never does this; it lets tests show the driver copes).
    bool unloadWithHandlesOpen = false;
};

// Access rights a handle may be granted (the FILE_*_DATA bits).
constexpr ACCESS_MASK kFileReadData = 0x0001;
constexpr ACCESS_MASK kFileWriteData = 0x0002;

// Byte the I/O manager fills a fresh system buffer with past the input, so a
// driver that returns bytes it never wrote is seen at once.
constexpr uint8_t kStaleByte = 0xCD;

class FileObject; // one open handle to a device

// One device control request as a caller sent it and what it got back.
struct DeviceControlRecord {
    ULONG code = 0;
    std::vector<uint8_t> input;
    ULONG outputLength = 0;
    NTSTATUS status = 0;
    std::vector<uint8_t> output; // the bytes copied back to the caller
};

class IoManager {
  public:
    static IoManager& instance();

    // Loads a driver image (a shared object exporting DriverEntry) and runs
    // its DriverEntry. Gives the status DriverEntry returned; on failure the
    // image is released again. Each load runs on fresh globals: while an
    // earlier load of the same file is still in memory (a device or handle of
    // it is left), a private copy of the file is loaded. Throws std::runtime_error naming the image
    // when it cannot be loaded at all.
    NTSTATUS loadDriver(const std::string& imagePath);
    // Runs a DriverEntry linked into the calling program (unit tests).
    NTSTATUS loadDriver(DriverEntryRoutine entry);
    // Loads a driver whose code this process does not run natively (an image
    // under a CPU emulator): entry stands in for its DriverEntry and sets the
    // driver object's routines to ones that carry each call over. owner (the
    // emulated image) lives as long as the driver's record, device objects
    // included.
    using HostedEntry = std::function<NTSTATUS(PDRIVER_OBJECT, PUNICODE_STRING)>;
    NTSTATUS loadHostedDriver(const std::string& imageName, HostedEntry entry,
                              std::shared_ptr<void> owner);
    // Unloads the driver as Windows does: from now on no device of the driver
    // opens (STATUS_NO_SUCH_DEVICE) and the driver no longer counts as loaded;
    // DriverUnload runs at once when no handle to its devices is open, else
    // when the last one closes (after its IRP_MJ_CLOSE), so it never runs
    // while a request is in the driver. The image goes with the last device.
    void unloadDriver();
    bool driverLoaded() const;

    // The image path of the production driver in the host build
    // (build/lib/zephr.so beside the platform library, or in the lib folder
    // beside the bin folder of a program that carries the platform itself).
    static std::string defaultDriverPath();

    void setFaults(const Faults& faults);

    // Opens a device by NT path, such as "\DosDevices\ZephrDev" or
    // "\Device\Zephr"; links are followed. Sends IRP_MJ_CREATE.
    NTSTATUS open(const std::wstring& ntPath, ACCESS_MASK granted,
                  std::shared_ptr<FileObject>& file);
    // Sends IRP_MJ_CLOSE.
    NTSTATUS close(const std::shared_ptr<FileObject>& file);
    // Sends IRP_MJ_DEVICE_CONTROL with buffered transfer. bytesReturned is the
    // Information of a successful request, 0 otherwise; the output is copied
    // back only on success.
    NTSTATUS deviceControl(FileObject& file, ULONG code, const void* input, ULONG inputLength,
                           void* output, ULONG outputLength, ULONG& bytesReturned);

    // Device control requests delivered to a driver since the process began.
    uint64_t deviceControlCount() const;
    // Hears of every device control request when it returns to its caller,
    // refused ones included, on the caller's thread (empty: nobody). For
    // tests that compare the requests two callers send.
    void setDeviceControlObserver(std::function<void(const DeviceControlRecord&)> observer);

    // Where DbgPrint's messages go (each without its trailing newline); by
    // default into the simulated machine's trace.
    void setDebugSink(std::function<void(const std::string&)> sink);

    // Does a name exist in the object name space (devices and links)?
    bool nameExists(const std::wstring& ntPath) const;

    // Removes from the name space the device objects of drivers already
    // unloaded (left behind when the link could not be removed) and every
    // link that then leads nowhere, so the next load finds its names free.
    // Handles still open on such a device answer STATUS_DEVICE_DOES_NOT_EXIST.
    // A host-side clean-up for tests; Windows has no such routine.
    void discardUnloadedDevices();

    struct State;

  private:
    IoManager();
    std::unique_ptr<State> state_;
};

// Windows' mapping of an NT status to a Win32 error code (the subset this
// system meets).
uint32_t NtStatusToWin32Error(NTSTATUS status);

// The name of a request kind in messages: "IRP_MJ_CREATE", ...,
// "major function N" for one this system does not serve.
std::string MajorFunctionName(UCHAR major);

} // namespace nt
