// SPDX-License-Identifier: MIT
// machine.cpp
//
// The simulated notebook as the driver sees it: MmMapIoSpace on its physical
// memory, the I/O port bus with its devices and the POST code port, the SMI
// exchange with the SMM BIOS, and the one machine installed per process.
#include "sim/machine.h"

#include "common/smm_interface.h"

#include <cstdarg>
#include <cstdio>
#include <utility>

namespace sim {

namespace {

constexpr uint16_t kPostCodePort = SMM_POST_CODE_PORT;

std::string format(const char* pattern, ...) __attribute__((format(printf, 1, 2)));

std::string format(const char* pattern, ...)
{
    char text[160];
    va_list arguments;
    va_start(arguments, pattern);
    std::vsnprintf(text, sizeof text, pattern, arguments);
    va_end(arguments);
    return text;
}

unsigned long long wide(uint64_t value)
{
    return static_cast<unsigned long long>(value);
}

} // namespace

Machine::Machine() = default;
Machine::~Machine() = default;

void* Machine::mapIoSpace(uint64_t physical, size_t length)
{
    std::lock_guard guard(lock_);
    void* address = arena_.map(memory, physical, length);
    if (address == nullptr)
        trace.line(format("map 0x%08llx %zu -> null", wide(physical), length));
    else
        trace.line(format("map 0x%08llx %zu -> 0x%08llx", wide(physical), length,
                          wide(reinterpret_cast<uintptr_t>(address))));
    return address;
}

void Machine::unmapIoSpace(void* address, size_t length)
{
    std::lock_guard guard(lock_);
    arena_.unmap(address, length);
    trace.line(format("unmap 0x%08llx %zu", wide(reinterpret_cast<uintptr_t>(address)), length));
}

std::vector<Mapping> Machine::liveMappings() const
{
    std::lock_guard guard(lock_);
    return arena_.live();
}

uint8_t Machine::portIn(uint16_t port)
{
    std::lock_guard guard(lock_);
    uint8_t value = 0xFF;
    bool claimed = false;
    for (const auto& device : devices_)
        if (device->claims(port)) {
            value = device->in(port);
            claimed = true;
            break;
        }
    // The POST code latch reads back what was last written to it.
    if (!claimed && port == kPostCodePort && postCode_)
        value = *postCode_;
    trace.line(format("in 0x%04x -> 0x%02x", port, value));
    return value;
}

void Machine::portOut(uint16_t port, uint8_t value)
{
    std::lock_guard guard(lock_);
    trace.line(format("out 0x%04x 0x%02x", port, value));
    if (port == kPostCodePort)
        postCode_ = value;
    for (const auto& device : devices_)
        if (device->claims(port)) {
            device->out(port, value);
            return;
        }
}

void Machine::attach(std::shared_ptr<PortDevice> device)
{
    if (!device)
        throw std::invalid_argument("Machine::attach: no device given");
    std::lock_guard guard(lock_);
    devices_.push_back(std::move(device));
}

// The machine does not serialize SMIs: like a processor whose cores each
// raise one, two exchanges may run the handler at once, and only the driver's
// own lock keeps them apart (and its exchange's SMI and POST code write
// together).
void Machine::smi(SmmRegisters& registers)
{
    const SmmRegisters sent = registers;
    {
        std::lock_guard guard(lock_);
        ++smiCount_;
    }
    smm.handle(registers);
    std::lock_guard guard(lock_);
    trace.line(format("smi ax=%04x bx=%04x cx=%04x dx=%04x -> ax=%04x bx=%04x cx=%04x dx=%04x",
                      sent.ax, sent.bx, sent.cx, sent.dx, registers.ax, registers.bx, registers.cx,
                      registers.dx));
}

std::optional<uint8_t> Machine::lastPostCode() const
{
    std::lock_guard guard(lock_);
    return postCode_;
}

uint64_t Machine::smiCount() const
{
    std::lock_guard guard(lock_);
    return smiCount_;
}

namespace {
std::mutex installedLock;
std::shared_ptr<Machine> installed;
} // namespace

void installMachine(std::shared_ptr<Machine> machine)
{
    std::shared_ptr<Machine> previous;
    {
        std::lock_guard guard(installedLock);
        previous = std::exchange(installed, std::move(machine));
    }
    // The machine that was installed goes (if nobody else holds it) outside
    // the lock, as its mappings are released on the way.
}

Machine& currentMachine()
{
    auto machine = currentMachinePtr();
    if (!machine)
        throw std::logic_error("no simulated machine is installed");
    return *machine;
}

std::shared_ptr<Machine> currentMachinePtr()
{
    std::lock_guard guard(installedLock);
    return installed;
}

} // namespace sim
