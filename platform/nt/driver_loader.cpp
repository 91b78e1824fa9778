// driver_loader.cpp
//
// Loading and unloading a driver: the image (a shared object exporting
// DriverEntry) or an entry linked into the program, its DRIVER_OBJECT, the
// calls of DriverEntry and DriverUnload, and the release of the image once
// no device object of the driver is left.
#include "platform/nt/kernel_state.h"

#include <dlfcn.h>

#include <filesystem>
#include <stdexcept>

namespace nt {

namespace {

// Windows' answer when the service's image is still in memory.
constexpr NTSTATUS kStatusImageAlreadyLoaded = static_cast<NTSTATUS>(0xC000010EL);

std::wstring registryPathFor(const std::string& imageName)
{
    std::string service = std::filesystem::path(imageName).stem().string();
    std::wstring path = L"\\Registry\\Machine\\System\\CurrentControlSet\\Services\\";
    path.append(service.begin(), service.end());
    return path;
}

// Runs DriverEntry with the load lock held. On failure the driver must have
// deleted every device it made; the record (and with it the image) is then
// released.
NTSTATUS runDriverEntry(Kernel& k, std::shared_ptr<DriverRecord> driver,
                        const IoManager::HostedEntry& entry)
{
    {
        std::lock_guard guard(k.lock);
        std::erase_if(k.drivers, [](const auto& item) { return item.second.expired(); });
        k.drivers[&driver->object] = driver;
        k.current = driver;
    }
    std::wstring path = registryPathFor(driver->imageName);
    UNICODE_STRING registryPath;
    RtlInitUnicodeString(&registryPath, path.c_str());

    NTSTATUS status = entry(&driver->object, &registryPath);
    if (NT_SUCCESS(status))
        return status;

    std::lock_guard guard(k.lock);
    if (driver->object.DeviceObject != nullptr)
        driverFault("DriverEntry of " + driver->imageName +
                    " failed but left a device object behind");
    k.current.reset();
    return status;
}

void noteLibraryFunction() {}

} // namespace

NTSTATUS IoManager::loadDriver(const std::string& imagePath)
{
    Kernel& k = state_->kernel;
    std::lock_guard load(k.loadLock);
    if (driverLoaded())
        return kStatusImageAlreadyLoaded;

    auto driver = std::make_shared<DriverRecord>();
    driver->imageName = imagePath;
    driver->image = dlopen(imagePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (driver->image == nullptr) {
        const char* why = dlerror();
        throw std::runtime_error("cannot load the driver image " + imagePath + ": " +
                                 (why ? why : "unknown reason"));
    }
    auto entry = reinterpret_cast<DriverEntryRoutine>(dlsym(driver->image, "DriverEntry"));
    if (entry == nullptr)
        throw std::runtime_error("the driver image " + imagePath + " has no DriverEntry");
    return runDriverEntry(k, std::move(driver), entry);
}

NTSTATUS IoManager::loadDriver(DriverEntryRoutine entry)
{
    Kernel& k = state_->kernel;
    std::lock_guard load(k.loadLock);
    if (driverLoaded())
        return kStatusImageAlreadyLoaded;
    auto driver = std::make_shared<DriverRecord>();
    driver->imageName = "linked-in driver";
    return runDriverEntry(k, std::move(driver), entry);
}

NTSTATUS IoManager::loadHostedDriver(const std::string& imageName, HostedEntry entry,
                                     std::shared_ptr<void> owner)
{
    Kernel& k = state_->kernel;
    std::lock_guard load(k.loadLock);
    if (driverLoaded())
        return kStatusImageAlreadyLoaded;
    auto driver = std::make_shared<DriverRecord>();
    driver->imageName = imageName;
    driver->hosted = std::move(owner);
    return runDriverEntry(k, std::move(driver), entry);
}

void IoManager::unloadDriver()
{
    Kernel& k = state_->kernel;
    std::lock_guard load(k.loadLock);
    std::shared_ptr<DriverRecord> driver; // the last owner when no device is left
    {
        std::lock_guard guard(k.lock);
        driver = k.current;
    }
    if (!driver)
        return;
    if (driver->object.DriverUnload == nullptr)
        throw std::logic_error("the driver " + driver->imageName +
                               " has no unload routine and cannot be unloaded");
    driver->object.DriverUnload(&driver->object);
    std::lock_guard guard(k.lock);
    driver->unloaded = true;
    k.current.reset();
}

bool IoManager::driverLoaded() const
{
    std::lock_guard guard(state_->kernel.lock);
    return state_->kernel.current != nullptr;
}

std::string IoManager::defaultDriverPath()
{
    Dl_info info{};
    if (dladdr(reinterpret_cast<void*>(&noteLibraryFunction), &info) == 0 ||
        info.dli_fname == nullptr)
        throw std::runtime_error("cannot find the file of the platform library");
    std::filesystem::path library = std::filesystem::absolute(info.dli_fname);
    return (library.parent_path() / "zephr.so").string();
}

} // namespace nt
