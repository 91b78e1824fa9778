// SPDX-License-Identifier: MIT
// requests_benchmark.cpp
//
// Requests per second through the host-build driver and through the shipped
// zephr.sys under the CPU emulator, on the built-in notebook: an SMM request,
// a Super I/O request, the version record, the system information report and
// the ACPI report, each through CreateFileA's handle and DeviceIoControl of
// the host Win32 layer. Not a test: run build/bin/emulated_image_benchmark.
#include "platform/emulated-image/emulated_driver.h"
#include "platform/host-nt/nt_host.h"
#include "sim/machine.h"
#include "sim/superio_chip.h"

#include "common/zephr_ioctl.h"

#include <windows.h>

#include <benchmark/benchmark.h>

#include <filesystem>
#include <vector>

namespace {

enum Road { kHostBuild = 0, kShippedImage = 1 };

void requests(benchmark::State& state, DWORD code, std::vector<uint8_t> input, DWORD output)
{
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    machine->attach(std::make_shared<sim::SuperIoChip>(sim::SuperIoSettings{}));
    machine->trace.setKeep(false);
    sim::installMachine(machine);
    auto& io = nt::IoManager::instance();
    const NTSTATUS status =
        state.range(0) == kHostBuild
            ? io.loadDriver(nt::IoManager::defaultDriverPath())
            : emulated::loadDriverImage(std::filesystem::path(ZEPHR_WINDOWS_BUILD_DIR) / "bin" /
                                        "zephr.sys");
    if (!NT_SUCCESS(status)) {
        state.SkipWithError("the driver did not load");
        return;
    }
    HANDLE device =
        CreateFileA(ZEPHR_USER_PATH, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    std::vector<uint8_t> buffer(output);
    for (auto _ : state) {
        DWORD bytes = 0;
        DeviceIoControl(device, code, input.empty() ? nullptr : input.data(), DWORD(input.size()),
                        buffer.data(), output, &bytes, nullptr);
        benchmark::DoNotOptimize(bytes);
    }
    state.SetItemsProcessed(state.iterations());
    if (auto image = emulated::loadedImage(); image && state.range(0) == kShippedImage)
        state.counters["instructions"] = double(image->lastInstructions());
    state.SetLabel(state.range(0) == kHostBuild ? "host build" : "zephr.sys emulated");
    CloseHandle(device);
    io.unloadDriver();
    sim::installMachine(nullptr);
}

void Temperature(benchmark::State& state)
{
    requests(state, IOCTL_ZEPHR_GET_TEMP, {0, 0, 0, 0}, 4);
}
void FanDuty(benchmark::State& state)
{
    requests(state, IOCTL_ZEPHR_GET_PWM, {0, 0, 0, 0}, 4);
}
void Version(benchmark::State& state)
{
    requests(state, IOCTL_ZEPHR_GET_VERSION, {}, 8);
}
void SystemInformation(benchmark::State& state)
{
    requests(state, IOCTL_ZEPHR_GET_SYSINFO, {}, ZEPHR_SYSINFO_LENGTH);
}
void AcpiReport(benchmark::State& state)
{
    requests(state, IOCTL_ZEPHR_GET_ACPI_REPORT, {}, ZEPHR_ACPI_REPORT_LENGTH);
}

BENCHMARK(Temperature)->Arg(kHostBuild)->Arg(kShippedImage);
BENCHMARK(FanDuty)->Arg(kHostBuild)->Arg(kShippedImage);
BENCHMARK(Version)->Arg(kHostBuild)->Arg(kShippedImage);
BENCHMARK(SystemInformation)->Arg(kHostBuild)->Arg(kShippedImage);
BENCHMARK(AcpiReport)->Arg(kHostBuild)->Arg(kShippedImage);

} // namespace

BENCHMARK_MAIN();
