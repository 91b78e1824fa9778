// SPDX-License-Identifier: MIT
// nt32_layout.h
//
// The 32-bit x86 layouts of the kernel records an NT driver image reads and
// writes: byte offsets and sizes of DRIVER_OBJECT, DEVICE_OBJECT, IRP,
// IO_STACK_LOCATION, UNICODE_STRING and KMUTEX, and the object type codes.
// The emulated-image loader lays these records out in emulated memory; the
// Windows build compiles nt32_layout_check.cpp, which holds every value here
// against the i686 DDK headers, so a wrong offset fails that build.
#pragma once

#include <cstdint>

namespace nt32 {

// UNICODE_STRING: counted UTF-16 text.
constexpr uint32_t kUnicodeStringLength = 0x00;
constexpr uint32_t kUnicodeStringMaximumLength = 0x02;
constexpr uint32_t kUnicodeStringBuffer = 0x04;
constexpr uint32_t kUnicodeStringSize = 0x08;

// DRIVER_OBJECT.
constexpr uint32_t kDriverObjectType = 0x00;
constexpr uint32_t kDriverObjectSizeField = 0x02;
constexpr uint32_t kDriverObjectDeviceObject = 0x04;
constexpr uint32_t kDriverObjectFlags = 0x08;
constexpr uint32_t kDriverObjectDriverStart = 0x0C;
constexpr uint32_t kDriverObjectDriverSize = 0x10;
constexpr uint32_t kDriverObjectDriverExtension = 0x18;
constexpr uint32_t kDriverObjectDriverName = 0x1C;
constexpr uint32_t kDriverObjectDriverInit = 0x2C;
constexpr uint32_t kDriverObjectDriverUnload = 0x34;
constexpr uint32_t kDriverObjectMajorFunction = 0x38;
constexpr uint32_t kMajorFunctionCount = 28; // IRP_MJ_MAXIMUM_FUNCTION + 1
constexpr uint32_t kDriverObjectSize = 0xA8;

// DRIVER_EXTENSION (its first field leads back to the driver object).
constexpr uint32_t kDriverExtensionDriverObject = 0x00;
constexpr uint32_t kDriverExtensionServiceKeyName = 0x0C;
constexpr uint32_t kDriverExtensionSize = 0x14;

// DEVICE_OBJECT.
constexpr uint32_t kDeviceObjectType = 0x00;
constexpr uint32_t kDeviceObjectSizeField = 0x02;
constexpr uint32_t kDeviceObjectDriverObject = 0x08;
constexpr uint32_t kDeviceObjectNextDevice = 0x0C;
constexpr uint32_t kDeviceObjectFlags = 0x1C;
constexpr uint32_t kDeviceObjectCharacteristics = 0x20;
constexpr uint32_t kDeviceObjectDeviceExtension = 0x28;
constexpr uint32_t kDeviceObjectDeviceType = 0x2C;
constexpr uint32_t kDeviceObjectStackSize = 0x30;
constexpr uint32_t kDeviceObjectSize = 0xB8;

// IRP.
constexpr uint32_t kIrpType = 0x00;
constexpr uint32_t kIrpSizeField = 0x02;
constexpr uint32_t kIrpAssociatedIrp = 0x0C; // AssociatedIrp.SystemBuffer
constexpr uint32_t kIrpIoStatusStatus = 0x18;
constexpr uint32_t kIrpIoStatusInformation = 0x1C;
constexpr uint32_t kIrpRequestorMode = 0x20;
constexpr uint32_t kIrpStackCount = 0x22;
constexpr uint32_t kIrpCurrentLocation = 0x23;
constexpr uint32_t kIrpCurrentStackLocation = 0x60; // Tail.Overlay.CurrentStackLocation
constexpr uint32_t kIrpSize = 0x70;

// IO_STACK_LOCATION.
constexpr uint32_t kStackMajorFunction = 0x00;
constexpr uint32_t kStackMinorFunction = 0x01;
constexpr uint32_t kStackOutputBufferLength = 0x04; // Parameters.DeviceIoControl
constexpr uint32_t kStackInputBufferLength = 0x08;
constexpr uint32_t kStackIoControlCode = 0x0C;
constexpr uint32_t kStackDeviceObject = 0x14;
constexpr uint32_t kStackFileObject = 0x18;
constexpr uint32_t kStackSize = 0x24;

// KMUTEX: a dispatcher header, then the owner.
constexpr uint32_t kMutexType = 0x00;
constexpr uint32_t kMutexHeaderSize = 0x02;
constexpr uint32_t kMutexSignalState = 0x04;
constexpr uint32_t kMutexOwnerThread = 0x18;
constexpr uint32_t kMutexAbandoned = 0x1C;
constexpr uint32_t kMutexApcDisable = 0x1D;
constexpr uint32_t kMutexSize = 0x20;

// Object type codes (the Type field).
constexpr uint16_t kIoTypeDriver = 4;
constexpr uint16_t kIoTypeDevice = 3;
constexpr uint16_t kIoTypeIrp = 6;
constexpr uint8_t kMutantObject = 2; // KOBJECTS MutantObject (not in the DDK headers)

// DEVICE_OBJECT flags the I/O manager owns.
constexpr uint32_t kDoDeviceInitializing = 0x80;

// KPROCESSOR_MODE of a request from a program.
constexpr uint8_t kUserMode = 1;

} // namespace nt32
