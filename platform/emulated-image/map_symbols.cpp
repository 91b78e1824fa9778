// SPDX-License-Identifier: MIT
// map_symbols.cpp
//
// Reading GNU ld's map file: every line of the form
//     "                0x00014830                SmmExchange"
// names a symbol at a linked address, and every " .text" line the code of
// an object file. The i386 Windows decorations come off the names
// (stdcall's "@n", fastcall's leading "@").
#include "platform/emulated-image/map_symbols.h"

#include "common/bounded_file.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <utility>

namespace emulated {

namespace {

// "DriverEntry@8" -> "DriverEntry", "@IofCompleteRequest@8" -> "IofCompleteRequest",
// "DispatchCreateClose(_DEVICE_OBJECT*, _IRP*)@8" -> "DispatchCreateClose(_DEVICE_OBJECT*, _IRP*)".
// The linker has demangled C++ names already.
std::string readable(std::string name)
{
    if (!name.empty() && name[0] == '@')
        name.erase(0, 1);
    if (auto at = name.rfind('@');
        at != std::string::npos && at > 0 && at + 1 < name.size() &&
        name.find_first_not_of("0123456789", at + 1) == std::string::npos)
        name.erase(at);
    return name;
}

// The linker's map of a driver or a plug-in is some tens of KiB.
constexpr std::uintmax_t kLargestMapFile = 16u << 20;

// " .text          0x00011ca0      0x4d0 driver/CMakeFiles/zephr.dir/dispatch.cpp.obj":
// the code one object file brings, its static routines included; read as
// "dispatch.cpp" at its address, so an address in a static routine is named
// by its file rather than by the last global routine of the file before.
std::optional<std::pair<uint32_t, std::string>> codeOfObject(const std::string& line)
{
    std::istringstream fields(line);
    std::string section, address, size, object;
    if (!(fields >> section >> address >> size) || section != ".text" ||
        address.compare(0, 2, "0x") != 0 || size.compare(0, 2, "0x") != 0)
        return std::nullopt;
    std::getline(fields >> std::ws, object);
    const unsigned long long start = std::strtoull(address.c_str() + 2, nullptr, 16);
    const unsigned long long bytes = std::strtoull(size.c_str() + 2, nullptr, 16);
    if (object.empty() || start == 0 || bytes == 0 || start > 0xFFFFFFFFull)
        return std::nullopt;
    object = object.substr(object.find_last_of('/') + 1);
    if (object.size() > 4 && object.compare(object.size() - 4, 4, ".obj") == 0)
        object.erase(object.size() - 4);
    return std::make_pair(static_cast<uint32_t>(start), object);
}

} // namespace

MapSymbols::MapSymbols(const std::filesystem::path& mapFile)
{
    std::istringstream in;
    try {
        in.str(bounded::readFile(mapFile, {"map file", kLargestMapFile}));
    } catch (const bounded::FileError&) {
        return; // no symbols: addresses are given bare
    }
    std::string line;
    while (std::getline(in, line)) {
        if (auto code = codeOfObject(line)) {
            symbols_.emplace(code->first, code->second); // a routine's own name wins
            continue;
        }
        // A symbol line is blanks, the address, blanks and the name (which
        // may hold blanks: "SmmGetTemperature(unsigned short)"); section
        // lines begin with the section's name, data lines carry a size after
        // the address, assignments " = ".
        const size_t first = line.find_first_not_of(' ');
        if (first == 0 || first == std::string::npos || line.compare(first, 2, "0x") != 0)
            continue;
        const size_t addressEnd = line.find(' ', first);
        if (addressEnd == std::string::npos)
            continue;
        const size_t nameStart = line.find_first_not_of(' ', addressEnd);
        if (nameStart == std::string::npos)
            continue;
        std::string name = line.substr(nameStart);
        while (!name.empty() && (name.back() == ' ' || name.back() == '\r'))
            name.pop_back();
        if (name.empty() || name.compare(0, 2, "0x") == 0 || name[0] == '.' || name[0] == '*' ||
            name.find(" = ") != std::string::npos || name.compare(0, 7, "PROVIDE") == 0)
            continue;
        char* end = nullptr;
        const unsigned long long value = std::strtoull(line.c_str() + first + 2, &end, 16);
        if (end != line.c_str() + addressEnd || value == 0 || value > 0xFFFFFFFFull)
            continue;
        const std::string text = readable(name);
        const auto address = static_cast<uint32_t>(value);
        symbols_.insert_or_assign(address, text);
        byName_.emplace(text, address);
        // A C++ routine is found by its bare name too.
        if (auto open = text.find('('); open != std::string::npos)
            byName_.emplace(text.substr(0, open), address);
    }
}

std::optional<uint32_t> MapSymbols::address(const std::string& name) const
{
    auto found = byName_.find(name);
    if (found == byName_.end())
        return std::nullopt;
    return found->second;
}

std::string MapSymbols::nearest(uint32_t linkedAddress) const
{
    auto above = symbols_.upper_bound(linkedAddress);
    if (above == symbols_.begin())
        return {};
    --above;
    const uint32_t offset = linkedAddress - above->first;
    if (offset == 0)
        return above->second;
    char text[16];
    std::snprintf(text, sizeof text, "+0x%x", offset);
    return above->second + text;
}

std::filesystem::path mapFileFor(const std::filesystem::path& image)
{
    std::filesystem::path map = image;
    map.replace_extension(".map");
    return map;
}

std::optional<uint32_t> placedSymbol(const MapSymbols& symbols, const std::string& name,
                                     uint32_t base, uint32_t imageBase)
{
    const std::optional<uint32_t> linked = symbols.address(name);
    if (!linked)
        return std::nullopt;
    return *linked - imageBase + base;
}

std::string describeImageAddress(const MapSymbols& symbols, const std::string& imageName,
                                 uint32_t address, uint32_t base, uint32_t imageBase, uint32_t size)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", address);
    if (address < base || address - base >= size)
        return text;
    const std::string symbol = symbols.nearest(address - base + imageBase);
    if (!symbol.empty())
        return std::string(text) + " (" + symbol + ")";
    if (symbols.empty())
        return std::string(text) + " (no " + mapFileFor(imageName).string() + " beside the image)";
    return text;
}

} // namespace emulated
