// SPDX-License-Identifier: MIT
// machine_file.h
//
// The reading side of machine files: where a value sits in the file (for
// error messages such as "notebook.json: smm.fans[1].state: 3 is out of
// range (0 to 2)") and the checked conversions every section parser uses.
// Machine::fromFile dispatches the top-level keys in machine_file.cpp.
#pragma once

#include "sim/machine.h"

#include <nlohmann/json.hpp>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace sim::machine_file {

// A place in a machine file: the file and the JSON path of a value in it.
class Place {
  public:
    explicit Place(std::filesystem::path file, std::string path = {});

    // The value under an object key, or at an array index.
    Place key(const std::string& name) const;
    Place index(size_t position) const;

    const std::filesystem::path& file() const
    {
        return file_;
    }
    // "smm.fans[1].state"; "(top level)" for the whole document.
    std::string path() const;
    // A path written in the file, taken relative to the file's folder.
    std::filesystem::path resolve(const std::string& written) const;

    // Throws MachineFileError "<file>: <path>: <what>".
    [[noreturn]] void fail(const std::string& what) const;

  private:
    std::filesystem::path file_;
    std::string path_;
};

// The value as an object, failing when it is not one or when it has a key
// not in `known` (so a misspelt key shows instead of being ignored).
const nlohmann::json& object(const nlohmann::json& value, const Place& place,
                             const std::vector<std::string>& known);
const nlohmann::json& array(const nlohmann::json& value, const Place& place);
std::string text(const nlohmann::json& value, const Place& place);

// A whole number in [lowest, highest], given as a JSON number or as a string
// in decimal or in hex with "0x".
uint64_t number(const nlohmann::json& value, const Place& place, uint64_t lowest, uint64_t highest);
// The same for a number written as a text (an object key such as a sensor
// number).
uint64_t numberFromText(const std::string& written, const Place& place, uint64_t lowest,
                        uint64_t highest);

// The value of a key the caller requires.
const nlohmann::json& required(const nlohmann::json& object, const char* name, const Place& place);

} // namespace sim::machine_file
