// SPDX-License-Identifier: MIT
// driver_image_figures.cpp
//
// zephr.sys as the Windows build made it: the file's size against the
// 32 KiB it has been, each section's sizes, and the DLLs it imports (the
// kernel's own, nothing else). Read from the PE headers directly.
#include "bench/notebook.h"
#include "bench/sections.h"

#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace bench {

namespace {

// The size zephr.sys has had; a growth past it shows as a ratio above 1.
constexpr double kKnownImageSize = 32768;

struct PeFile {
    std::vector<uint8_t> bytes;

    uint32_t u32(size_t at) const
    {
        if (at + 4 > bytes.size())
            throw std::runtime_error("zephr.sys: a header field lies past the end of the file");
        uint32_t v;
        std::memcpy(&v, &bytes[at], 4);
        return v;
    }
    uint16_t u16(size_t at) const
    {
        if (at + 2 > bytes.size())
            throw std::runtime_error("zephr.sys: a header field lies past the end of the file");
        uint16_t v;
        std::memcpy(&v, &bytes[at], 2);
        return v;
    }
    std::string text(size_t at, size_t most) const
    {
        std::string t;
        for (size_t i = at; i < bytes.size() && i < at + most && bytes[i] != 0; ++i)
            t.push_back(static_cast<char>(bytes[i]));
        return t;
    }
};

struct SectionRow {
    std::string name;
    uint32_t virtualSize, virtualAddress, rawSize, rawOffset;
};

} // namespace

std::vector<Figure> DriverImageFigures()
{
    std::vector<Figure> figures;
    std::ifstream in(paths().driverSys, std::ios::binary);
    if (!in) {
        Figure f;
        f.group = "image";
        f.name = "zephr.sys";
        f.note = paths().driverSys + " is not there (the Windows build makes it: scripts/build)";
        return {f};
    }
    PeFile pe{std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {})};
    if (pe.u16(0) != 0x5A4D || pe.u32(pe.u32(0x3C)) != 0x00004550)
        throw std::runtime_error(paths().driverSys + ": not a PE image");
    const size_t coff = pe.u32(0x3C) + 4;
    const uint16_t sectionCount = pe.u16(coff + 2);
    const size_t optional = coff + 20;
    const size_t sectionTable = optional + pe.u16(coff + 16);
    const uint32_t importRva = pe.u32(optional + 96 + 8); // data directory 1 (PE32)

    Figure size;
    size.group = "image";
    size.name = "zephr.sys file size";
    size.unit = "bytes";
    size.value = static_cast<double>(pe.bytes.size());
    size.floor = kKnownImageSize;
    size.floorName = "its size so far";
    size.goal = 1.0;
    figures.push_back(size);

    std::vector<SectionRow> sections;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const size_t at = sectionTable + 40u * i;
        sections.push_back(
            {pe.text(at, 8), pe.u32(at + 8), pe.u32(at + 12), pe.u32(at + 16), pe.u32(at + 20)});
        Figure f;
        f.group = "image";
        f.name = "section " + sections.back().name + " in memory";
        f.unit = "bytes";
        f.value = sections.back().virtualSize;
        f.note = "file " + std::to_string(sections.back().rawSize) + " bytes";
        figures.push_back(f);
    }
    auto fileOffset = [&](uint32_t rva) -> size_t {
        for (const SectionRow& s : sections)
            if (rva >= s.virtualAddress &&
                rva < s.virtualAddress + std::max(s.virtualSize, s.rawSize))
                return rva - s.virtualAddress + s.rawOffset;
        throw std::runtime_error(paths().driverSys + ": an import address lies in no section");
    };

    std::string dlls;
    size_t dllCount = 0;
    if (importRva != 0) {
        for (size_t at = fileOffset(importRva);; at += 20) {
            const uint32_t nameRva = pe.u32(at + 12);
            if (nameRva == 0)
                break;
            size_t functions = 0;
            uint32_t thunkRva = pe.u32(at) ? pe.u32(at) : pe.u32(at + 16);
            for (size_t t = fileOffset(thunkRva); pe.u32(t) != 0; t += 4)
                ++functions;
            dlls += (dlls.empty() ? "" : ", ") + pe.text(fileOffset(nameRva), 64) + " (" +
                    std::to_string(functions) + " functions)";
            ++dllCount;
        }
    }
    Figure imports;
    imports.group = "image";
    imports.name = "zephr.sys imported DLLs";
    imports.unit = "count";
    imports.value = static_cast<double>(dllCount);
    imports.note = dlls.empty() ? "none" : dlls;
    figures.push_back(imports);
    return figures;
}

} // namespace bench
