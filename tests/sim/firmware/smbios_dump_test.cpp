// SPDX-License-Identifier: MIT
// smbios_dump_test.cpp
//
// SMBIOS dumps in dmidecode's --dump-bin format: written from an entry
// point and its table, read back, read by dmidecode itself, and the faults
// of a file that is no such dump. The built-in notebook's table goes through
// dmidecode too, which must decode all of it.
#include "sim/firmware/smbios.h"

#include "driver/smbios/dmidecode.h"
#include "sim/sim_test_support.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

using Bytes = std::vector<uint8_t>;
using sim::firmware::loadDmidecodeDump;
using sim::firmware::makeDmidecodeDump;

std::string asText(const Bytes& bytes)
{
    return std::string(bytes.begin(), bytes.end());
}

sim::firmware::SmbiosTable sampleTable()
{
    sim::firmware::SmbiosStructure system;
    system.type = 1;
    system.formatted = {1, 2, 0, 3};
    system.strings = {"Nord", "Inspiron 8600", "TAG"};
    sim::firmware::SmbiosStructure end;
    end.type = 127;
    auto table = sim::firmware::buildSmbiosTable({system, end});
    table.minorVersion = 4;
    return table;
}

Bytes entryPointFor(const sim::firmware::SmbiosTable& table, uint32_t address)
{
    sim::firmware::SmbiosEntryPointFields fields;
    fields.tableAddress = address;
    fields.tableLength = uint16_t(table.bytes.size());
    fields.structureCount = table.structureCount;
    fields.maxStructureSize = table.maxStructureSize;
    fields.minorVersion = table.minorVersion;
    return sim::firmware::buildSmbiosEntryPoint(fields);
}

// The entry point and table the built-in notebook keeps in memory.
std::pair<Bytes, Bytes> builtinSmbios()
{
    const auto machine = sim::Machine::builtin();
    Bytes entry(0x1F);
    machine->memory.read(0xFDA40, entry.data(), entry.size());
    Bytes table(entry[0x16] | entry[0x17] << 8);
    machine->memory.read(0xFDA60, table.data(), table.size());
    return {entry, table};
}

TEST(DmidecodeDump, IsTheEntryPointAtZeroAndTheTableAt0x20)
{
    const auto table = sampleTable();
    const Bytes dump = makeDmidecodeDump(entryPointFor(table, 0xF5A00), table.bytes);
    ASSERT_EQ(dump.size(), 0x20 + table.bytes.size());
    EXPECT_EQ(asText(Bytes(dump.begin(), dump.begin() + 4)), "_SM_");
    EXPECT_EQ(dump[0x18] | dump[0x19] << 8 | dump[0x1A] << 16 | dump[0x1B] << 24, 0x20);
    EXPECT_EQ(Bytes(dump.begin() + 0x20, dump.end()), table.bytes);
    uint8_t sum = 0, intermediate = 0;
    for (size_t i = 0; i < 0x1F; ++i)
        sum = uint8_t(sum + dump[i]);
    for (size_t i = 0x10; i < 0x1F; ++i)
        intermediate = uint8_t(intermediate + dump[i]);
    EXPECT_EQ(sum, 0);
    EXPECT_EQ(intermediate, 0);
}

TEST(DmidecodeDump, ReadsBackWhatWasWritten)
{
    sim_test::TempFolder folder;
    const auto table = sampleTable();
    const Bytes dump = makeDmidecodeDump(entryPointFor(table, 0x100000), table.bytes);
    const auto file = folder.write("notebook.bin", asText(dump));
    const auto loaded = loadDmidecodeDump(file);
    EXPECT_EQ(loaded.bytes, table.bytes);
    EXPECT_EQ(loaded.structureCount, 2u);
    EXPECT_EQ(loaded.majorVersion, 2u);
    EXPECT_EQ(loaded.minorVersion, 4u);
    EXPECT_EQ(loaded.maxStructureSize, table.maxStructureSize);
}

TEST(DmidecodeDump, AnSmbios3DumpIsCountedToTheEndOfTable)
{
    sim_test::TempFolder folder;
    const auto table = sampleTable();
    Bytes entry(0x18, 0);
    std::memcpy(entry.data(), "_SM3_", 5);
    entry[0x06] = 0x18;
    entry[0x07] = 3;
    entry[0x08] = 2;
    entry[0x0C] = uint8_t(table.bytes.size() + 10); // a maximum, not the size
    Bytes dump = makeDmidecodeDump(entry, table.bytes);
    dump.resize(dump.size() + 10, 0xAA);
    const auto loaded = loadDmidecodeDump(folder.write("sm3.bin", asText(dump)));
    EXPECT_EQ(loaded.structureCount, 2u);
    EXPECT_EQ(loaded.majorVersion, 3u);
    EXPECT_EQ(loaded.minorVersion, 2u);
    EXPECT_EQ(Bytes(loaded.bytes.begin(), loaded.bytes.begin() + long(table.bytes.size())),
              table.bytes);
}

TEST(DmidecodeDump, NamesTheFileAndTheFault)
{
    sim_test::TempFolder folder;
    auto failure = [](const std::filesystem::path& file) {
        try {
            loadDmidecodeDump(file);
        } catch (const std::runtime_error& error) {
            return std::string(error.what());
        }
        return std::string("no error");
    };
    const auto missing = folder.path() / "none.bin";
    EXPECT_EQ(failure(missing), "SMBIOS dump " + missing.string() + ": no such file");
    // What no dmidecode dump is: read whole, they would never end or be huge.
    EXPECT_EQ(failure("/dev/zero"),
              "SMBIOS dump /dev/zero: not a regular file (a device, FIFO or socket)");
    const auto huge = folder.write("huge.bin", std::string(0x10000 + 0x20 + 1, '\0'));
    EXPECT_NE(failure(huge).find("SMBIOS dump " + huge.string() +
                                 ": larger than the limit of 65568 bytes"),
              std::string::npos)
        << failure(huge);

    const auto text = folder.write("text.bin", "hello, this is not a dump at all");
    EXPECT_NE(failure(text).find("text.bin: not a dmidecode dump"), std::string::npos);

    const auto cut = folder.write("cut.bin", "_SM_\x01\x1f");
    EXPECT_NE(failure(cut).find("cut.bin: the SMBIOS entry point is cut short"), std::string::npos);

    const auto table = sampleTable();
    Bytes dump = makeDmidecodeDump(entryPointFor(table, 0), table.bytes);
    dump.resize(dump.size() - 3);
    const auto shortTable = folder.write("short.bin", asText(dump));
    EXPECT_NE(failure(shortTable)
                  .find("short.bin: the entry point gives a table of " +
                        std::to_string(table.bytes.size()) + " bytes at offset 32"),
              std::string::npos)
        << failure(shortTable);
}

TEST(DmidecodeDump, DmidecodeReadsTheDumpsWritten)
{
    const auto table = sampleTable();
    const auto decoding =
        smbios_test::runDmidecode(makeDmidecodeDump(entryPointFor(table, 0xF0000), table.bytes));
    EXPECT_EQ(decoding.exitStatus, 0) << decoding.output;
    EXPECT_NE(decoding.output.find("SMBIOS 2.4 present."), std::string::npos) << decoding.output;
    ASSERT_EQ(decoding.ofType(1).size(), 1u) << decoding.output;
    EXPECT_EQ(decoding.ofType(1)[0]->value("Product Name"), "Inspiron 8600");
}

TEST(BuiltinSmbios, DmidecodeDecodesTheWholeTableWithoutComplaint)
{
    const auto [entry, table] = builtinSmbios();
    const auto decoding = smbios_test::runDmidecode(makeDmidecodeDump(entry, table));
    EXPECT_EQ(decoding.exitStatus, 0);
    EXPECT_NE(decoding.output.find("SMBIOS 2.3 present."), std::string::npos) << decoding.output;
    EXPECT_NE(
        decoding.output.find("16 structures occupying " + std::to_string(table.size()) + " bytes."),
        std::string::npos)
        << decoding.output;
    for (const char* complaint : {"Invalid", "Wrong", "<BAD INDEX>", "<OUT OF SPEC>", "Truncated"})
        EXPECT_EQ(decoding.output.find(complaint), std::string::npos) << complaint;
    ASSERT_EQ(decoding.records.size(), 16u);
    EXPECT_EQ(decoding.records.back().title, "End Of Table");

    const auto* battery = decoding.ofType(22).at(0);
    EXPECT_EQ(battery->value("SBDS Manufacture Date"), "2003-04-01");
    EXPECT_EQ(decoding.ofType(7).at(1)->value("Installed Size"), "1 MB");
    EXPECT_EQ(decoding.ofType(17).size(), 2u);
}

} // namespace
