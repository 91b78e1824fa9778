// SPDX-License-Identifier: MIT
// driver_loader.cpp
//
// Loading and unloading a driver: the image (a shared object exporting
// DriverEntry, fresh at every load) or an entry linked into the program, its
// DRIVER_OBJECT, the calls of DriverEntry and of DriverUnload (deferred, as
// Windows defers it, until no handle to the driver's devices is open), and
// the release of the image once no device object of the driver is left.
#include "platform/host-nt/kernel_state.h"

#include <dlfcn.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
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

bool imageResident(const std::string& path)
{
    void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
    if (handle != nullptr)
        dlclose(handle);
    return handle != nullptr;
}

// The dynamic loader hands out the image already in memory for a file it
// has loaded, globals and all; a private copy of the file is a new image.
// The copy is removed again at once: the loaded image needs no file.
void* openFreshImage(const std::string& imagePath)
{
    if (!imageResident(imagePath))
        return dlopen(imagePath.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::string copy = (std::filesystem::temp_directory_path() / "zephr-image-XXXXXX.so").string();
    int fd = mkstemps(copy.data(), 3);
    if (fd < 0)
        throw std::runtime_error("cannot make a private copy of the driver image " + imagePath +
                                 ": " + std::strerror(errno));
    close(fd);
    std::error_code error;
    std::filesystem::copy_file(imagePath, copy, std::filesystem::copy_options::overwrite_existing,
                               error);
    void* image = error ? nullptr : dlopen(copy.c_str(), RTLD_NOW | RTLD_LOCAL);
    std::filesystem::remove(copy);
    if (error)
        throw std::runtime_error("cannot copy the driver image " + imagePath + " to " + copy +
                                 ": " + error.message());
    return image;
}

} // namespace

void runDriverUnload(DriverRecord& driver)
{
    driver.object.DriverUnload(&driver.object);
    std::lock_guard guard(kernel().lock);
    driver.unloaded = true;
}

NTSTATUS IoManager::loadDriver(const std::string& imagePath)
{
    Kernel& k = state_->kernel;
    std::lock_guard load(k.loadLock);
    if (driverLoaded())
        return kStatusImageAlreadyLoaded;

    auto driver = std::make_shared<DriverRecord>();
    driver->imageName = imagePath;
    driver->image = openFreshImage(imagePath);
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
    bool runNow = false;
    {
        std::lock_guard guard(k.lock);
        driver = k.current;
        if (!driver)
            return;
        if (driver->object.DriverUnload == nullptr)
            throw std::logic_error("the driver " + driver->imageName +
                                   " has no unload routine and cannot be unloaded");
        driver->unloadPending = true;
        k.current.reset();
        runNow = k.faults.unloadWithHandlesOpen || driver->openHandles == 0;
        driver->unloadClaimed = runNow;
    }
    if (runNow)
        runDriverUnload(*driver);
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
    // Beside the platform library; a program that carries the platform
    // itself lies in bin/, beside lib/.
    const std::filesystem::path library = std::filesystem::absolute(info.dli_fname);
    const std::filesystem::path beside = library.parent_path() / "zephr.so";
    const std::filesystem::path inLib = library.parent_path().parent_path() / "lib" / "zephr.so";
    std::error_code error;
    return (std::filesystem::exists(beside, error) || !std::filesystem::exists(inLib, error)
                ? beside
                : inLib)
        .string();
}

} // namespace nt
