// SPDX-License-Identifier: MIT
// kernel_state.h
//
// The host NT layer's private records, shared by its kernel routines and the
// I/O manager: driver objects, device objects, file objects, the object name
// space (devices and symbolic links), the requests now in a dispatch routine,
// and the debug sink. Nothing outside platform/host-nt includes this.
#pragma once

#include "platform/host-nt/nt_host.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>

namespace nt {

// One loaded driver. The driver sees only &object. The image stays loaded as
// long as the record lives: the current driver holds it, and so does every
// device object the driver made, because their dispatch pointers lead into it.
struct DriverRecord {
    DRIVER_OBJECT object{};
    std::string imageName;
    void* image = nullptr;        // dlopen handle; null for an entry linked in
    std::shared_ptr<void> hosted; // an image the process does not run natively
    // Guarded by the kernel lock. unloadPending: unloadDriver was called, no
    // device of the driver opens any more; unloadClaimed: someone is running
    // DriverUnload (so it runs once); unloaded: DriverUnload has returned.
    bool unloadPending = false;
    bool unloadClaimed = false;
    bool unloaded = false;
    // Handles open on the driver's devices, deleted ones included: each holds
    // a reference that keeps DriverUnload waiting.
    unsigned openHandles = 0;

    DriverRecord() = default;
    DriverRecord(const DriverRecord&) = delete;
    DriverRecord& operator=(const DriverRecord&) = delete;
    ~DriverRecord(); // releases the image
};

struct DeviceRecord {
    DEVICE_OBJECT object{};
    std::wstring name; // as created; empty for an unnamed device
    std::shared_ptr<DriverRecord> driver;
    std::unique_ptr<uint8_t[]> extension;
    bool exclusive = false;
    // Guarded by the kernel lock.
    bool deleted = false;
    unsigned openHandles = 0;
};

// One open handle to a device. Requests on it are counted so that a close
// waits for them, as Windows sends IRP_MJ_CLOSE only after the last request
// on the file object is done.
class FileObject {
  public:
    FileObject(std::shared_ptr<DeviceRecord> device, ACCESS_MASK granted)
        : device(std::move(device)), granted(granted)
    {
    }

    const std::shared_ptr<DeviceRecord> device;
    const ACCESS_MASK granted;

    std::mutex lock;
    std::condition_variable idle;
    unsigned inFlight = 0;
    bool closing = false;
};

// A request on its way through a dispatch routine: the IRP the driver sees,
// its stack location and the layer's own bookkeeping.
struct IrpBlock {
    IRP irp{};
    IO_STACK_LOCATION stack{};
    std::atomic<unsigned> completions{0};
};

struct Kernel {
    // Guards the name space, the driver table and the faults. Never held
    // while a driver routine runs. Recursive because a record released under
    // it may release a driver image, whose destructors may call back.
    std::recursive_mutex lock;
    std::map<std::wstring, std::shared_ptr<DeviceRecord>> devices;         // folded name
    std::map<std::wstring, std::wstring> links;                            // folded name -> target
    std::map<PDEVICE_OBJECT, std::shared_ptr<DeviceRecord>> deviceObjects; // live ones
    std::map<PDRIVER_OBJECT, std::weak_ptr<DriverRecord>> drivers;
    std::shared_ptr<DriverRecord> current;
    Faults faults;

    // Serializes load and unload (DriverEntry and DriverUnload run under it).
    std::mutex loadLock;

    // The requests now inside a dispatch routine.
    std::mutex irpLock;
    std::map<PIRP, IrpBlock*> pendingIrps;

    std::atomic<uint64_t> deviceControls{0};

    // Who hears of device control requests; observed spares the lock when
    // nobody does.
    std::mutex observerLock;
    std::atomic<bool> observed{false};
    std::function<void(const DeviceControlRecord&)> observer;

    std::mutex sinkLock;
    std::function<void(const std::string&)> sink; // empty: the machine's trace
};

// What the I/O manager object holds: the kernel it fronts.
struct IoManager::State {
    Kernel& kernel;
};

// The one kernel of the process. It is never destroyed, so nothing is
// released behind a driver's back while the process exits.
Kernel& kernel();

// A fault of the driver that Windows would answer with a bug check: writes
// the message to standard error and aborts.
[[noreturn]] void driverFault(const std::string& message);

// Object names compare without regard to case, and "\DosDevices\" is the
// same directory as "\??\".
std::wstring foldName(const std::wstring& name);

// The counted string as a string; empty for a null one. Faults the driver
// when the string is malformed.
std::wstring toWString(PUNICODE_STRING string, const char* routine);

// A 32-bit value as "0x%08X", for messages.
std::string hex32(uint32_t value);

// Narrow text for messages (non-ASCII characters as '?').
std::string narrow(const std::wstring& text);

// Finds the device an NT path names, following symbolic links. Takes the
// kernel lock (callers may hold it already).
NTSTATUS resolveDevice(const std::wstring& path, std::shared_ptr<DeviceRecord>& device);

// Runs DriverUnload for a driver whose unload was claimed, and marks it
// unloaded. Call with the load lock held and the kernel lock not held.
void runDriverUnload(DriverRecord& driver);

// Runs one request through the driver's routine for its major function.
// Gives STATUS_INVALID_DEVICE_REQUEST, without reaching the driver, when the
// driver set no routine. Faults the driver when the routine returns without
// completing the request exactly once, or returns another status than it
// completed with.
NTSTATUS deliverIrp(DeviceRecord& device, IrpBlock& block);

} // namespace nt
