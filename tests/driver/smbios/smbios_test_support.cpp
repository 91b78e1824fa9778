// SPDX-License-Identifier: MIT
// smbios_test_support.cpp
//
// The driver-state helper behind smbios_test_support.h: the driver's SMBIOS
// globals around a simulated notebook's BIOS segment window.
#include "smbios_test_support.h"

#include "driver/zephr.h"

#include <algorithm>
#include <string>
#include <stdexcept>

namespace smbios_test {

namespace {

void clearGlobals()
{
    BiosSegmentWindow = nullptr;
    SmbiosEntryPoint = nullptr;
    SmbiosTable = nullptr;
    SmbiosTableLength = 0;
    SmbiosTableMapping = nullptr;
    SmbiosTableMapped = 0;
}

} // namespace

DriverState::DriverState(std::shared_ptr<sim::Machine> machine) : machine_(std::move(machine))
{
    sim::installMachine(machine_);
    ZephrInitializeLocks();
    clearGlobals();
    window_ = static_cast<const uint8_t*>(
        machine_->mapIoSpace(BIOS_SEGMENT_PHYSICAL, BIOS_SEGMENT_LENGTH));
    BiosSegmentWindow = const_cast<uint8_t*>(window_);
}

DriverState::~DriverState()
{
    // As unload does: the window, then the own mapping with the length the
    // globals give (a mismatch would make the arena throw).
    if (window_ != nullptr)
        machine_->unmapIoSpace(const_cast<uint8_t*>(window_), BIOS_SEGMENT_LENGTH);
    if (SmbiosTableMapped != 0)
        machine_->unmapIoSpace(SmbiosTableMapping, SmbiosTableLength);
    clearGlobals();
    sim::installMachine(nullptr);
}

std::vector<char> DriverState::reportBuffer() const
{
    std::vector<char> buffer(ZEPHR_SYSINFO_LENGTH, static_cast<char>(0xCD));
    BuildSystemInfoReport(buffer.data());
    return buffer;
}

std::string DriverState::report() const
{
    const std::vector<char> buffer = reportBuffer();
    const auto end = std::find(buffer.begin(), buffer.end(), '\0');
    if (end == buffer.end())
        throw std::logic_error("the report has no terminating zero in its " +
                               std::to_string(ZEPHR_SYSINFO_LENGTH) + " bytes");
    return std::string(buffer.begin(), end);
}

std::string DriverState::cpuSpeed() const
{
    std::vector<char> buffer(ZEPHR_CPU_SPEED_LENGTH, static_cast<char>(0xCD));
    GetCpuSpeedText(buffer.data());
    const auto end = std::find(buffer.begin(), buffer.end(), '\0');
    if (end == buffer.end())
        throw std::logic_error("the CPU speed answer has no terminating zero in its 8 bytes");
    return std::string(buffer.begin(), end);
}

} // namespace smbios_test
