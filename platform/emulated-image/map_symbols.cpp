// SPDX-License-Identifier: MIT
// map_symbols.cpp
//
// Reading GNU ld's map file: every line of the form
//     "                0x00014830                SmmExchange"
// names a symbol at a linked address. The i386 Windows decorations come off
// the names (stdcall's "@n", fastcall's leading "@").
#include "platform/emulated-image/map_symbols.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>

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

} // namespace

MapSymbols::MapSymbols(const std::filesystem::path& mapFile)
{
    std::ifstream in(mapFile);
    std::string line;
    while (std::getline(in, line)) {
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
        symbols_.emplace(address, text);
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
