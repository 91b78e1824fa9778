// SPDX-License-Identifier: MIT
// nt32_layout_check.cpp
//
// Compiled by the Windows build only: holds every offset and size of
// nt32_layout.h against the records of the i686 DDK headers, so the layouts
// the emulated-image loader builds are the ones a real driver image reads.
// Nothing here is linked into anything.
#include <ntddk.h>

#include <cstddef>

#include "platform/emulated-image/nt32_layout.h"

#define ZEPHR_CHECK_OFFSET(record, field, value)                                                   \
    static_assert(offsetof(record, field) == nt32::value, #record "." #field " is not at " #value)
#define ZEPHR_CHECK_SIZE(record, value)                                                            \
    static_assert(sizeof(record) == nt32::value, "sizeof(" #record ") is not " #value)

static_assert(sizeof(void*) == 4, "the layouts are those of 32-bit x86");

ZEPHR_CHECK_OFFSET(UNICODE_STRING, Length, kUnicodeStringLength);
ZEPHR_CHECK_OFFSET(UNICODE_STRING, MaximumLength, kUnicodeStringMaximumLength);
ZEPHR_CHECK_OFFSET(UNICODE_STRING, Buffer, kUnicodeStringBuffer);
ZEPHR_CHECK_SIZE(UNICODE_STRING, kUnicodeStringSize);

ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, Type, kDriverObjectType);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, Size, kDriverObjectSizeField);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DeviceObject, kDriverObjectDeviceObject);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, Flags, kDriverObjectFlags);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DriverStart, kDriverObjectDriverStart);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DriverSize, kDriverObjectDriverSize);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DriverExtension, kDriverObjectDriverExtension);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DriverName, kDriverObjectDriverName);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DriverInit, kDriverObjectDriverInit);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DriverUnload, kDriverObjectDriverUnload);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, MajorFunction, kDriverObjectMajorFunction);
static_assert(IRP_MJ_MAXIMUM_FUNCTION + 1 == nt32::kMajorFunctionCount, "major function count");
ZEPHR_CHECK_SIZE(DRIVER_OBJECT, kDriverObjectSize);

ZEPHR_CHECK_OFFSET(DRIVER_EXTENSION, DriverObject, kDriverExtensionDriverObject);
ZEPHR_CHECK_OFFSET(DRIVER_EXTENSION, ServiceKeyName, kDriverExtensionServiceKeyName);
ZEPHR_CHECK_SIZE(DRIVER_EXTENSION, kDriverExtensionSize);

ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, Type, kDeviceObjectType);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, Size, kDeviceObjectSizeField);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, DriverObject, kDeviceObjectDriverObject);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, NextDevice, kDeviceObjectNextDevice);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, Flags, kDeviceObjectFlags);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, Characteristics, kDeviceObjectCharacteristics);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, DeviceExtension, kDeviceObjectDeviceExtension);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, DeviceType, kDeviceObjectDeviceType);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, StackSize, kDeviceObjectStackSize);
ZEPHR_CHECK_SIZE(DEVICE_OBJECT, kDeviceObjectSize);

ZEPHR_CHECK_OFFSET(IRP, Type, kIrpType);
ZEPHR_CHECK_OFFSET(IRP, Size, kIrpSizeField);
ZEPHR_CHECK_OFFSET(IRP, AssociatedIrp.SystemBuffer, kIrpAssociatedIrp);
ZEPHR_CHECK_OFFSET(IRP, IoStatus.Status, kIrpIoStatusStatus);
ZEPHR_CHECK_OFFSET(IRP, IoStatus.Information, kIrpIoStatusInformation);
ZEPHR_CHECK_OFFSET(IRP, RequestorMode, kIrpRequestorMode);
ZEPHR_CHECK_OFFSET(IRP, StackCount, kIrpStackCount);
ZEPHR_CHECK_OFFSET(IRP, CurrentLocation, kIrpCurrentLocation);
ZEPHR_CHECK_OFFSET(IRP, Tail.Overlay.CurrentStackLocation, kIrpCurrentStackLocation);
ZEPHR_CHECK_SIZE(IRP, kIrpSize);

ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, MajorFunction, kStackMajorFunction);
ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, MinorFunction, kStackMinorFunction);
ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, Parameters.DeviceIoControl.OutputBufferLength,
                   kStackOutputBufferLength);
ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, Parameters.DeviceIoControl.InputBufferLength,
                   kStackInputBufferLength);
ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, Parameters.DeviceIoControl.IoControlCode,
                   kStackIoControlCode);
ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, DeviceObject, kStackDeviceObject);
ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, FileObject, kStackFileObject);
ZEPHR_CHECK_SIZE(IO_STACK_LOCATION, kStackSize);

ZEPHR_CHECK_OFFSET(KMUTEX, Header.Type, kMutexType);
ZEPHR_CHECK_OFFSET(KMUTEX, Header.Size, kMutexHeaderSize);
ZEPHR_CHECK_OFFSET(KMUTEX, Header.SignalState, kMutexSignalState);
ZEPHR_CHECK_OFFSET(KMUTEX, OwnerThread, kMutexOwnerThread);
ZEPHR_CHECK_OFFSET(KMUTEX, Abandoned, kMutexAbandoned);
ZEPHR_CHECK_OFFSET(KMUTEX, ApcDisable, kMutexApcDisable);
ZEPHR_CHECK_SIZE(KMUTEX, kMutexSize);

static_assert(IO_TYPE_DRIVER == nt32::kIoTypeDriver, "IO_TYPE_DRIVER");
static_assert(IO_TYPE_DEVICE == nt32::kIoTypeDevice, "IO_TYPE_DEVICE");
static_assert(IO_TYPE_IRP == nt32::kIoTypeIrp, "IO_TYPE_IRP");
static_assert(DO_DEVICE_INITIALIZING == nt32::kDoDeviceInitializing, "DO_DEVICE_INITIALIZING");
static_assert(UserMode == nt32::kUserMode, "UserMode");
