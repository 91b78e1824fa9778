// machine.cpp
//
// The simulated notebook: port bus, SMI exchange, the installed machine.
// (First cut; the memory, mapping arena and SMM BIOS follow.)
#include "sim/machine.h"

namespace sim {

void SmmBios::handle(SmmRegisters&) {}
void PhysicalMemory::load(uint64_t, const std::vector<uint8_t>&) {}
void PhysicalMemory::loadImageFolder(const std::filesystem::path&) {}
void PhysicalMemory::markUnmappable(uint64_t, uint64_t) {}
bool PhysicalMemory::mappable(uint64_t, uint64_t) const { return false; }
void PhysicalMemory::read(uint64_t, void*, size_t) const {}

struct MappingArena::State {};
MappingArena::MappingArena() : state_(std::make_unique<State>()) {}
MappingArena::~MappingArena() = default;
void* MappingArena::map(const PhysicalMemory&, uint64_t, size_t) { return nullptr; }
void MappingArena::unmap(void*, size_t) {}
std::vector<Mapping> MappingArena::live() const { return {}; }

Machine::Machine() = default;
Machine::~Machine() = default;
std::unique_ptr<Machine> Machine::builtin() { return std::make_unique<Machine>(); }
std::unique_ptr<Machine> Machine::fromFile(const std::filesystem::path&)
{
    return std::make_unique<Machine>();
}
void* Machine::mapIoSpace(uint64_t, size_t) { return nullptr; }
void Machine::unmapIoSpace(void*, size_t) {}
std::vector<Mapping> Machine::liveMappings() const { return {}; }
uint8_t Machine::portIn(uint16_t) { return 0xFF; }
void Machine::portOut(uint16_t, uint8_t) {}
void Machine::attach(std::shared_ptr<PortDevice> device) { devices_.push_back(std::move(device)); }
void Machine::smiExchange(SmmRegisters&) {}
std::optional<uint8_t> Machine::lastPostCode() const { return postCode_; }
uint64_t Machine::smiCount() const { return smiCount_; }

namespace {
std::mutex installedLock;
std::shared_ptr<Machine> installed;
} // namespace

void installMachine(std::shared_ptr<Machine> machine)
{
    std::lock_guard guard(installedLock);
    installed = std::move(machine);
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
