// SPDX-License-Identifier: MIT
// superio_machine_file.cpp
//
// Reads the "superio" section of a machine file into a Super I/O chip:
//   "superio": { "port": "0x4E", "id": "0x0E", "revision": 1, "resting": "0xFF",
//                "base": "0x0680", "registers": { "0x92": "0xC0" },
//                "echo": false, "stuck": { "0x93": "0x80" } }
// Every key is optional; the defaults are those of SuperIoSettings.
#include "sim/superio_machine_file.h"

#include "sim/superio_chip.h"

#include <memory>
#include <stdexcept>

namespace sim::machine_file {

namespace {

using nlohmann::json;

uint8_t byteAt(const json& value, const Place& place)
{
    return static_cast<uint8_t>(number(value, place, 0, 0xFF));
}

bool flagAt(const json& value, const Place& place)
{
    if (!value.is_boolean())
        place.fail(value.dump() + " is not true or false");
    return value.get<bool>();
}

// An object of register number -> byte, such as { "0x92": "0x80" }.
std::map<uint8_t, uint8_t> registersAt(const json& value, const Place& place)
{
    if (!value.is_object())
        object(value, place, {}); // names what the value is instead
    std::map<uint8_t, uint8_t> registers;
    for (const auto& [written, content] : value.items()) {
        const Place registerPlace = place.key(written);
        const auto index = static_cast<uint8_t>(numberFromText(written, registerPlace, 0, 0xFF));
        if (!registers.emplace(index, byteAt(content, registerPlace)).second)
            registerPlace.fail("register " + std::to_string(index) + " is given twice");
    }
    return registers;
}

} // namespace

void parseSuperIo(Machine& machine, const json& value, const Place& place)
{
    object(value, place,
           {"port", "id", "revision", "resting", "base", "registers", "echo", "stuck"});
    SuperIoSettings settings;
    if (value.contains("port")) {
        const Place portPlace = place.key("port");
        settings.configPort = static_cast<uint16_t>(number(value["port"], portPlace, 0, 0xFFFF));
        if (settings.configPort != 0x2E && settings.configPort != 0x4E)
            portPlace.fail(value["port"].dump() + " is not a configuration port (0x2E or 0x4E)");
    }
    if (value.contains("id"))
        settings.deviceId = byteAt(value["id"], place.key("id"));
    if (value.contains("revision"))
        settings.revision = byteAt(value["revision"], place.key("revision"));
    if (value.contains("resting"))
        settings.restingValue = byteAt(value["resting"], place.key("resting"));
    if (value.contains("base"))
        settings.runtimeBase =
            static_cast<uint16_t>(number(value["base"], place.key("base"), 0, 0xFFFF));
    if (value.contains("registers"))
        for (const auto& [index, content] : registersAt(value["registers"], place.key("registers")))
            settings.runtimeRegisters[index] = content;
    if (value.contains("echo"))
        settings.echo = flagAt(value["echo"], place.key("echo"));
    if (value.contains("stuck"))
        settings.stuckRegisters = registersAt(value["stuck"], place.key("stuck"));

    std::shared_ptr<SuperIoChip> chip;
    try {
        chip = std::make_shared<SuperIoChip>(settings);
    } catch (const std::invalid_argument& error) {
        place.fail(error.what());
    }
    machine.attach(chip);
}

} // namespace sim::machine_file
