// SPDX-License-Identifier: MIT
// superio_machine_file_test.cpp
//
// The "superio" section of machine files: a full section builds the chip it
// describes, the defaults, no section means no chip, and malformed sections
// are refused with the file, the key and the fault named.
#include "sim/machine.h"
#include "sim/sim_test_support.h"

#include <gtest/gtest.h>

namespace {

using sim::Machine;
using sim_test::TempFolder;

uint8_t configRead(Machine& machine, uint16_t port, uint8_t index)
{
    machine.portOut(port, index);
    return machine.portIn(port + 1);
}

uint8_t runtimeRead(Machine& machine, uint16_t base, uint8_t index)
{
    machine.portOut(base, index);
    return machine.portIn(base + 1);
}

TEST(SuperIoMachineFile, FullSectionBuildsTheChip)
{
    TempFolder temp;
    const auto machine = Machine::fromFile(temp.write("chip.json", R"({
        "superio": { "port": "0x4E", "id": "0x0E", "revision": 127, "resting": "0x3C",
                     "base": "0x0A00", "registers": { "0x92": "0xC2", "147": 129 },
                     "echo": false, "stuck": { "0x95": "0x90" } }
    })"));
    EXPECT_EQ(machine->portIn(0x4F), 0x3C);
    machine->portOut(0x4E, 0x55);
    EXPECT_EQ(configRead(*machine, 0x4E, 0x20), 0x0E);
    EXPECT_EQ(configRead(*machine, 0x4E, 0x21), 0x7F);
    machine->portOut(0x4E, 0x07);
    machine->portOut(0x4F, 0x09);
    EXPECT_EQ(configRead(*machine, 0x4E, 0x60), 0x0A);
    EXPECT_EQ(configRead(*machine, 0x4E, 0x61), 0x00);
    EXPECT_EQ(runtimeRead(*machine, 0x0A00, 0x92), 0xC2);
    EXPECT_EQ(runtimeRead(*machine, 0x0A00, 0x93), 0x81);
    machine->portOut(0x0A00, 0x95);
    machine->portOut(0x0A01, 0xFE);
    EXPECT_EQ(runtimeRead(*machine, 0x0A00, 0x95), 0x90) << "stuck";
    machine->portOut(0x4E, 0xAA);
    EXPECT_NE(machine->portIn(0x4E), 0xAA) << "no echo";
}

TEST(SuperIoMachineFile, AnEmptySectionIsTheDefaultChipAt0x2E)
{
    TempFolder temp;
    const auto machine = Machine::fromFile(temp.write("chip.json", R"({ "superio": {} })"));
    EXPECT_EQ(machine->portIn(0x2F), 0xFF);
    machine->portOut(0x2E, 0x55);
    EXPECT_EQ(configRead(*machine, 0x2E, 0x20), 0x0E);
    EXPECT_LT(configRead(*machine, 0x2E, 0x21), 0x80);
    EXPECT_EQ(runtimeRead(*machine, 0x0680, 0x92), 0x80);
}

TEST(SuperIoMachineFile, EchoIsReadFromTheFile)
{
    TempFolder temp;
    const auto machine =
        Machine::fromFile(temp.write("chip.json", R"({ "superio": { "echo": true } })"));
    machine->portOut(0x2E, 0xAA);
    EXPECT_EQ(machine->portIn(0x2E), 0xAA);
}

TEST(SuperIoMachineFile, WithoutTheSectionTheConfigurationPortsFloat)
{
    TempFolder temp;
    const auto machine = Machine::fromFile(temp.write("none.json", "{}"));
    for (uint16_t port : {0x2E, 0x4E}) {
        machine->portOut(port, 0x55);
        machine->portOut(port, 0x55);
        EXPECT_EQ(machine->portIn(port), 0xFF) << port;
        EXPECT_EQ(configRead(*machine, port, 0x20), 0xFF) << port;
    }
}

std::string errorOf(const std::filesystem::path& file)
{
    try {
        Machine::fromFile(file);
    } catch (const sim::MachineFileError& error) {
        return error.what();
    }
    return "(no error)";
}

struct Malformed {
    const char* content;
    const char* key;  // the path the message must name
    const char* what; // and a piece of what it must say
};

void PrintTo(const Malformed& malformed, std::ostream* out)
{
    *out << malformed.content;
}

class MalformedSuperIoSection : public testing::TestWithParam<Malformed> {};

TEST_P(MalformedSuperIoSection, NamesFileKeyAndFault)
{
    TempFolder temp;
    const auto file = temp.write("notebook.json", GetParam().content);
    const std::string message = errorOf(file);
    EXPECT_EQ(message.rfind(file.string() + ": " + GetParam().key, 0), 0u) << message;
    EXPECT_NE(message.find(GetParam().what), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedSuperIoSection,
    testing::Values(
        Malformed{R"({ "superio": [] })", "superio: ", "must be an object"},
        Malformed{R"({ "superio": { "bsae": 1 } })", "superio.bsae: ", "unknown key"},
        Malformed{R"({ "superio": { "port": "0x3F0" } })",
                  "superio.port: ", "\"0x3F0\" is not a configuration port (0x2E or 0x4E)"},
        Malformed{R"({ "superio": { "id": 256 } })", "superio.id: ", "out of range (0 to 255)"},
        Malformed{R"({ "superio": { "base": "0x10000" } })", "superio.base: ", "out of range"},
        Malformed{R"({ "superio": { "base": "0x2F" } })",
                  "superio: ", "overlaps the configuration ports"},
        Malformed{R"({ "superio": { "echo": "yes" } })", "superio.echo: ", "is not true or false"},
        Malformed{R"({ "superio": { "registers": { "fan": 1 } } })",
                  "superio.registers.fan: ", "\"fan\" is not a number"},
        Malformed{R"({ "superio": { "registers": { "0x92": "0x100" } } })",
                  "superio.registers[\"0x92\"]: ", "out of range (0 to 255)"},
        Malformed{R"({ "superio": { "stuck": { "146": 1, "0x92": 2 } } })", "superio.stuck[",
                  "given twice"}));

} // namespace
