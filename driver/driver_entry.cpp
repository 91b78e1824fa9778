// SPDX-License-Identifier: MIT
/*
 * driver_entry.cpp
 *
 * Load and unload of the zephr driver: the BIOS segment window, the device
 * "\Device\Zephr" with its link "\DosDevices\ZephrDev", the request routines,
 * and the release of everything in a fixed order at unload.
 */
#include "driver/zephr.h"

PVOID BiosSegmentWindow = NULL;
BOOLEAN ZephrUnloaded = FALSE;

/*
 * Unmaps the BIOS segment window, if load mapped it.
 * IRQL: PASSIVE_LEVEL.
 */
static VOID ReleaseBiosSegmentWindow(VOID)
{
    if (BiosSegmentWindow != NULL) {
        MmUnmapIoSpace(BiosSegmentWindow, BIOS_SEGMENT_LENGTH);
        BiosSegmentWindow = NULL;
    }
}

/*
 * The table's own mapping, when the SMBIOS locator had to make one. The
 * globals are cleared with it, so a request that still reaches the device
 * after unload (the link could not be removed) finds nothing to read.
 * IRQL: PASSIVE_LEVEL.
 */
static VOID ReleaseSmbiosTableMapping(VOID)
{
    if (SmbiosTableMapped != 0) {
        MmUnmapIoSpace(SmbiosTableMapping, SmbiosTableLength);
        SmbiosTableMapped = 0;
        SmbiosTableMapping = NULL;
    }
    SmbiosTable = NULL;
    SmbiosEntryPoint = NULL;
}

/*
 * Loads the driver: maps the BIOS segment window, sets the request routines,
 * creates the device and its link. A failure releases what was made.
 * IRQL: PASSIVE_LEVEL, in the system thread that loads the driver.
 */
extern "C" NTSTATUS NTAPI DriverEntry(PDRIVER_OBJECT DriverObject, PUNICODE_STRING RegistryPath)
{
    UNICODE_STRING DeviceName;
    UNICODE_STRING LinkName;
    PDEVICE_OBJECT DeviceObject = NULL;
    PHYSICAL_ADDRESS WindowBase;
    NTSTATUS Status;

    UNREFERENCED_PARAMETER(RegistryPath);
    ZephrInitializeLocks();
    ZephrUnloaded = FALSE;

    /* The driver loads without the window; the reports then say so. */
    WindowBase.QuadPart = BIOS_SEGMENT_PHYSICAL;
    BiosSegmentWindow = MmMapIoSpace(WindowBase, BIOS_SEGMENT_LENGTH, MmNonCached);

    DriverObject->MajorFunction[IRP_MJ_CREATE] = DispatchCreateClose;
    DriverObject->MajorFunction[IRP_MJ_CLOSE] = DispatchCreateClose;
    DriverObject->MajorFunction[IRP_MJ_DEVICE_CONTROL] = DispatchDeviceControl;
    DriverObject->DriverUnload = UnloadDriver;

    RtlInitUnicodeString(&DeviceName, ZEPHR_DEVICE_NAME_W);
    RtlInitUnicodeString(&LinkName, ZEPHR_LINK_NAME_W);

    Status =
        IoCreateDevice(DriverObject, 0, &DeviceName, FILE_DEVICE_UNKNOWN, 0, FALSE, &DeviceObject);
    if (!NT_SUCCESS(Status)) {
        DbgPrint("Zephr: Can't create device object !\n");
        ReleaseBiosSegmentWindow();
        return Status;
    }

    Status = IoCreateSymbolicLink(&LinkName, &DeviceName);
    if (!NT_SUCCESS(Status)) {
        DbgPrint("Zephr: Can't create link\n");
        IoDeleteDevice(DeviceObject);
        ReleaseBiosSegmentWindow();
        return Status;
    }

    DeviceObject->Flags |= DO_BUFFERED_IO;
    DbgPrint("Zephr: DriverEntry successful\n");
    return STATUS_SUCCESS;
}

/*
 * Unloads the driver: the ACPI report's mappings, the BIOS segment window,
 * the SMBIOS table's own mapping, the link and the device, in this order.
 * IRQL: PASSIVE_LEVEL, in the system thread that unloads the driver.
 */
VOID NTAPI UnloadDriver(PDRIVER_OBJECT DriverObject)
{
    UNICODE_STRING LinkName;

    DbgPrint("Zephr: Entering unload function\n");

    /* No report may read through a mapping while it goes away. */
    ZephrAcquireFirmware();
    AcpiCleanup();
    ReleaseBiosSegmentWindow();
    ReleaseSmbiosTableMapping();
    ZephrUnloaded = TRUE;
    ZephrReleaseFirmware();

    RtlInitUnicodeString(&LinkName, ZEPHR_LINK_NAME_W);
    if (!NT_SUCCESS(IoDeleteSymbolicLink(&LinkName))) {
        DbgPrint("Zephr: Can't remove link\n");
    } else {
        DbgPrint("Zephr: Link removed\n");
        IoDeleteDevice(DriverObject->DeviceObject);
    }

    DbgPrint("Zephr: End of unload\n");
}
