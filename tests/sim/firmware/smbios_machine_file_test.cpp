// SPDX-License-Identifier: MIT
// smbios_machine_file_test.cpp
//
// The machine file's "smbios" key: structures written as type, hex bytes
// and strings, a dmidecode dump, the addresses and overrides, placement on
// top of a firmware image, and malformed sections refused with the file,
// the key and the fault named.
#include "sim/firmware/smbios.h"
#include "sim/machine.h"
#include "sim/sim_test_support.h"

#include <gtest/gtest.h>

namespace {

using Bytes = std::vector<uint8_t>;
using sim_test::TempFolder;

Bytes read(const sim::Machine& machine, uint64_t address, size_t length)
{
    Bytes bytes(length);
    machine.memory.read(address, bytes.data(), length);
    return bytes;
}

uint32_t dwordAt(const Bytes& bytes, size_t offset)
{
    return bytes[offset] | bytes[offset + 1] << 8 | bytes[offset + 2] << 16 |
           uint32_t(bytes[offset + 3]) << 24;
}

TEST(SmbiosMachineFile, StructuresBuildATableWithAValidEntryPoint)
{
    TempFolder temp;
    const auto machine = sim::Machine::fromFile(temp.write("notebook.json", R"({
        "smbios": {
            "version": "2.4",
            "entry_point_address": "0xF0010",
            "table_address": "0xF1000",
            "structures": [
                { "type": 1, "formatted": "01 02 00 03", "strings": ["Nord", "Inspiron 8600", "T"] },
                { "type": 127, "handle": "0x7F00" } ] } })"));
    const Bytes entry = read(*machine, 0xF0010, 0x1F);
    EXPECT_EQ(std::string(entry.begin(), entry.begin() + 4), "_SM_");
    EXPECT_EQ(entry[0x06], 2);
    EXPECT_EQ(entry[0x07], 4);
    EXPECT_EQ(dwordAt(entry, 0x18), 0xF1000u);
    EXPECT_EQ(entry[0x1C], 2);
    uint8_t sum = 0;
    for (uint8_t b : entry)
        sum = uint8_t(sum + b);
    EXPECT_EQ(sum, 0);
    const std::string name = "Inspiron 8600";
    const Bytes table = read(*machine, 0xF1000, 8 + 5 + name.size() + 1 + 2 + 1 + 6);
    EXPECT_EQ(Bytes(table.begin(), table.begin() + 8), (Bytes{1, 8, 0, 0, 1, 2, 0, 3}));
    EXPECT_EQ(std::string(table.begin() + 13, table.begin() + 13 + long(name.size())), name);
    EXPECT_EQ(Bytes(table.end() - 6, table.end()), (Bytes{127, 4, 0x00, 0x7F, 0, 0}));
}

TEST(SmbiosMachineFile, OverridesDescribeBrokenFirmware)
{
    TempFolder temp;
    const auto machine = sim::Machine::fromFile(temp.write("broken.json", R"({
        "smbios": {
            "structures": [ { "type": 4, "length": 200, "string_set": "41 42" } ],
            "structure_count": 7, "table_length": 300, "entry_point_length": 16,
            "checksum": "bad", "intermediate_anchor": false } })"));
    const Bytes entry = read(*machine, 0xF0000, 0x20);
    EXPECT_EQ(entry[0x05], 16);
    EXPECT_EQ(entry[0x16] | entry[0x17] << 8, 300);
    EXPECT_EQ(entry[0x1C], 7);
    EXPECT_EQ(Bytes(entry.begin() + 0x10, entry.begin() + 0x15), Bytes(5, 0));
    uint8_t sum = 0;
    for (size_t i = 0; i < 16; ++i)
        sum = uint8_t(sum + entry[i]);
    EXPECT_EQ(sum, 1);
    EXPECT_EQ(read(*machine, 0xF0020, 6), (Bytes{4, 200, 0, 0, 'A', 'B'}));
}

TEST(SmbiosMachineFile, ADumpIsPlacedOnTopOfAnImage)
{
    TempFolder temp;
    sim::firmware::SmbiosStructure system;
    system.type = 1;
    system.formatted = {1, 2, 0, 3};
    system.strings = {"Maker", "Dumped Notebook", "T"};
    const auto table = sim::firmware::buildSmbiosTable({system});
    sim::firmware::SmbiosEntryPointFields fields;
    fields.tableLength = uint16_t(table.bytes.size());
    fields.structureCount = 1;
    const Bytes dump =
        sim::firmware::makeDmidecodeDump(sim::firmware::buildSmbiosEntryPoint(fields), table.bytes);
    temp.write("dumps/notebook.bin", std::string(dump.begin(), dump.end()));
    const auto image =
        std::filesystem::relative(sim_test::fixtureImage("i440fx-inspiron-8600"), temp.path());
    const auto machine = sim::Machine::fromFile(temp.write("dumped.json", R"({
        "memory": [ ")" + image.string() + R"(" ],
        "smbios": { "dump": "dumps/notebook.bin", "table_address": "0x100000" } })"));
    EXPECT_EQ(read(*machine, 0x100000, table.bytes.size()), table.bytes);
    EXPECT_EQ(dwordAt(read(*machine, 0xF0000, 0x1F), 0x18), 0x100000u);
    EXPECT_EQ(read(*machine, 0xF59E0, 4), (Bytes{'_', 'S', 'M', '_'}))
        << "the image is still there";
}

std::string errorOf(const TempFolder& temp, const std::string& smbios)
{
    const auto file = temp.write("notebook.json", R"({ "smbios": )" + smbios + " }");
    try {
        sim::Machine::fromFile(file);
    } catch (const sim::MachineFileError& error) {
        const std::string message = error.what();
        const std::string prefix = file.string() + ": ";
        return message.rfind(prefix, 0) == 0 ? message.substr(prefix.size()) : message;
    }
    return "no error";
}

TEST(SmbiosMachineFile, MalformedSectionsNameTheKeyAndTheFault)
{
    TempFolder temp;
    const std::vector<std::pair<std::string, std::string>> cases = {
        {R"({})", "smbios: give the table as \"structures\" or as a \"dump\" file, one of the two"},
        {R"({ "dump": "a.bin", "structures": [] })", "smbios: give the table as"},
        {R"({ "structures": [], "tables": 1 })", "smbios.tables: unknown key"},
        {R"({ "structures": [ {} ] })", "smbios.structures[0]: missing key \"type\""},
        {R"({ "structures": [ { "type": 256 } ] })",
         "smbios.structures[0].type: 256 is out of range (0 to 255)"},
        {R"({ "structures": [ { "type": 1, "formatted": "0g" } ] })",
         "smbios.structures[0].formatted: \"0g\" holds 'g', which is not a hex digit"},
        {R"({ "structures": [ { "type": 1, "formatted": "012" } ] })",
         "smbios.structures[0].formatted: \"012\" ends in half a byte"},
        {R"({ "structures": [ { "type": 1, "formatted": "0 1" } ] })",
         "smbios.structures[0].formatted: a hex byte is cut in two by a blank"},
        {R"({ "structures": [ { "type": 1, "strings": ["a"], "string_set": "00" } ] })",
         "smbios.structures[0].string_set: give either \"strings\" or \"string_set\""},
        {R"({ "structures": [ { "type": 1, "strings": ["a\u0000b"] } ] })",
         "smbios.structures[0].strings[0]: a string holds a zero byte"},
        {R"({ "structures": [], "version": "2" })", "smbios.version: \"2\" is not a version"},
        {R"({ "structures": [], "checksum": "fine" })",
         "smbios.checksum: \"fine\" is not a checksum state (good or bad)"},
        {R"({ "structures": [], "intermediate_anchor": 0 })",
         "smbios.intermediate_anchor: must be true or false"},
        {R"({ "structures": [], "table_address": "0x100000000" })",
         "smbios.table_address: \"0x100000000\" is out of range"},
        {R"({ "structures": [ { "type": 1 } ], "table_address": "0xF0010" })",
         "smbios: the SMBIOS structure table at 0xf0010 overlaps its entry point at 0xf0000"},
        {R"({ "dump": "none.bin" })", "smbios.dump: "},
    };
    for (const auto& [section, expected] : cases) {
        const std::string message = errorOf(temp, section);
        EXPECT_EQ(message.rfind(expected, 0), 0u) << section << "\n  gave: " << message;
    }
    EXPECT_NE(errorOf(temp, R"({ "dump": "none.bin" })").find("none.bin: no such file"),
              std::string::npos);
}

} // namespace
