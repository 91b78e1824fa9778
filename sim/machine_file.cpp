// SPDX-License-Identifier: MIT
// machine_file.cpp
//
// Machine::fromFile: reads a machine file (JSON) and builds the notebook it
// describes. Each top-level key has one section parser; kSections below is
// the one place where they are dispatched.
#include "sim/machine_file.h"
#include "sim/firmware/smbios_machine_file.h"
#include "sim/superio_machine_file.h"

#include "common/bounded_file.h"
#include "common/json_document.h"

namespace sim {

namespace {

using machine_file::Place;
using nlohmann::json;

// A machine file is a few KiB of JSON; memory images and dumps are files
// of their own.
constexpr bounded::FileKind kMachineFile{"machine file", 1024 * 1024};

void parseName(Machine& machine, const json& value, const Place& place)
{
    machine.name = machine_file::text(value, place);
}

SmmBehaviour behaviourNamed(const json& value, const Place& place)
{
    const std::string name = machine_file::text(value, place);
    if (name == "normal")
        return SmmBehaviour::Normal;
    if (name == "ignore")
        return SmmBehaviour::Ignore;
    if (name == "echo-ax")
        return SmmBehaviour::EchoAx;
    place.fail(json(name).dump() + " is not a behaviour (normal, ignore or echo-ax)");
}

void parseSensors(SmmBios& smm, const json& value, const Place& place)
{
    // The keys are sensor numbers, each checked as a number.
    if (!value.is_object())
        machine_file::object(value, place, {});
    for (const auto& [written, degrees] : value.items()) {
        const Place sensorPlace = place.key(written);
        const auto sensor =
            static_cast<uint16_t>(machine_file::numberFromText(written, sensorPlace, 0, 0xFFFF));
        if (smm.temperatures.count(sensor) != 0)
            sensorPlace.fail("sensor " + std::to_string(sensor) + " is given twice");
        smm.temperatures[sensor] =
            static_cast<uint16_t>(machine_file::number(degrees, sensorPlace, 0, 0xFFFF));
    }
}

void parseFans(SmmBios& smm, const json& value, const Place& place)
{
    machine_file::array(value, place);
    for (size_t i = 0; i < value.size(); ++i) {
        const Place fanPlace = place.index(i);
        const json& fan = machine_file::object(value[i], fanPlace, {"state", "speed"});
        Fan parsed;
        if (fan.contains("state"))
            parsed.state = static_cast<uint16_t>(
                machine_file::number(fan["state"], fanPlace.key("state"), 0, 2));
        if (fan.contains("speed"))
            parsed.speed = static_cast<uint16_t>(
                machine_file::number(fan["speed"], fanPlace.key("speed"), 0, 0xFFFF));
        smm.fans.push_back(parsed);
    }
}

void parseSmm(Machine& machine, const json& value, const Place& place)
{
    machine_file::object(value, place, {"behaviour", "temperatures", "fans"});
    if (value.contains("behaviour"))
        machine.smm.behaviour = behaviourNamed(value["behaviour"], place.key("behaviour"));
    if (value.contains("temperatures"))
        parseSensors(machine.smm, value["temperatures"], place.key("temperatures"));
    if (value.contains("fans"))
        parseFans(machine.smm, value["fans"], place.key("fans"));
}

void parseMemory(Machine& machine, const json& value, const Place& place)
{
    machine_file::array(value, place);
    for (size_t i = 0; i < value.size(); ++i) {
        const Place folderPlace = place.index(i);
        const auto folder = folderPlace.resolve(machine_file::text(value[i], folderPlace));
        try {
            machine.memory.loadImageFolder(folder);
        } catch (const std::runtime_error& error) {
            folderPlace.fail(error.what());
        }
    }
}

void parseUnmappable(Machine& machine, const json& value, const Place& place)
{
    machine_file::array(value, place);
    for (size_t i = 0; i < value.size(); ++i) {
        const Place rangePlace = place.index(i);
        const json& range = machine_file::object(value[i], rangePlace, {"base", "length"});
        const uint64_t base =
            machine_file::number(machine_file::required(range, "base", rangePlace),
                                 rangePlace.key("base"), 0, UINT64_MAX);
        // The range may reach the top of the physical space, not wrap past it.
        const uint64_t longest = base == 0 ? UINT64_MAX : UINT64_MAX - base + 1;
        const uint64_t length =
            machine_file::number(machine_file::required(range, "length", rangePlace),
                                 rangePlace.key("length"), 1, longest);
        machine.memory.markUnmappable(base, length);
    }
}

using SectionParser = void (*)(Machine&, const json&, const Place&);

struct Section {
    const char* key;
    SectionParser parse;
};

// The top-level keys of a machine file, parsed in this order whatever their
// order in the file (memory images load before anything placed on top of
// them). A new section ("smbios", "superio") is one more row here.
const Section kSections[] = {
    {"name", parseName},
    {"smm", parseSmm},
    {"memory", parseMemory},
    {"unmappable", parseUnmappable},
    {"superio", machine_file::parseSuperIo},
    {"smbios", firmware::parseSmbiosSection},
};

json readDocument(const std::filesystem::path& file)
{
    try {
        return json_document::parse(bounded::readFile(file, kMachineFile),
                                    /*ignoreComments=*/true);
    } catch (const bounded::FileError& error) {
        throw MachineFileError(error.what());
    } catch (const json_document::ParseError& error) {
        throw MachineFileError(file.string() + ": " +
                               (error.where().empty() ? "" : error.where() + ": ") +
                               "not valid JSON: " + error.what());
    }
}

} // namespace

std::unique_ptr<Machine> Machine::fromFile(const std::filesystem::path& file)
{
    const json document = readDocument(file);
    const Place top(file);
    std::vector<std::string> known;
    for (const Section& section : kSections)
        known.push_back(section.key);
    machine_file::object(document, top, known);

    auto machine = std::make_unique<Machine>();
    machine->name = file.stem().string();
    for (const Section& section : kSections)
        if (document.contains(section.key))
            section.parse(*machine, document[section.key], top.key(section.key));
    return machine;
}

} // namespace sim
