// SPDX-License-Identifier: MIT
// pe_image.h
//
// A PE32 (i386) or PE32+ (x86-64) image file read for loading: its headers,
// sections, imports, exports and base relocations, and the image laid out in
// memory as the loader places it (sections at their virtual addresses,
// relocations applied for the base it goes to, every import slot written
// with the address its resolver gives: 4 bytes in a PE32 image, 8 in a
// PE32+ one).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <stdexcept>
#include <string>
#include <vector>

namespace emulated {

// An image that cannot be loaded; the message names the file and what is
// wrong with it.
class ImageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct Section {
    std::string name;
    uint32_t virtualAddress = 0; // relative to the image base
    uint32_t virtualSize = 0;
    uint32_t rawOffset = 0;
    uint32_t rawSize = 0;
    bool readable = false, writable = false, executable = false;
};

struct Import {
    std::string module; // "ntoskrnl.exe", as the image spells it
    std::string name;   // the routine's name; empty for an import by ordinal
    uint16_t ordinal = 0;
    uint32_t slot = 0; // relative address of its import address table slot (4 or 8 bytes)
};

// What an image must be: a kernel driver (the native subsystem) or a DLL
// (the DLL flag, a Windows subsystem).
enum class ImageKind { Driver, Dll };

class PeImage {
  public:
    // Reads and checks the file (a regular file of at most 64 MiB): an i386
    // PE32 or x86-64 PE32+ image of the kind with its sections inside the
    // file, each on a page of its own, and its relocation directory inside
    // the image. Throws ImageError, which for another machine or format names
    // what the file is.
    explicit PeImage(const std::filesystem::path& file, ImageKind kind = ImageKind::Driver);
    // The same checks of an image's bytes; name names it in messages.
    PeImage(std::vector<uint8_t> bytes, const std::string& name, ImageKind kind);

    const std::string& name() const
    {
        return name_;
    } // the file name
    uint64_t imageBase() const
    {
        return imageBase_;
    }
    // A PE32+ image for x86-64 (pointers, import slots and relocations of 8
    // bytes); else a PE32 image for i386.
    bool is64() const
    {
        return is64_;
    }
    uint32_t imageSize() const
    {
        return imageSize_;
    }
    uint32_t entryPoint() const
    {
        return entryPoint_;
    } // relative; 0 for a DLL without one
    const std::vector<Section>& sections() const
    {
        return sections_;
    }
    const std::vector<Import>& imports() const
    {
        return imports_;
    }
    // The routines exported by name, with their relative addresses.
    const std::map<std::string, uint32_t>& exports() const
    {
        return exports_;
    }

    // The image as it lies in memory at base: headers and sections in place,
    // base relocations applied when base is not the image base, and each
    // import slot holding what resolve gives for it. Throws ImageError for a
    // relocation kind the image's format does not use (HIGHLOW in PE32,
    // DIR64 in PE32+), a relocation block or
    // entry outside the directory or the image, or when the image has to
    // move but carries no relocations.
    std::vector<uint8_t> layOut(uint32_t base,
                                const std::function<uint32_t(const Import&)>& resolve) const;

  private:
    uint32_t read32(uint32_t offset) const;
    uint16_t read16(uint32_t offset) const;
    // The file offset of a relative address; throws when no section holds it.
    uint32_t fileOffset(uint32_t rva, uint32_t length) const;
    std::string readString(uint32_t rva) const;
    void readImports(uint32_t rva, uint32_t size);
    void readExports(uint32_t rva, uint32_t size);
    void applyRelocations(std::vector<uint8_t>& memory, uint64_t delta) const;
    [[noreturn]] void fail(const std::string& what) const;

    std::string name_;
    std::string label_; // "driver image", "plug-in image"
    std::vector<uint8_t> file_;
    bool is64_ = false;
    uint64_t imageBase_ = 0;
    uint32_t imageSize_ = 0, entryPoint_ = 0, headersSize_ = 0;
    uint32_t relocationsRva_ = 0, relocationsSize_ = 0;
    std::vector<Section> sections_;
    std::vector<Import> imports_;
    std::map<std::string, uint32_t> exports_;
};

} // namespace emulated
