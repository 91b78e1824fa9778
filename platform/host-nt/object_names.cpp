// SPDX-License-Identifier: MIT
// object_names.cpp
//
// The object name space: IoCreateDevice, IoDeleteDevice, IoCreateSymbolicLink
// and IoDeleteSymbolicLink, and the resolution of an NT path through links to
// a device object. Names compare without regard to case; "\DosDevices\" and
// "\??\" are one directory.
#include "platform/host-nt/kernel_state.h"

#include <vector>

namespace nt {

namespace {

// Links may lead to links; a chain longer than this is a loop.
constexpr int kMaxLinkDepth = 32;

bool validName(const std::wstring& name)
{
    return !name.empty() && name.front() == L'\\';
}

bool nameTaken(Kernel& k, const std::wstring& folded)
{
    return k.devices.count(folded) != 0 || k.links.count(folded) != 0;
}

std::shared_ptr<DriverRecord> driverOf(Kernel& k, PDRIVER_OBJECT driverObject)
{
    auto found = k.drivers.find(driverObject);
    std::shared_ptr<DriverRecord> driver;
    if (found != k.drivers.end())
        driver = found->second.lock();
    if (!driver)
        driverFault("IoCreateDevice was given a driver object this kernel did not make");
    return driver;
}

// Takes a device out of its driver's list of device objects.
void unchain(DeviceRecord& device)
{
    PDEVICE_OBJECT* link = &device.driver->object.DeviceObject;
    while (*link != nullptr && *link != &device.object)
        link = &(*link)->NextDevice;
    if (*link != nullptr)
        *link = device.object.NextDevice;
    device.object.NextDevice = nullptr;
}

} // namespace

NTSTATUS resolveDevice(const std::wstring& path, std::shared_ptr<DeviceRecord>& device)
{
    Kernel& k = kernel();
    std::lock_guard guard(k.lock);
    if (!validName(path))
        return STATUS_OBJECT_NAME_INVALID;
    std::wstring folded = foldName(path);
    for (int depth = 0; depth <= kMaxLinkDepth; ++depth) {
        auto found = k.devices.find(folded);
        if (found != k.devices.end()) {
            device = found->second;
            return STATUS_SUCCESS;
        }
        auto link = k.links.find(folded);
        if (link == k.links.end())
            return STATUS_OBJECT_NAME_NOT_FOUND;
        folded = foldName(link->second);
    }
    return STATUS_OBJECT_NAME_NOT_FOUND;
}

} // namespace nt

using namespace nt;

extern "C" NTSTATUS NTAPI IoCreateDevice(PDRIVER_OBJECT DriverObject, ULONG DeviceExtensionSize,
                                         PUNICODE_STRING DeviceName, DEVICE_TYPE DeviceType,
                                         ULONG DeviceCharacteristics, BOOLEAN Exclusive,
                                         PDEVICE_OBJECT* DeviceObject)
{
    if (DeviceObject == nullptr)
        driverFault("IoCreateDevice was given no place for the device object");
    Kernel& k = kernel();
    std::lock_guard guard(k.lock);
    if (k.faults.createDevice != STATUS_SUCCESS)
        return k.faults.createDevice;

    auto device = std::make_shared<DeviceRecord>();
    device->driver = driverOf(k, DriverObject);
    device->name = toWString(DeviceName, "IoCreateDevice");
    std::wstring folded = foldName(device->name);
    if (DeviceName != nullptr) {
        if (!validName(device->name))
            return STATUS_OBJECT_NAME_INVALID;
        if (nameTaken(k, folded))
            return STATUS_OBJECT_NAME_COLLISION;
    }
    if (DeviceExtensionSize > 0) {
        device->extension.reset(new (std::nothrow) uint8_t[DeviceExtensionSize]());
        if (!device->extension)
            return STATUS_INSUFFICIENT_RESOURCES;
    }
    device->exclusive = Exclusive != FALSE;
    device->object.DriverObject = DriverObject;
    device->object.DeviceType = DeviceType;
    device->object.Characteristics = DeviceCharacteristics;
    device->object.DeviceExtension = device->extension.get();
    // Like Windows, the newest device heads the driver's list.
    device->object.NextDevice = DriverObject->DeviceObject;
    DriverObject->DeviceObject = &device->object;

    if (DeviceName != nullptr)
        k.devices[folded] = device;
    k.deviceObjects[&device->object] = device;
    *DeviceObject = &device->object;
    return STATUS_SUCCESS;
}

extern "C" VOID NTAPI IoDeleteDevice(PDEVICE_OBJECT DeviceObject)
{
    Kernel& k = kernel();
    std::shared_ptr<DeviceRecord> device; // released after the lock
    std::lock_guard guard(k.lock);
    auto found = k.deviceObjects.find(DeviceObject);
    if (found == k.deviceObjects.end())
        driverFault("IoDeleteDevice was given a device object that does not exist "
                    "(deleted twice, or never made)");
    device = found->second;
    k.deviceObjects.erase(found);
    if (!device->name.empty())
        k.devices.erase(foldName(device->name));
    unchain(*device);
    device->deleted = true;
}

extern "C" NTSTATUS NTAPI IoCreateSymbolicLink(PUNICODE_STRING SymbolicLinkName,
                                               PUNICODE_STRING DeviceName)
{
    Kernel& k = kernel();
    std::lock_guard guard(k.lock);
    if (k.faults.createLink != STATUS_SUCCESS)
        return k.faults.createLink;
    std::wstring link = toWString(SymbolicLinkName, "IoCreateSymbolicLink");
    std::wstring target = toWString(DeviceName, "IoCreateSymbolicLink");
    if (!validName(link) || !validName(target))
        return STATUS_OBJECT_NAME_INVALID;
    std::wstring folded = foldName(link);
    if (nameTaken(k, folded))
        return STATUS_OBJECT_NAME_COLLISION;
    k.links[folded] = target;
    return STATUS_SUCCESS;
}

extern "C" NTSTATUS NTAPI IoDeleteSymbolicLink(PUNICODE_STRING SymbolicLinkName)
{
    Kernel& k = kernel();
    std::lock_guard guard(k.lock);
    if (k.faults.deleteLink != STATUS_SUCCESS)
        return k.faults.deleteLink;
    std::wstring link = toWString(SymbolicLinkName, "IoDeleteSymbolicLink");
    if (!validName(link))
        return STATUS_OBJECT_NAME_INVALID;
    if (k.links.erase(foldName(link)) == 0)
        return STATUS_OBJECT_NAME_NOT_FOUND;
    return STATUS_SUCCESS;
}
