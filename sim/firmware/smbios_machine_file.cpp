// SPDX-License-Identifier: MIT
// smbios_machine_file.cpp
//
// The machine file's "smbios" section: the structures (type, formatted area
// as hex bytes, strings) or the dmidecode dump, the table and entry point
// addresses, and the overrides that describe broken firmware.
#include "sim/firmware/smbios_machine_file.h"

#include "sim/firmware/smbios.h"

#include <cctype>
#include <stdexcept>

namespace sim::firmware {

namespace {

using machine_file::Place;
using nlohmann::json;

// "01 1b 00 01": bytes as they lie in memory, pairs of hex digits with
// blanks anywhere between pairs.
std::vector<uint8_t> hexBytes(const json& value, const Place& place)
{
    const std::string written = machine_file::text(value, place);
    std::vector<uint8_t> bytes;
    std::string pair;
    for (char c : written) {
        if (std::isspace(static_cast<unsigned char>(c))) {
            if (!pair.empty())
                place.fail("a hex byte is cut in two by a blank (write pairs of hex digits)");
            continue;
        }
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            place.fail(json(written).dump() + " holds '" + std::string(1, c) +
                       "', which is not a hex digit");
        pair.push_back(c);
        if (pair.size() == 2) {
            bytes.push_back(static_cast<uint8_t>(std::stoul(pair, nullptr, 16)));
            pair.clear();
        }
    }
    if (!pair.empty())
        place.fail(json(written).dump() + " ends in half a byte (write pairs of hex digits)");
    return bytes;
}

std::vector<std::string> strings(const json& value, const Place& place)
{
    machine_file::array(value, place);
    std::vector<std::string> texts;
    for (size_t i = 0; i < value.size(); ++i) {
        std::string text = machine_file::text(value[i], place.index(i));
        if (text.find('\0') != std::string::npos)
            place.index(i).fail("a string holds a zero byte (describe such a string set with "
                                "\"string_set\")");
        texts.push_back(std::move(text));
    }
    return texts;
}

SmbiosStructure structureAt(const json& value, const Place& place)
{
    machine_file::object(value, place,
                         {"type", "formatted", "strings", "length", "handle", "string_set"});
    SmbiosStructure structure;
    structure.type = static_cast<uint8_t>(machine_file::number(
        machine_file::required(value, "type", place), place.key("type"), 0, 255));
    if (value.contains("formatted")) {
        structure.formatted = hexBytes(value["formatted"], place.key("formatted"));
        if (structure.formatted.size() > 251)
            place.key("formatted")
                .fail(std::to_string(structure.formatted.size()) +
                      " bytes after the header make a formatted area "
                      "longer than 255 bytes");
    }
    if (value.contains("strings"))
        structure.strings = strings(value["strings"], place.key("strings"));
    if (value.contains("length"))
        structure.length = static_cast<uint8_t>(
            machine_file::number(value["length"], place.key("length"), 0, 255));
    if (value.contains("handle"))
        structure.handle = static_cast<uint16_t>(
            machine_file::number(value["handle"], place.key("handle"), 0, 0xFFFF));
    if (value.contains("string_set")) {
        if (value.contains("strings"))
            place.key("string_set").fail("give either \"strings\" or \"string_set\", not both");
        structure.stringSet = hexBytes(value["string_set"], place.key("string_set"));
    }
    return structure;
}

SmbiosTable tableOfStructures(const json& value, const Place& place)
{
    machine_file::array(value, place);
    std::vector<SmbiosStructure> structures;
    for (size_t i = 0; i < value.size(); ++i)
        structures.push_back(structureAt(value[i], place.index(i)));
    try {
        return buildSmbiosTable(structures);
    } catch (const std::invalid_argument& error) {
        place.fail(error.what());
    }
}

SmbiosTable tableOfDump(const json& value, const Place& place)
{
    const auto file = place.resolve(machine_file::text(value, place));
    try {
        return loadDmidecodeDump(file);
    } catch (const std::runtime_error& error) {
        place.fail(error.what());
    }
}

// "2.3": the SMBIOS version the entry point gives.
void applyVersion(SmbiosTable& table, const json& value, const Place& place)
{
    const std::string written = machine_file::text(value, place);
    const auto dot = written.find('.');
    if (dot == std::string::npos)
        place.fail(json(written).dump() + " is not a version (write major.minor, like \"2.3\")");
    table.majorVersion =
        static_cast<uint8_t>(machine_file::numberFromText(written.substr(0, dot), place, 0, 255));
    table.minorVersion =
        static_cast<uint8_t>(machine_file::numberFromText(written.substr(dot + 1), place, 0, 255));
}

bool checksumIsBad(const json& value, const Place& place)
{
    const std::string written = machine_file::text(value, place);
    if (written == "good")
        return false;
    if (written == "bad")
        return true;
    place.fail(json(written).dump() + " is not a checksum state (good or bad)");
}

SmbiosLayout layoutOf(const json& value, const Place& place)
{
    SmbiosLayout layout;
    if (value.contains("entry_point_address"))
        layout.entryPointAddress = machine_file::number(
            value["entry_point_address"], place.key("entry_point_address"), 0, 0xFFFFFFFF);
    if (value.contains("table_address"))
        layout.tableAddress =
            machine_file::number(value["table_address"], place.key("table_address"), 0, 0xFFFFFFFF);
    if (value.contains("structure_count"))
        layout.structureCount = static_cast<uint16_t>(machine_file::number(
            value["structure_count"], place.key("structure_count"), 0, 0xFFFF));
    if (value.contains("table_length"))
        layout.tableLength = static_cast<uint16_t>(
            machine_file::number(value["table_length"], place.key("table_length"), 0, 0xFFFF));
    if (value.contains("entry_point_length"))
        layout.entryPointLength = static_cast<uint8_t>(machine_file::number(
            value["entry_point_length"], place.key("entry_point_length"), 0, 255));
    if (value.contains("checksum"))
        layout.badChecksum = checksumIsBad(value["checksum"], place.key("checksum"));
    if (value.contains("intermediate_anchor")) {
        const json& anchor = value["intermediate_anchor"];
        if (!anchor.is_boolean())
            place.key("intermediate_anchor").fail("must be true or false");
        layout.intermediateAnchor = anchor.get<bool>();
    }
    return layout;
}

} // namespace

void parseSmbiosSection(Machine& machine, const json& value, const Place& place)
{
    machine_file::object(value, place,
                         {"dump", "structures", "version", "entry_point_address", "table_address",
                          "structure_count", "table_length", "entry_point_length", "checksum",
                          "intermediate_anchor"});
    if (value.contains("dump") == value.contains("structures"))
        place.fail("give the table as \"structures\" or as a \"dump\" file, one of the two");

    SmbiosTable table = value.contains("dump")
                            ? tableOfDump(value["dump"], place.key("dump"))
                            : tableOfStructures(value["structures"], place.key("structures"));
    if (value.contains("version"))
        applyVersion(table, value["version"], place.key("version"));
    try {
        placeSmbios(machine.memory, table, layoutOf(value, place));
    } catch (const std::invalid_argument& error) {
        place.fail(error.what());
    }
}

} // namespace sim::firmware
