// SPDX-License-Identifier: MIT
// machine_file_values.cpp
//
// Places in a machine file and the checked conversions of its values; every
// failure becomes a MachineFileError naming the file, the key and the fault.
#include "sim/machine_file.h"

#include <algorithm>
#include <cctype>

namespace sim::machine_file {

namespace {

bool isIdentifier(const std::string& name)
{
    if (name.empty() || std::isdigit(static_cast<unsigned char>(name[0])))
        return false;
    return std::all_of(name.begin(), name.end(), [](char c) {
        return std::isalnum(static_cast<unsigned char>(c)) || c == '_' || c == '-';
    });
}

std::string quoted(const std::string& text)
{
    return nlohmann::json(text).dump();
}

std::string range(uint64_t lowest, uint64_t highest)
{
    return "(" + std::to_string(lowest) + " to " + std::to_string(highest) + ")";
}

// "a number", "an object": the JSON type for a message.
std::string describe(const nlohmann::json& value)
{
    const std::string name = value.type_name();
    if (value.is_null())
        return name;
    const bool vowel = name[0] == 'a' || name[0] == 'o';
    return (vowel ? "an " : "a ") + name;
}

} // namespace

Place::Place(std::filesystem::path file, std::string path)
    : file_(std::move(file)), path_(std::move(path))
{
}

Place Place::key(const std::string& name) const
{
    if (isIdentifier(name))
        return Place(file_, path_.empty() ? name : path_ + "." + name);
    return Place(file_, path_ + "[" + quoted(name) + "]");
}

Place Place::index(size_t position) const
{
    return Place(file_, path_ + "[" + std::to_string(position) + "]");
}

std::string Place::path() const
{
    return path_.empty() ? "(top level)" : path_;
}

std::filesystem::path Place::resolve(const std::string& written) const
{
    const std::filesystem::path given(written);
    if (given.is_absolute())
        return given;
    return file_.parent_path() / given;
}

void Place::fail(const std::string& what) const
{
    throw MachineFileError(file_.string() + ": " + path() + ": " + what);
}

const nlohmann::json& object(const nlohmann::json& value, const Place& place,
                             const std::vector<std::string>& known)
{
    if (!value.is_object())
        place.fail("must be an object, not " + describe(value));
    for (const auto& [name, member] : value.items()) {
        // Clang 14 (the fuzz build) cannot capture a structured binding.
        const bool isKnown = std::find(known.begin(), known.end(), name) != known.end();
        if (!isKnown) {
            std::string list;
            for (const auto& k : known)
                list += (list.empty() ? "" : ", ") + k;
            place.key(name).fail(list.empty() ? "unknown key"
                                              : "unknown key (known here: " + list + ")");
        }
    }
    return value;
}

const nlohmann::json& array(const nlohmann::json& value, const Place& place)
{
    if (!value.is_array())
        place.fail("must be an array, not " + describe(value));
    return value;
}

std::string text(const nlohmann::json& value, const Place& place)
{
    if (!value.is_string())
        place.fail("must be a string, not " + describe(value));
    return value.get<std::string>();
}

uint64_t numberFromText(const std::string& written, const Place& place, uint64_t lowest,
                        uint64_t highest)
{
    const bool hex =
        written.size() > 2 && written[0] == '0' && (written[1] == 'x' || written[1] == 'X');
    const std::string digits = hex ? written.substr(2) : written;
    const auto isDigit = [hex](char c) {
        return hex ? std::isxdigit(static_cast<unsigned char>(c)) != 0
                   : std::isdigit(static_cast<unsigned char>(c)) != 0;
    };
    if (digits.empty() || !std::all_of(digits.begin(), digits.end(), isDigit))
        place.fail(quoted(written) + " is not a number (write decimal digits or 0x and hex "
                                     "digits)");
    uint64_t value = 0;
    try {
        value = std::stoull(digits, nullptr, hex ? 16 : 10);
    } catch (const std::out_of_range&) {
        place.fail(quoted(written) + " is out of range " + range(lowest, highest));
    }
    if (value < lowest || value > highest)
        place.fail(quoted(written) + " is out of range " + range(lowest, highest));
    return value;
}

uint64_t number(const nlohmann::json& value, const Place& place, uint64_t lowest, uint64_t highest)
{
    if (value.is_string())
        return numberFromText(value.get<std::string>(), place, lowest, highest);
    if (value.is_number_unsigned()) {
        const auto given = value.get<uint64_t>();
        if (given < lowest || given > highest)
            place.fail(std::to_string(given) + " is out of range " + range(lowest, highest));
        return given;
    }
    if (value.is_number_integer())
        place.fail(value.dump() + " is out of range " + range(lowest, highest));
    if (value.is_number_float())
        place.fail(value.dump() + " is not a whole number");
    place.fail("must be a number, not " + describe(value));
}

const nlohmann::json& required(const nlohmann::json& object, const char* name, const Place& place)
{
    const auto member = object.find(name);
    if (member == object.end())
        place.fail(std::string("missing key \"") + name + "\"");
    return *member;
}

} // namespace sim::machine_file
