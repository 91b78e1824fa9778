// SPDX-License-Identifier: MIT
// machine_file_test.cpp
//
// Machine files: a full file builds the notebook it describes, numbers in
// either form, the defaults, and malformed files refused with the file, the
// key and the fault named.
#include "sim/machine.h"
#include "sim_test_support.h"

#include <gtest/gtest.h>

namespace {

using sim::Machine;
using sim::MachineFileError;
using sim_test::fixtureImage;
using sim_test::TempFolder;

// The fixture folder as a path relative to the folder of a machine file.
std::string relativeFixture(const TempFolder& temp, const std::string& image)
{
    return std::filesystem::relative(fixtureImage(image), temp.path()).string();
}

TEST(MachineFile, FullFileBuildsTheNotebook)
{
    TempFolder temp;
    const auto file = temp.write("latitude.json", R"({
        "name": "Latitude D810",
        "smm": { "behaviour": "echo-ax",
                 "temperatures": { "0": 52, "0x10": "0x30" },
                 "fans": [ { "state": 1, "speed": 160 }, { "state": "2", "speed": 175 } ] },
        "memory": [ ")" + relativeFixture(temp, "q35-latitude-d810") +
                                                      R"(" ],
        "unmappable": [ { "base": "0xE0000", "length": 131072 } ]
    })");
    const auto machine = Machine::fromFile(file);
    EXPECT_EQ(machine->name, "Latitude D810");
    EXPECT_EQ(machine->smm.behaviour, sim::SmmBehaviour::EchoAx);
    EXPECT_EQ(machine->smm.temperatures, (std::map<uint16_t, uint16_t>{{0, 52}, {16, 48}}));
    ASSERT_EQ(machine->smm.fans.size(), 2u);
    EXPECT_EQ(machine->smm.fans[1].state, 2);
    EXPECT_EQ(machine->smm.fans[1].speed, 175);
    EXPECT_EQ(machine->mapIoSpace(0xE0000, 0x20000), nullptr);
    uint8_t rsdt[4];
    machine->memory.read(0x3FFE0000, rsdt, 4);
    EXPECT_NE(rsdt[0], 0xFF); // the high image loaded
}

TEST(MachineFile, MissingKeysTakeTheirDefaultsAndCommentsAreAllowed)
{
    TempFolder temp;
    const auto machine =
        Machine::fromFile(temp.write("bare-notebook.json", "{ /* nothing */ } // at all"));
    EXPECT_EQ(machine->name, "bare-notebook");
    EXPECT_EQ(machine->smm.behaviour, sim::SmmBehaviour::Normal);
    EXPECT_TRUE(machine->smm.temperatures.empty());
    EXPECT_TRUE(machine->smm.fans.empty());
}

std::string errorOf(const std::filesystem::path& file)
{
    try {
        Machine::fromFile(file);
    } catch (const MachineFileError& error) {
        return error.what();
    }
    return "(no error)";
}

TEST(MachineFileErrors, UnreadableFileIsNamed)
{
    TempFolder temp;
    const auto missing = temp.path() / "absent.json";
    EXPECT_EQ(errorOf(missing), "machine file " + missing.string() + ": no such file");
    EXPECT_EQ(errorOf(temp.path()),
              "machine file " + temp.path().string() + ": is a folder, not a file");
    EXPECT_EQ(errorOf("/dev/zero"),
              "machine file /dev/zero: not a regular file (a device, FIFO or socket)");
    const auto huge = temp.write("huge.json", std::string(1024 * 1024 + 1, ' '));
    EXPECT_EQ(errorOf(huge),
              "machine file " + huge.string() + ": larger than the limit of 1 MiB (1048577 bytes)");
}

TEST(MachineFileErrors, BadImageFolderNamesTheMachineFileKeyAndRangeFile)
{
    TempFolder temp;
    temp.write("images/bad/memory/f0000.bin", "x");
    const auto file = temp.write("m.json", R"({ "memory": [ "images/bad" ] })");
    const std::string message = errorOf(file);
    EXPECT_EQ(message.rfind(file.string() + ": memory[0]: ", 0), 0u) << message;
    EXPECT_NE(message.find("f0000.bin"), std::string::npos) << message;
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

class MalformedMachineFile : public testing::TestWithParam<Malformed> {};

TEST_P(MalformedMachineFile, NamesFileKeyAndFault)
{
    TempFolder temp;
    const auto file = temp.write("notebook.json", GetParam().content);
    const std::string message = errorOf(file);
    EXPECT_EQ(message.rfind(file.string() + ": " + GetParam().key, 0), 0u) << message;
    EXPECT_NE(message.find(GetParam().what), std::string::npos) << message;
}

INSTANTIATE_TEST_SUITE_P(
    Files, MalformedMachineFile,
    testing::Values(
        Malformed{R"({ "name": )", "name: not valid JSON", "line 1"},
        Malformed{R"([ 1, 2 ])", "(top level): ", "must be an object, not an array"},
        Malformed{R"({ "smb": {} })", "smb: ", "unknown key"},
        Malformed{R"({ "smm": { "behavior": "normal" } })", "smm.behavior: ", "unknown key"},
        Malformed{R"({ "smm": { "behaviour": "loud" } })",
                  "smm.behaviour: ", "\"loud\" is not a behaviour"},
        Malformed{R"({ "smm": { "fans": { "state": 1 } } })",
                  "smm.fans: ", "must be an array, not an object"},
        Malformed{R"({ "smm": { "fans": [ {}, { "state": 3 } ] } })",
                  "smm.fans[1].state: ", "3 is out of range (0 to 2)"},
        Malformed{R"({ "smm": { "fans": [ { "speed": -1 } ] } })",
                  "smm.fans[0].speed: ", "-1 is out of range"},
        Malformed{R"({ "smm": { "fans": [ { "speed": 1.5 } ] } })",
                  "smm.fans[0].speed: ", "not a whole number"},
        Malformed{R"({ "smm": { "fans": [ { "speed": "0xZZ" } ] } })",
                  "smm.fans[0].speed: ", "is not a number"},
        Malformed{R"({ "smm": { "fans": [ { "speed": true } ] } })",
                  "smm.fans[0].speed: ", "must be a number, not a boolean"},
        Malformed{R"({ "smm": { "temperatures": { "cpu": 50 } } })",
                  "smm.temperatures.cpu: ", "\"cpu\" is not a number"},
        Malformed{R"({ "smm": { "temperatures": { "1": 50, "0x1": 51 } } })", "smm.temperatures[",
                  "given twice"},
        Malformed{R"({ "memory": [ "no-such-image" ] })", "memory[0]: ", "no-such-image"},
        Malformed{R"({ "unmappable": [ { "base": 0 } ] })",
                  "unmappable[0]: ", "missing key \"length\""},
        Malformed{R"({ "unmappable": [ { "base": "0xFFFFFFFFFFFFFFFF", "length": 2 } ] })",
                  "unmappable[0].length: ", "out of range (1 to 1)"},
        Malformed{R"({ "unmappable": [ { "base": "0x100000000000000000", "length": 1 } ] })",
                  "unmappable[0].base: ", "out of range"},
        Malformed{R"({ "smm": { "fans": [ {}, { "speed": 1e400 } ] } })",
                  "smm.fans[1].speed: ", "not valid JSON: number overflow parsing '1e400'"},
        Malformed{R"({ "smbios": { "dump": "/dev/zero" } })",
                  "smbios.dump: ", "SMBIOS dump /dev/zero: not a regular file"}));

} // namespace
