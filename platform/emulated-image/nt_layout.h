// SPDX-License-Identifier: MIT
// nt_layout.h
//
// The layouts of the kernel records an NT driver image reads and writes, one
// for 32-bit x86 and one for x86-64: byte offsets and sizes of
// DRIVER_OBJECT, DRIVER_EXTENSION, DEVICE_OBJECT, IRP, IO_STACK_LOCATION,
// UNICODE_STRING and KMUTEX, and the object type codes both share. The
// emulated-image loader lays these records out in emulated memory by the
// layout of the image's machine; both Windows builds compile
// nt_layout_check.cpp, which holds the layout of their pointer size against
// their DDK headers, so a wrong offset fails that build.
#pragma once

#include <cstdint>

namespace emulated {

struct NtLayout {
    uint32_t pointerBytes; // a pointer, SIZE_T and ULONG_PTR

    // UNICODE_STRING: counted UTF-16 text.
    uint32_t unicodeStringLength, unicodeStringMaximumLength, unicodeStringBuffer,
        unicodeStringSize;

    // DRIVER_OBJECT (MajorFunction is an array of pointers).
    uint32_t driverObjectType, driverObjectSizeField, driverObjectDeviceObject, driverObjectFlags,
        driverObjectDriverStart, driverObjectDriverSize, driverObjectDriverExtension,
        driverObjectDriverName, driverObjectDriverInit, driverObjectDriverUnload,
        driverObjectMajorFunction, driverObjectSize;

    // DRIVER_EXTENSION (its first field leads back to the driver object).
    uint32_t driverExtensionDriverObject, driverExtensionServiceKeyName, driverExtensionSize;

    // DEVICE_OBJECT.
    uint32_t deviceObjectType, deviceObjectSizeField, deviceObjectDriverObject,
        deviceObjectNextDevice, deviceObjectFlags, deviceObjectCharacteristics,
        deviceObjectDeviceExtension, deviceObjectDeviceType, deviceObjectStackSize,
        deviceObjectSize;

    // IRP.
    uint32_t irpType, irpSizeField,
        irpAssociatedIrp, // AssociatedIrp.SystemBuffer
        irpIoStatusStatus, irpIoStatusInformation, irpRequestorMode, irpStackCount,
        irpCurrentLocation,
        irpCurrentStackLocation, // Tail.Overlay.CurrentStackLocation
        irpSize;

    // IO_STACK_LOCATION (the lengths and code of Parameters.DeviceIoControl).
    uint32_t stackMajorFunction, stackMinorFunction, stackOutputBufferLength,
        stackInputBufferLength, stackIoControlCode, stackDeviceObject, stackFileObject, stackSize;

    // KMUTEX: a dispatcher header (with its list of waiters), then the owner.
    uint32_t mutexType, mutexHeaderSize, mutexSignalState, mutexWaitListHead, mutexOwnerThread,
        mutexAbandoned, mutexApcDisable, mutexSize;
};

inline constexpr NtLayout kNt32Layout{
    .pointerBytes = 4,
    .unicodeStringLength = 0x00,
    .unicodeStringMaximumLength = 0x02,
    .unicodeStringBuffer = 0x04,
    .unicodeStringSize = 0x08,
    .driverObjectType = 0x00,
    .driverObjectSizeField = 0x02,
    .driverObjectDeviceObject = 0x04,
    .driverObjectFlags = 0x08,
    .driverObjectDriverStart = 0x0C,
    .driverObjectDriverSize = 0x10,
    .driverObjectDriverExtension = 0x18,
    .driverObjectDriverName = 0x1C,
    .driverObjectDriverInit = 0x2C,
    .driverObjectDriverUnload = 0x34,
    .driverObjectMajorFunction = 0x38,
    .driverObjectSize = 0xA8,
    .driverExtensionDriverObject = 0x00,
    .driverExtensionServiceKeyName = 0x0C,
    .driverExtensionSize = 0x14,
    .deviceObjectType = 0x00,
    .deviceObjectSizeField = 0x02,
    .deviceObjectDriverObject = 0x08,
    .deviceObjectNextDevice = 0x0C,
    .deviceObjectFlags = 0x1C,
    .deviceObjectCharacteristics = 0x20,
    .deviceObjectDeviceExtension = 0x28,
    .deviceObjectDeviceType = 0x2C,
    .deviceObjectStackSize = 0x30,
    .deviceObjectSize = 0xB8,
    .irpType = 0x00,
    .irpSizeField = 0x02,
    .irpAssociatedIrp = 0x0C,
    .irpIoStatusStatus = 0x18,
    .irpIoStatusInformation = 0x1C,
    .irpRequestorMode = 0x20,
    .irpStackCount = 0x22,
    .irpCurrentLocation = 0x23,
    .irpCurrentStackLocation = 0x60,
    .irpSize = 0x70,
    .stackMajorFunction = 0x00,
    .stackMinorFunction = 0x01,
    .stackOutputBufferLength = 0x04,
    .stackInputBufferLength = 0x08,
    .stackIoControlCode = 0x0C,
    .stackDeviceObject = 0x14,
    .stackFileObject = 0x18,
    .stackSize = 0x24,
    .mutexType = 0x00,
    .mutexHeaderSize = 0x02,
    .mutexSignalState = 0x04,
    .mutexWaitListHead = 0x08,
    .mutexOwnerThread = 0x18,
    .mutexAbandoned = 0x1C,
    .mutexApcDisable = 0x1D,
    .mutexSize = 0x20,
};

// x86-64: every pointer and pointer-sized field 8 bytes, on 8-byte bounds.
inline constexpr NtLayout kNt64Layout{
    .pointerBytes = 8,
    .unicodeStringLength = 0x00,
    .unicodeStringMaximumLength = 0x02,
    .unicodeStringBuffer = 0x08,
    .unicodeStringSize = 0x10,
    .driverObjectType = 0x00,
    .driverObjectSizeField = 0x02,
    .driverObjectDeviceObject = 0x08,
    .driverObjectFlags = 0x10,
    .driverObjectDriverStart = 0x18,
    .driverObjectDriverSize = 0x20,
    .driverObjectDriverExtension = 0x30,
    .driverObjectDriverName = 0x38,
    .driverObjectDriverInit = 0x58,
    .driverObjectDriverUnload = 0x68,
    .driverObjectMajorFunction = 0x70,
    .driverObjectSize = 0x150,
    .driverExtensionDriverObject = 0x00,
    .driverExtensionServiceKeyName = 0x18,
    .driverExtensionSize = 0x28,
    .deviceObjectType = 0x00,
    .deviceObjectSizeField = 0x02,
    .deviceObjectDriverObject = 0x08,
    .deviceObjectNextDevice = 0x10,
    .deviceObjectFlags = 0x30,
    .deviceObjectCharacteristics = 0x34,
    .deviceObjectDeviceExtension = 0x40,
    .deviceObjectDeviceType = 0x48,
    .deviceObjectStackSize = 0x4C,
    .deviceObjectSize = 0x148,
    .irpType = 0x00,
    .irpSizeField = 0x02,
    .irpAssociatedIrp = 0x18,
    .irpIoStatusStatus = 0x30,
    .irpIoStatusInformation = 0x38,
    .irpRequestorMode = 0x40,
    .irpStackCount = 0x42,
    .irpCurrentLocation = 0x43,
    .irpCurrentStackLocation = 0xB8,
    .irpSize = 0xD0,
    .stackMajorFunction = 0x00,
    .stackMinorFunction = 0x01,
    .stackOutputBufferLength = 0x08,
    .stackInputBufferLength = 0x10,
    .stackIoControlCode = 0x18,
    .stackDeviceObject = 0x28,
    .stackFileObject = 0x30,
    .stackSize = 0x48,
    .mutexType = 0x00,
    .mutexHeaderSize = 0x02,
    .mutexSignalState = 0x04,
    .mutexWaitListHead = 0x08,
    .mutexOwnerThread = 0x28,
    .mutexAbandoned = 0x30,
    .mutexApcDisable = 0x31,
    .mutexSize = 0x38,
};

// What both layouts share.
namespace nt_records {

constexpr uint32_t kMajorFunctionCount = 28; // IRP_MJ_MAXIMUM_FUNCTION + 1

// Object type codes (the Type field).
constexpr uint16_t kIoTypeDriver = 4;
constexpr uint16_t kIoTypeDevice = 3;
constexpr uint16_t kIoTypeIrp = 6;
constexpr uint8_t kMutantObject = 2; // KOBJECTS MutantObject (not in the DDK headers)

// DEVICE_OBJECT flags the I/O manager owns.
constexpr uint32_t kDoDeviceInitializing = 0x80;

// KPROCESSOR_MODE of a request from a program.
constexpr uint8_t kUserMode = 1;

} // namespace nt_records

} // namespace emulated
