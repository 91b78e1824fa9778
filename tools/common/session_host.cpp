// SPDX-License-Identifier: MIT
// session_host.cpp
//
// The host build's Session: a simulated notebook installed for the
// session's lifetime and the driver image loaded into the host NT layer.
#include "tools/common/session.h"

#include "platform/emulated-image/emulated_driver.h"
#include "platform/host-nt/nt_host.h"
#include "sim/machine.h"

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

namespace tools {

namespace {

std::shared_ptr<sim::Machine> makeMachine(const SessionOptions& options)
{
    if (options.machineFile) {
        try {
            return sim::Machine::fromFile(*options.machineFile);
        } catch (const sim::MachineFileError& error) {
            throw InputFileError(error.what());
        }
    }
    return sim::Machine::builtin();
}

std::string statusText(NTSTATUS status)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", static_cast<unsigned>(status));
    return text;
}

} // namespace

Session::Session(const SessionOptions& options)
{
    sim::installMachine(makeMachine(options));
    if (options.trace)
        sim::currentMachine().trace.echoTo(options.trace);
    if (!options.loadDriver)
        return;
    const std::string image =
        options.driverImage ? options.driverImage->string() : nt::IoManager::defaultDriverPath();
    NTSTATUS status;
    try {
        status = options.driverImage
                     ? emulated::loadDriverImage(*options.driverImage, {.base = options.imageBase})
                     : nt::IoManager::instance().loadDriver(image);
    } catch (...) {
        sim::installMachine(nullptr);
        throw;
    }
    if (!NT_SUCCESS(status)) {
        sim::installMachine(nullptr);
        throw std::runtime_error("driver image " + image + ": DriverEntry returned " +
                                 statusText(status));
    }
    driverLoaded_ = true;
}

Session::~Session()
{
    if (driverLoaded_)
        nt::IoManager::instance().unloadDriver();
    if (auto machine = sim::currentMachinePtr())
        machine->trace.echoTo(nullptr);
    sim::installMachine(nullptr);
}

void Session::setTrace(std::ostream* stream)
{
    sim::currentMachine().trace.echoTo(stream);
}

bool Session::simulated()
{
    return true;
}

} // namespace tools
