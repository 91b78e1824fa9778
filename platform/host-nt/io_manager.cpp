// SPDX-License-Identifier: MIT
// io_manager.cpp
//
// The I/O manager object itself: the one instance, the faults the kernel
// routines give, the request count and observer, the name lookup, and the
// clean-up of devices that an unloaded driver left behind.
#include "platform/host-nt/kernel_state.h"

#include <vector>

namespace nt {

IoManager::IoManager() : state_(std::make_unique<State>(State{nt::kernel()})) {}

IoManager& IoManager::instance()
{
    static IoManager manager;
    return manager;
}

void IoManager::setFaults(const Faults& faults)
{
    std::lock_guard guard(state_->kernel.lock);
    state_->kernel.faults = faults;
}

uint64_t IoManager::deviceControlCount() const
{
    return state_->kernel.deviceControls.load();
}

void IoManager::setDeviceControlObserver(std::function<void(const DeviceControlRecord&)> observer)
{
    Kernel& k = state_->kernel;
    std::lock_guard guard(k.observerLock);
    k.observed = static_cast<bool>(observer);
    k.observer = std::move(observer);
}

bool IoManager::nameExists(const std::wstring& ntPath) const
{
    Kernel& k = state_->kernel;
    std::lock_guard guard(k.lock);
    std::wstring folded = foldName(ntPath);
    return k.devices.count(folded) != 0 || k.links.count(folded) != 0;
}

void IoManager::discardUnloadedDevices()
{
    Kernel& k = state_->kernel;
    std::vector<std::shared_ptr<DeviceRecord>> discarded; // released after the lock
    std::lock_guard guard(k.lock);
    std::vector<std::wstring> deadLinks;
    for (const auto& [name, target] : k.links) {
        std::shared_ptr<DeviceRecord> device;
        if (resolveDevice(target, device) == STATUS_SUCCESS && device->driver->unloaded)
            deadLinks.push_back(name);
    }
    for (const auto& name : deadLinks)
        k.links.erase(name);
    for (auto it = k.deviceObjects.begin(); it != k.deviceObjects.end();) {
        DeviceRecord& device = *it->second;
        if (!device.driver->unloaded) {
            ++it;
            continue;
        }
        if (!device.name.empty())
            k.devices.erase(foldName(device.name));
        device.deleted = true;
        discarded.push_back(it->second);
        it = k.deviceObjects.erase(it);
    }
}

} // namespace nt
