// SPDX-License-Identifier: MIT
// nt_layout_check.cpp
//
// Compiled by the Windows builds only: holds every offset and size of the
// layout of nt_layout.h for the compiler's pointer size (kNt32Layout in the
// i686 build, kNt64Layout in the x86-64 one) against the records of its DDK
// headers, so the layouts the emulated-image loader builds are the ones a
// real driver image reads. Nothing here is linked into anything.
#include <ntddk.h>

#include <cstddef>

#include "platform/emulated-image/nt_layout.h"

namespace {
constexpr const emulated::NtLayout& kLayout =
    sizeof(void*) == 8 ? emulated::kNt64Layout : emulated::kNt32Layout;
namespace records = emulated::nt_records;
} // namespace

#define ZEPHR_CHECK_OFFSET(record, field, value)                                                   \
    static_assert(offsetof(record, field) == kLayout.value, #record "." #field " is off " #value)
#define ZEPHR_CHECK_SIZE(record, value)                                                            \
    static_assert(sizeof(record) == kLayout.value, "sizeof(" #record ") is not " #value)

static_assert(sizeof(void*) == kLayout.pointerBytes, "the layout's pointer size");

ZEPHR_CHECK_OFFSET(UNICODE_STRING, Length, unicodeStringLength);
ZEPHR_CHECK_OFFSET(UNICODE_STRING, MaximumLength, unicodeStringMaximumLength);
ZEPHR_CHECK_OFFSET(UNICODE_STRING, Buffer, unicodeStringBuffer);
ZEPHR_CHECK_SIZE(UNICODE_STRING, unicodeStringSize);

ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, Type, driverObjectType);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, Size, driverObjectSizeField);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DeviceObject, driverObjectDeviceObject);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, Flags, driverObjectFlags);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DriverStart, driverObjectDriverStart);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DriverSize, driverObjectDriverSize);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DriverExtension, driverObjectDriverExtension);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DriverName, driverObjectDriverName);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DriverInit, driverObjectDriverInit);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, DriverUnload, driverObjectDriverUnload);
ZEPHR_CHECK_OFFSET(DRIVER_OBJECT, MajorFunction, driverObjectMajorFunction);
static_assert(IRP_MJ_MAXIMUM_FUNCTION + 1 == records::kMajorFunctionCount, "major function count");
ZEPHR_CHECK_SIZE(DRIVER_OBJECT, driverObjectSize);

ZEPHR_CHECK_OFFSET(DRIVER_EXTENSION, DriverObject, driverExtensionDriverObject);
ZEPHR_CHECK_OFFSET(DRIVER_EXTENSION, ServiceKeyName, driverExtensionServiceKeyName);
ZEPHR_CHECK_SIZE(DRIVER_EXTENSION, driverExtensionSize);

ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, Type, deviceObjectType);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, Size, deviceObjectSizeField);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, DriverObject, deviceObjectDriverObject);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, NextDevice, deviceObjectNextDevice);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, Flags, deviceObjectFlags);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, Characteristics, deviceObjectCharacteristics);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, DeviceExtension, deviceObjectDeviceExtension);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, DeviceType, deviceObjectDeviceType);
ZEPHR_CHECK_OFFSET(DEVICE_OBJECT, StackSize, deviceObjectStackSize);
ZEPHR_CHECK_SIZE(DEVICE_OBJECT, deviceObjectSize);

ZEPHR_CHECK_OFFSET(IRP, Type, irpType);
ZEPHR_CHECK_OFFSET(IRP, Size, irpSizeField);
ZEPHR_CHECK_OFFSET(IRP, AssociatedIrp.SystemBuffer, irpAssociatedIrp);
ZEPHR_CHECK_OFFSET(IRP, IoStatus.Status, irpIoStatusStatus);
ZEPHR_CHECK_OFFSET(IRP, IoStatus.Information, irpIoStatusInformation);
ZEPHR_CHECK_OFFSET(IRP, RequestorMode, irpRequestorMode);
ZEPHR_CHECK_OFFSET(IRP, StackCount, irpStackCount);
ZEPHR_CHECK_OFFSET(IRP, CurrentLocation, irpCurrentLocation);
ZEPHR_CHECK_OFFSET(IRP, Tail.Overlay.CurrentStackLocation, irpCurrentStackLocation);
ZEPHR_CHECK_SIZE(IRP, irpSize);

ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, MajorFunction, stackMajorFunction);
ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, MinorFunction, stackMinorFunction);
ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, Parameters.DeviceIoControl.OutputBufferLength,
                   stackOutputBufferLength);
ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, Parameters.DeviceIoControl.InputBufferLength,
                   stackInputBufferLength);
ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, Parameters.DeviceIoControl.IoControlCode, stackIoControlCode);
ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, DeviceObject, stackDeviceObject);
ZEPHR_CHECK_OFFSET(IO_STACK_LOCATION, FileObject, stackFileObject);
ZEPHR_CHECK_SIZE(IO_STACK_LOCATION, stackSize);

ZEPHR_CHECK_OFFSET(KMUTEX, Header.Type, mutexType);
ZEPHR_CHECK_OFFSET(KMUTEX, Header.Size, mutexHeaderSize);
ZEPHR_CHECK_OFFSET(KMUTEX, Header.SignalState, mutexSignalState);
ZEPHR_CHECK_OFFSET(KMUTEX, Header.WaitListHead, mutexWaitListHead);
ZEPHR_CHECK_OFFSET(KMUTEX, OwnerThread, mutexOwnerThread);
ZEPHR_CHECK_OFFSET(KMUTEX, Abandoned, mutexAbandoned);
ZEPHR_CHECK_OFFSET(KMUTEX, ApcDisable, mutexApcDisable);
ZEPHR_CHECK_SIZE(KMUTEX, mutexSize);

static_assert(IO_TYPE_DRIVER == records::kIoTypeDriver, "IO_TYPE_DRIVER");
static_assert(IO_TYPE_DEVICE == records::kIoTypeDevice, "IO_TYPE_DEVICE");
static_assert(IO_TYPE_IRP == records::kIoTypeIrp, "IO_TYPE_IRP");
static_assert(DO_DEVICE_INITIALIZING == records::kDoDeviceInitializing, "DO_DEVICE_INITIALIZING");
static_assert(UserMode == records::kUserMode, "UserMode");
