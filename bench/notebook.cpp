// SPDX-License-Identifier: MIT
// notebook.cpp
//
// The notebooks, the driver and the plug-in the benchmarks stand on.
#include "bench/notebook.h"

#include "common/zephr_ioctl.h"
#include "platform/emulated-image/emulated_driver.h"
#include "platform/host-nt/nt_host.h"
#include "platform/host-win32/win32_host.h"

#include <stdexcept>

namespace bench {

const char* const kFixtureImages[3] = {"i440fx-inspiron-8600", "q35-latitude-d810",
                                       "i440fx-smbios3-only"};

Paths& paths()
{
    static Paths p;
    return p;
}

std::shared_ptr<sim::Machine> BuiltinNotebook()
{
    return std::shared_ptr<sim::Machine>(sim::Machine::builtin());
}

std::string FixtureFolder(const std::string& image)
{
    return paths().fixtures + "/firmware/" + image;
}

std::shared_ptr<sim::Machine> FixtureNotebook(const std::string& image)
{
    auto machine = std::make_shared<sim::Machine>();
    machine->name = image;
    machine->memory.loadImageFolder(FixtureFolder(image));
    auto builtin = sim::Machine::builtin();
    machine->smm.temperatures = builtin->smm.temperatures;
    machine->smm.fans = builtin->smm.fans;
    return machine;
}

Notebook::Notebook(std::shared_ptr<sim::Machine> machine, bool keepTrace,
                   const std::string& driverImage)
    : machine_(std::move(machine))
{
    // Timed loops make millions of trace lines; counts keep them.
    machine_->trace.setKeep(keepTrace);
    sim::installMachine(machine_);
    auto& io = nt::IoManager::instance();
    const std::string path = driverImage.empty() ? nt::IoManager::defaultDriverPath() : driverImage;
    NTSTATUS status = STATUS_UNSUCCESSFUL;
    try {
        status = driverImage.empty() ? io.loadDriver(path) : emulated::loadDriverImage(path);
    } catch (const std::exception& error) {
        sim::installMachine(nullptr);
        throw std::runtime_error("the driver image " + path + " did not load: " + error.what());
    }
    if (!NT_SUCCESS(status)) {
        sim::installMachine(nullptr);
        throw std::runtime_error("the driver image " + path + " did not load");
    }
    device_ = CreateFileA(ZEPHR_USER_PATH, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          0, nullptr);
    if (device_ == INVALID_HANDLE_VALUE) {
        io.unloadDriver();
        sim::installMachine(nullptr);
        throw std::runtime_error(std::string("cannot open ") + ZEPHR_USER_PATH);
    }
}

Notebook::~Notebook()
{
    CloseHandle(device_);
    auto& io = nt::IoManager::instance();
    io.unloadDriver();
    io.discardUnloadedDevices();
    sim::installMachine(nullptr);
}

bool Request(HANDLE device, DWORD code, const void* input, DWORD inputLength, void* output,
             DWORD outputLength)
{
    DWORD returned = 0;
    return DeviceIoControl(device, code, const_cast<void*>(input), inputLength, output,
                           outputLength, &returned, nullptr) != FALSE;
}

Plugin::Plugin() : module_(LoadLibraryA(paths().plugin.c_str()))
{
    if (module_ == nullptr)
        throw std::runtime_error("cannot load " + paths().plugin + ": " +
                                 win32::LastLoaderMessage());
}

Plugin::~Plugin()
{
    FreeLibrary(module_);
}

void* Plugin::address(const char* name)
{
    void* found = reinterpret_cast<void*>(GetProcAddress(module_, name));
    if (found == nullptr)
        throw std::runtime_error(paths().plugin + " has no export " + name);
    return found;
}

void* Plugin::startup()
{
    void* instance = reinterpret_cast<void* (*)(int, int)>(address("dllstartup"))(0, 0);
    if (instance == nullptr)
        throw std::runtime_error("dllstartup gave no instance");
    return instance;
}

void Plugin::shutdown(void* instance)
{
    reinterpret_cast<int (*)(void*)>(address("dllshutdown"))(instance);
}

TemperatureReader Plugin::temperatureReader(const char* name)
{
    return reinterpret_cast<TemperatureReader>(address(name));
}

FanReader Plugin::fanReader(const char* name)
{
    return reinterpret_cast<FanReader>(address(name));
}

} // namespace bench
