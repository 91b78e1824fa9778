// SPDX-License-Identifier: MIT
// image_driver.cpp
//
// A driver image for the loader tests: counts its loads in a global (fresh
// at every load of the image), makes "\Device\ImageTest" with the link
// "\DosDevices\ImageTest", and answers every device control with the count.
// Built a second time with IMAGE_DRIVER_FAILS, whose DriverEntry fails.
#include <ntddk.h>

namespace {

ULONG LoadCount = 0;
const WCHAR* const DeviceName = L"\\Device\\ImageTest";
const WCHAR* const LinkName = L"\\DosDevices\\ImageTest";

#ifndef IMAGE_DRIVER_FAILS

NTSTATUS NTAPI CreateClose(PDEVICE_OBJECT, PIRP Irp)
{
    Irp->IoStatus.Status = STATUS_SUCCESS;
    Irp->IoStatus.Information = 0;
    IoCompleteRequest(Irp, IO_NO_INCREMENT);
    return STATUS_SUCCESS;
}

NTSTATUS NTAPI DeviceControl(PDEVICE_OBJECT, PIRP Irp)
{
    NTSTATUS Status = STATUS_BUFFER_TOO_SMALL;
    Irp->IoStatus.Information = 0;
    if (IoGetCurrentIrpStackLocation(Irp)->Parameters.DeviceIoControl.OutputBufferLength >= 4) {
        *static_cast<ULONG*>(Irp->AssociatedIrp.SystemBuffer) = LoadCount;
        Irp->IoStatus.Information = 4;
        Status = STATUS_SUCCESS;
    }
    Irp->IoStatus.Status = Status;
    IoCompleteRequest(Irp, IO_NO_INCREMENT);
    return Status;
}

VOID NTAPI Unload(PDRIVER_OBJECT DriverObject)
{
    UNICODE_STRING Link;
    RtlInitUnicodeString(&Link, LinkName);
    if (NT_SUCCESS(IoDeleteSymbolicLink(&Link)))
        IoDeleteDevice(DriverObject->DeviceObject);
}
#endif

} // namespace

extern "C" __attribute__((visibility("default"))) NTSTATUS NTAPI
DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING)
{
    ++LoadCount;
#ifdef IMAGE_DRIVER_FAILS
    (void)DriverObject;
    return STATUS_DEVICE_DOES_NOT_EXIST;
#else
    UNICODE_STRING Device;
    UNICODE_STRING Link;
    PDEVICE_OBJECT DeviceObject = nullptr;
    DriverObject->MajorFunction[IRP_MJ_CREATE] = CreateClose;
    DriverObject->MajorFunction[IRP_MJ_CLOSE] = CreateClose;
    DriverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DeviceControl;
    DriverObject->DriverUnload = Unload;
    RtlInitUnicodeString(&Device, DeviceName);
    RtlInitUnicodeString(&Link, LinkName);
    NTSTATUS Status =
        IoCreateDevice(DriverObject, 0, &Device, FILE_DEVICE_UNKNOWN, 0, FALSE, &DeviceObject);
    if (!NT_SUCCESS(Status))
        return Status;
    Status = IoCreateSymbolicLink(&Link, &Device);
    if (!NT_SUCCESS(Status))
        IoDeleteDevice(DeviceObject);
    return Status;
#endif
}
