// SPDX-License-Identifier: MIT
// test_driver.cpp
//
// The platform tests' driver: DriverEntry, the create/close and device
// control routines, and DriverUnload, each following the settings the test
// chose and counting what reached it.
#include "tests/platform/test_driver.h"

namespace testdriver {

Settings& settings()
{
    static Settings value;
    return value;
}

Record& record()
{
    static Record value;
    return value;
}

NTSTATUS complete(PIRP irp, NTSTATUS status, ULONG_PTR information)
{
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = information;
    IoCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

namespace {

NTSTATUS NTAPI createClose(PDEVICE_OBJECT, PIRP irp)
{
    if (IoGetCurrentIrpStackLocation(irp)->MajorFunction == IRP_MJ_CREATE)
        ++record().creates;
    else
        ++record().closes;
    return complete(irp, STATUS_SUCCESS, 0);
}

NTSTATUS NTAPI deviceControl(PDEVICE_OBJECT device, PIRP irp)
{
    ++record().deviceControls;
    if (settings().deviceControl)
        return settings().deviceControl(device, irp);
    return complete(irp, STATUS_SUCCESS, 0);
}

VOID NTAPI unload(PDRIVER_OBJECT driverObject)
{
    UNICODE_STRING link;
    ++record().unloads;
    record().closesAtUnload = record().closes.load();
    RtlInitUnicodeString(&link, kLinkName);
    if (NT_SUCCESS(IoDeleteSymbolicLink(&link)))
        IoDeleteDevice(driverObject->DeviceObject);
}

} // namespace

NTSTATUS NTAPI Entry(PDRIVER_OBJECT driverObject, PUNICODE_STRING)
{
    Record& r = record();
    r.driverObject = driverObject;
    if (settings().serveCreateClose) {
        driverObject->MajorFunction[IRP_MJ_CREATE] = createClose;
        driverObject->MajorFunction[IRP_MJ_CLOSE] = createClose;
    }
    if (settings().serveDeviceControl)
        driverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = deviceControl;
    driverObject->DriverUnload = unload;

    UNICODE_STRING device;
    UNICODE_STRING link;
    RtlInitUnicodeString(&device, kDeviceName);
    RtlInitUnicodeString(&link, kLinkName);
    NTSTATUS status = IoCreateDevice(driverObject, 0, &device, FILE_DEVICE_UNKNOWN, 0,
                                     settings().exclusive, &r.deviceObject);
    if (!NT_SUCCESS(status))
        return status;
    status = IoCreateSymbolicLink(&link, &device);
    if (!NT_SUCCESS(status)) {
        IoDeleteDevice(r.deviceObject);
        return status;
    }
    r.deviceObject->Flags |= DO_BUFFERED_IO;
    return STATUS_SUCCESS;
}

void DriverTest::SetUp()
{
    settings() = Settings{};
    reload();
}

void DriverTest::reload()
{
    io.unloadDriver();
    record().creates = 0;
    record().closes = 0;
    record().deviceControls = 0;
    record().unloads = 0;
    record().closesAtUnload = -1;
    ASSERT_EQ(io.loadDriver(&Entry), STATUS_SUCCESS);
}

void DriverTest::TearDown()
{
    io.setFaults({});
    io.unloadDriver();
    io.discardUnloadedDevices();
}

} // namespace testdriver
