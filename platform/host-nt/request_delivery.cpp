// SPDX-License-Identifier: MIT
// request_delivery.cpp
//
// Open, close and device control as Windows delivers them: IRP_MJ_CREATE,
// IRP_MJ_CLOSE and IRP_MJ_DEVICE_CONTROL with buffered transfer, the access
// check of the control code against the handle, and the copy back of the
// driver's output. No lock is held while a driver routine runs.
#include "platform/host-nt/kernel_state.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace nt {

namespace {

// Windows' answer when a caller's buffer pointer cannot be used.
constexpr NTSTATUS kStatusAccessViolation = static_cast<NTSTATUS>(0xC0000005L);
// Windows' answer to an open of a device whose driver is being unloaded.
constexpr NTSTATUS kStatusNoSuchDevice = static_cast<NTSTATUS>(0xC000000EL);

// The access a control code asks of the handle (bits 15..14).
bool accessGranted(ULONG code, ACCESS_MASK granted)
{
    ULONG required = (code >> 14) & 3;
    if ((required & FILE_READ_ACCESS) != 0 && (granted & kFileReadData) == 0)
        return false;
    if ((required & FILE_WRITE_ACCESS) != 0 && (granted & kFileWriteData) == 0)
        return false;
    return true;
}

// Counts one request on a file object; a close waits until none is left.
class RequestOnFile {
  public:
    explicit RequestOnFile(FileObject& file) : file_(file)
    {
        std::lock_guard guard(file_.lock);
        admitted_ = !file_.closing;
        if (admitted_)
            ++file_.inFlight;
    }
    ~RequestOnFile()
    {
        if (!admitted_)
            return;
        std::lock_guard guard(file_.lock);
        if (--file_.inFlight == 0)
            file_.idle.notify_all();
    }
    RequestOnFile(const RequestOnFile&) = delete;
    RequestOnFile& operator=(const RequestOnFile&) = delete;

    bool admitted() const
    {
        return admitted_;
    }

  private:
    FileObject& file_;
    bool admitted_ = false;
};

bool deviceDeleted(const DeviceRecord& device)
{
    std::lock_guard guard(kernel().lock);
    return device.deleted;
}

// Gives back a handle's reference on its device. The last reference to a
// driver whose unload is pending runs its unload routine.
void releaseHandle(DeviceRecord& device)
{
    Kernel& k = kernel();
    std::shared_ptr<DriverRecord> driver = device.driver;
    {
        std::lock_guard guard(k.lock);
        --device.openHandles;
        --driver->openHandles;
        if (!driver->unloadPending || driver->unloadClaimed || driver->openHandles != 0)
            return;
        driver->unloadClaimed = true;
    }
    std::lock_guard load(k.loadLock);
    runDriverUnload(*driver);
}

} // namespace

NTSTATUS IoManager::open(const std::wstring& ntPath, ACCESS_MASK granted,
                         std::shared_ptr<FileObject>& file)
{
    Kernel& k = state_->kernel;
    std::shared_ptr<DeviceRecord> device;
    {
        std::lock_guard guard(k.lock);
        NTSTATUS status = resolveDevice(ntPath, device);
        if (!NT_SUCCESS(status))
            return status;
        // Windows opens no device whose driver is being unloaded.
        if (device->driver->unloadPending)
            return kStatusNoSuchDevice;
        if (device->exclusive && device->openHandles > 0)
            return STATUS_ACCESS_DENIED;
        ++device->openHandles; // held for the open, so a second exclusive open fails
        ++device->driver->openHandles;
    }
    IrpBlock block;
    block.stack.MajorFunction = IRP_MJ_CREATE;
    NTSTATUS status = deliverIrp(*device, block);
    if (!NT_SUCCESS(status)) {
        releaseHandle(*device);
        return status;
    }
    file = std::make_shared<FileObject>(std::move(device), granted);
    return status;
}

NTSTATUS IoManager::close(const std::shared_ptr<FileObject>& file)
{
    if (!file)
        return STATUS_INVALID_HANDLE;
    {
        std::unique_lock guard(file->lock);
        if (file->closing)
            return STATUS_INVALID_HANDLE;
        file->closing = true;
        file->idle.wait(guard, [&] { return file->inFlight == 0; });
    }
    DeviceRecord& device = *file->device;
    bool deleted;
    {
        std::lock_guard guard(state_->kernel.lock);
        deleted = device.deleted;
    }
    // A device the driver deleted hears nothing more.
    NTSTATUS status = STATUS_SUCCESS;
    if (!deleted) {
        IrpBlock block;
        block.stack.MajorFunction = IRP_MJ_CLOSE;
        status = deliverIrp(device, block);
    }
    releaseHandle(device);
    return status;
}

namespace {

NTSTATUS sendDeviceControl(Kernel& k, FileObject& file, ULONG code, const void* input,
                           ULONG inputLength, void* output, ULONG outputLength,
                           ULONG& bytesReturned)
{
    bytesReturned = 0;
    RequestOnFile request(file);
    if (!request.admitted())
        return STATUS_INVALID_HANDLE;
    DeviceRecord& device = *file.device;
    if (deviceDeleted(device))
        return STATUS_DEVICE_DOES_NOT_EXIST;
    if (!accessGranted(code, file.granted))
        return STATUS_ACCESS_DENIED;
    if ((input == nullptr && inputLength > 0) || (output == nullptr && outputLength > 0))
        return kStatusAccessViolation;
    if (device.driver->object.MajorFunction[IRP_MJ_DEVICE_CONTROL] == nullptr)
        return STATUS_INVALID_DEVICE_REQUEST;

    // One system buffer for both directions; what the input does not cover
    // holds the stale byte, so output the driver never wrote is plain.
    size_t length = std::max(inputLength, outputLength);
    std::unique_ptr<uint8_t[]> buffer;
    if (length > 0) {
        buffer.reset(new (std::nothrow) uint8_t[length]);
        if (!buffer)
            return STATUS_INSUFFICIENT_RESOURCES;
        if (inputLength > 0)
            std::memcpy(buffer.get(), input, inputLength);
        std::memset(buffer.get() + inputLength, kStaleByte, length - inputLength);
    }

    IrpBlock block;
    block.irp.AssociatedIrp.SystemBuffer = buffer.get();
    block.stack.MajorFunction = IRP_MJ_DEVICE_CONTROL;
    block.stack.Parameters.DeviceIoControl.IoControlCode = code;
    block.stack.Parameters.DeviceIoControl.InputBufferLength = inputLength;
    block.stack.Parameters.DeviceIoControl.OutputBufferLength = outputLength;
    k.deviceControls.fetch_add(1);
    NTSTATUS status = deliverIrp(device, block);
    if (!NT_SUCCESS(status))
        return status;

    ULONG_PTR information = block.irp.IoStatus.Information;
    if (information > outputLength)
        driverFault("the device control routine of " + device.driver->imageName + " reported " +
                    std::to_string(information) + " bytes for an output of " +
                    std::to_string(outputLength) + " bytes (code " + hex32(code) + ")");
    if (information > 0)
        std::memcpy(output, buffer.get(), information);
    bytesReturned = static_cast<ULONG>(information);
    return status;
}

} // namespace

NTSTATUS IoManager::deviceControl(FileObject& file, ULONG code, const void* input,
                                  ULONG inputLength, void* output, ULONG outputLength,
                                  ULONG& bytesReturned)
{
    Kernel& k = state_->kernel;
    const NTSTATUS status =
        sendDeviceControl(k, file, code, input, inputLength, output, outputLength, bytesReturned);
    if (!k.observed.load())
        return status;
    std::function<void(const DeviceControlRecord&)> observer;
    {
        std::lock_guard guard(k.observerLock);
        observer = k.observer;
    }
    if (observer) {
        DeviceControlRecord record;
        record.code = code;
        if (input != nullptr)
            record.input.assign(static_cast<const uint8_t*>(input),
                                static_cast<const uint8_t*>(input) + inputLength);
        record.outputLength = outputLength;
        record.status = status;
        if (output != nullptr)
            record.output.assign(static_cast<const uint8_t*>(output),
                                 static_cast<const uint8_t*>(output) + bytesReturned);
        observer(record);
    }
    return status;
}

} // namespace nt
