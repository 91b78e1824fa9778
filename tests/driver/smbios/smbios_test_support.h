// SPDX-License-Identifier: MIT
// smbios_test_support.h
//
// Helpers for the SMBIOS suites: structures written field by field, a
// simulated notebook holding a table where a test puts it, and the driver's
// SMBIOS globals set up around the BIOS segment window of such a notebook
// for suites that call the driver's routines directly.
#pragma once

#include "sim/firmware/smbios.h"
#include "sim/machine.h"

#include <memory>
#include <string>
#include <vector>

namespace smbios_test {

using sim::firmware::SmbiosLayout;
using sim::firmware::SmbiosStructure;

// A formatted area written by field offsets counted from the type byte.
class Fields {
  public:
    explicit Fields(uint8_t length) : bytes_(length >= 4 ? length - 4u : 0u, 0) {}
    Fields& byte(size_t offset, uint8_t value)
    {
        bytes_.at(offset - 4) = value;
        return *this;
    }
    Fields& word(size_t offset, uint16_t value)
    {
        byte(offset, static_cast<uint8_t>(value));
        return byte(offset + 1, static_cast<uint8_t>(value >> 8));
    }
    const std::vector<uint8_t>& bytes() const
    {
        return bytes_;
    }

  private:
    std::vector<uint8_t> bytes_;
};

inline SmbiosStructure structure(uint8_t type, const Fields& fields,
                                 std::vector<std::string> strings = {})
{
    SmbiosStructure made;
    made.type = type;
    made.formatted = fields.bytes();
    made.strings = std::move(strings);
    return made;
}

// The bytes of one structure as it lies in a table.
inline std::vector<uint8_t> structureBytes(const SmbiosStructure& structure)
{
    return sim::firmware::buildSmbiosTable({structure}).bytes;
}

// A notebook with nothing in memory but the table and its entry point.
inline std::shared_ptr<sim::Machine> machineWith(const std::vector<SmbiosStructure>& structures,
                                                 const SmbiosLayout& layout = {})
{
    auto machine = std::make_shared<sim::Machine>();
    machine->name = "smbios test";
    sim::firmware::placeSmbios(machine->memory, sim::firmware::buildSmbiosTable(structures),
                               layout);
    return machine;
}

// A System Information structure naming the product.
inline SmbiosStructure systemNamed(const std::string& product)
{
    return structure(1, Fields(0x08).byte(0x04, 1).byte(0x05, 2).byte(0x07, 3),
                     {"Maker", product, "TAG"});
}

// The driver's SMBIOS state (static library) around the window of a
// notebook: installs the machine, maps its window into BiosSegmentWindow,
// and at the end releases the window and any own table mapping as unload
// does and clears every global.
class DriverState {
  public:
    explicit DriverState(std::shared_ptr<sim::Machine> machine);
    ~DriverState();
    DriverState(const DriverState&) = delete;
    DriverState& operator=(const DriverState&) = delete;

    sim::Machine& machine()
    {
        return *machine_;
    }
    const uint8_t* window() const
    {
        return window_;
    }

    std::string report() const;   // BuildSystemInfoReport's text
    std::string cpuSpeed() const; // GetCpuSpeedText's text
    // The whole buffer after BuildSystemInfoReport, which starts out dirty.
    std::vector<char> reportBuffer() const;

  private:
    std::shared_ptr<sim::Machine> machine_;
    const uint8_t* window_ = nullptr;
};

} // namespace smbios_test
