// SPDX-License-Identifier: MIT
// driver_harness.cpp
//
// The test support behind driver_harness.h.
#include "support/driver_harness.h"

#include <stdexcept>

namespace zephr_test {

LoadedDriver::LoadedDriver(std::shared_ptr<sim::Machine> machine, const nt::Faults& faults)
    : machine_(machine ? std::move(machine)
                       : std::shared_ptr<sim::Machine>(sim::Machine::builtin()))
{
    sim::installMachine(machine_);
    auto& io = nt::IoManager::instance();
    io.setFaults(faults);
    loadStatus_ = io.loadDriver(nt::IoManager::defaultDriverPath());
    loaded_ = NT_SUCCESS(loadStatus_);
}

void LoadedDriver::unload()
{
    if (loaded_) {
        nt::IoManager::instance().unloadDriver();
        loaded_ = false;
    }
}

LoadedDriver::~LoadedDriver()
{
    unload();
    auto& io = nt::IoManager::instance();
    io.setFaults({});
    // A device left behind by an unload that could not remove its link must
    // not stand in the way of the next test's load.
    io.discardUnloadedDevices();
}

uint32_t Reply::word() const
{
    if (output.size() < 4) {
        throw std::logic_error("reply has fewer than 4 output bytes");
    }
    return uint32_t(output[0]) | uint32_t(output[1]) << 8 | uint32_t(output[2]) << 16 |
           uint32_t(output[3]) << 24;
}

std::string Reply::text() const
{
    std::string text;
    for (uint8_t byte : output) {
        if (byte == 0) {
            return text;
        }
        text.push_back(char(byte));
    }
    throw std::logic_error("reply text has no terminating zero");
}

Device::Device(DWORD access)
{
    handle_ =
        CreateFileA(ZEPHR_USER_PATH, access, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
    if (handle_ == INVALID_HANDLE_VALUE) {
        openError_ = GetLastError();
    }
}

Device::~Device()
{
    if (open()) {
        CloseHandle(handle_);
    }
}

Reply Device::ioctl(DWORD code, const std::vector<uint8_t>& input, DWORD outputLength) const
{
    Reply reply;
    reply.output.assign(outputLength, 0xEE);
    std::vector<uint8_t> in = input;
    DWORD bytes = 0xDEADBEEF;
    BOOL ok = DeviceIoControl(handle_, code, in.empty() ? nullptr : in.data(), DWORD(in.size()),
                              reply.output.empty() ? nullptr : reply.output.data(), outputLength,
                              &bytes, nullptr);
    reply.ok = ok != FALSE;
    reply.error = ok ? 0 : GetLastError();
    reply.bytes = bytes;
    return reply;
}

Reply Device::words(DWORD code, uint16_t word0, uint16_t word1) const
{
    const ZEPHR_CONTROL_CODE_ROW* row = ZephrFindControlCode(code);
    return ioctl(code, {uint8_t(word0), uint8_t(word0 >> 8), uint8_t(word1), uint8_t(word1 >> 8)},
                 row != nullptr ? row->MinOutputLength : ZEPHR_ANSWER_LENGTH);
}

std::string fixtureImage(const std::string& name)
{
    return std::string(ZEPHR_FIXTURES_DIR) + "/firmware/" + name;
}

} // namespace zephr_test
