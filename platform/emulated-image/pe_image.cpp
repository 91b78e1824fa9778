// SPDX-License-Identifier: MIT
// pe_image.cpp
//
// Reading a PE32 or PE32+ image file (the published PE/COFF layout): the DOS and NT
// headers, the section table, the import and export directories and the
// base relocation blocks, and the image laid out in memory for a given base.
#include "platform/emulated-image/pe_image.h"
#include "platform/emulated-image/message_text.h"

#include "common/bounded_file.h"

#include <algorithm>
#include <cstring>

namespace emulated {

namespace {

constexpr uint16_t kDosMagic = 0x5A4D;    // "MZ"
constexpr uint32_t kNtSignature = 0x4550; // "PE\0\0"
constexpr uint16_t kMachineI386 = 0x014C;
constexpr uint16_t kMachineAmd64 = 0x8664;
constexpr uint16_t kOptionalMagicPe32 = 0x010B;
constexpr uint16_t kOptionalMagicPe32Plus = 0x020B;
constexpr uint16_t kSubsystemNative = 1;
constexpr uint16_t kSubsystemWindowsGui = 2;
constexpr uint16_t kSubsystemWindowsCui = 3;
constexpr uint16_t kRelocsStripped = 0x0001; // file header characteristics
constexpr uint16_t kDllFlag = 0x2000;

constexpr uint32_t kSectionExecute = 0x20000000;
constexpr uint32_t kSectionRead = 0x40000000;
constexpr uint32_t kSectionWrite = 0x80000000;

constexpr uint32_t kExportDirectory = 0;
constexpr uint32_t kImportDirectory = 1;
constexpr uint32_t kRelocationDirectory = 5;

constexpr uint16_t kRelocationAbsolute = 0; // padding
constexpr uint16_t kRelocationHighLow = 3;  // a 32-bit address (PE32)
constexpr uint16_t kRelocationDir64 = 10;   // a 64-bit address (PE32+)
// An image (or an image file) larger than this is no driver or plug-in.
constexpr uint32_t kLargestImage = 64u << 20;
// The pages the loader maps each section on, with the section's own rights.
constexpr uint32_t kSectionPage = 0x1000;
constexpr uint32_t kRelocationBlockHeader = 8; // the page and the block's size
// More exports than this make no plug-in, more imports no driver or plug-in.
constexpr uint32_t kMostExports = 4096;
constexpr size_t kMostImports = 4096;

// Machines a Windows image is built for, named when the loader refuses one.
std::string machineName(uint16_t machine)
{
    switch (machine) {
    case kMachineI386:
        return "i386";
    case kMachineAmd64:
        return "x86-64";
    case 0x0200:
        return "IA-64";
    case 0x01C0:
    case 0x01C4:
        return "ARM";
    case 0xAA64:
        return "ARM64";
    default:
        return "machine " + hexAddress(machine);
    }
}

const char* labelOf(ImageKind kind)
{
    return kind == ImageKind::Driver ? "driver image" : "plug-in image";
}

std::vector<uint8_t> readImageFile(const std::filesystem::path& file, ImageKind kind)
{
    try {
        const std::string bytes = bounded::readFile(file, {labelOf(kind), kLargestImage});
        return std::vector<uint8_t>(bytes.begin(), bytes.end());
    } catch (const bounded::FileError& error) {
        throw ImageError(error.what());
    }
}

} // namespace

PeImage::PeImage(const std::filesystem::path& file, ImageKind kind)
    : PeImage(readImageFile(file, kind), file.string(), kind)
{
}

PeImage::PeImage(std::vector<uint8_t> bytes, const std::string& name, ImageKind kind)
    : name_(name), label_(labelOf(kind)), file_(std::move(bytes))
{
    if (file_.size() < 0x40 || read16(0) != kDosMagic)
        fail("no MZ header: not a Windows image");
    const uint32_t nt = read32(0x3C);
    if (read32(nt) != kNtSignature)
        fail("no PE signature");
    const uint32_t header = nt + 4;
    const uint16_t machine = read16(header);
    if (machine != kMachineI386 && machine != kMachineAmd64)
        fail("an image for " + machineName(machine) + ", not for i386 or x86-64");
    is64_ = machine == kMachineAmd64;
    const uint16_t sectionCount = read16(header + 2);
    const uint16_t optionalSize = read16(header + 16);
    const uint16_t characteristics = read16(header + 18);
    const uint32_t optional = header + 20;
    const uint16_t magic = read16(optional);
    if (magic != (is64_ ? kOptionalMagicPe32Plus : kOptionalMagicPe32))
        fail("an " + machineName(machine) + " image whose optional header is not " +
             (is64_ ? "PE32+" : "PE32") + " (magic " + hexAddress(magic) + ")");
    entryPoint_ = read32(optional + 16);
    // PE32+ widens the image base to 64 bits and drops the base of data.
    imageBase_ = is64_ ? uint64_t(read32(optional + 24)) | uint64_t(read32(optional + 28)) << 32
                       : read32(optional + 28);
    imageSize_ = read32(optional + 56);
    headersSize_ = read32(optional + 60);
    const uint16_t subsystem = read16(optional + 68);
    if (kind == ImageKind::Driver && subsystem != kSubsystemNative)
        fail("not an image for the native subsystem (a kernel driver)");
    if (kind == ImageKind::Dll && (characteristics & kDllFlag) == 0)
        fail("not a DLL (the file header's DLL flag is clear)");
    if (kind == ImageKind::Dll && subsystem != kSubsystemWindowsGui &&
        subsystem != kSubsystemWindowsCui)
        fail("not a DLL for Windows (subsystem " + std::to_string(subsystem) + ")");
    if (imageSize_ == 0 || imageSize_ > kLargestImage || headersSize_ > imageSize_)
        fail("image size " + hexAddress(imageSize_) + " cannot be right");
    if (headersSize_ > file_.size())
        fail("truncated: the headers take " + std::to_string(headersSize_) +
             " bytes, the file has " + std::to_string(file_.size()));
    // The data directories follow the stack and heap sizes, which PE32+
    // widens to 64 bits.
    const uint32_t directories = optional + (is64_ ? 112 : 96);
    const uint32_t directoryCount = read32(directories - 4);
    auto directory = [&](uint32_t index, uint32_t& rva, uint32_t& size) {
        rva = size = 0;
        if (index < directoryCount) {
            rva = read32(directories + 8 * index);
            size = read32(directories + 4 + 8 * index);
        }
    };
    if ((characteristics & kRelocsStripped) == 0)
        directory(kRelocationDirectory, relocationsRva_, relocationsSize_);
    if (uint64_t(relocationsRva_) + relocationsSize_ > imageSize_)
        fail("the base relocation directory at " + hexAddress(relocationsRva_) + " of " +
             std::to_string(relocationsSize_) + " bytes runs past the image");

    const uint32_t table = optional + optionalSize;
    for (uint16_t i = 0; i < sectionCount; ++i) {
        const uint32_t at = table + 40u * i;
        const uint32_t flags = read32(at + 36); // also proves the entry is in the file
        Section section;
        char name[9] = {};
        std::memcpy(name, file_.data() + at, 8);
        section.name = name;
        section.virtualSize = read32(at + 8);
        section.virtualAddress = read32(at + 12);
        section.rawSize = read32(at + 16);
        section.rawOffset = read32(at + 20);
        section.readable = (flags & kSectionRead) != 0;
        section.writable = (flags & kSectionWrite) != 0;
        section.executable = (flags & kSectionExecute) != 0;
        const uint64_t end =
            uint64_t(section.virtualAddress) + std::max(section.virtualSize, section.rawSize);
        if (end > imageSize_)
            fail("section " + section.name + " lies outside the image");
        if (section.virtualAddress % kSectionPage != 0)
            fail("section " + section.name + " at " + hexAddress(section.virtualAddress) +
                 " does not begin on a page (" + hexAddress(kSectionPage) + " bytes)");
        if (section.rawSize > 0 && uint64_t(section.rawOffset) + section.rawSize > file_.size())
            fail("section " + section.name + " lies outside the file");
        sections_.push_back(section);
    }
    if ((entryPoint_ == 0 && kind == ImageKind::Driver) || entryPoint_ >= imageSize_)
        fail("no entry point inside the image");

    uint32_t importRva, importSize;
    directory(kImportDirectory, importRva, importSize);
    if (importRva != 0)
        readImports(importRva, importSize);
    uint32_t exportRva, exportSize;
    directory(kExportDirectory, exportRva, exportSize);
    if (exportRva != 0)
        readExports(exportRva, exportSize);
}

void PeImage::readExports(uint32_t rva, uint32_t size)
{
    const uint32_t table = fileOffset(rva, 40);
    const uint32_t functionCount = read32(table + 20);
    const uint32_t nameCount = read32(table + 24);
    const uint32_t functions = read32(table + 28);
    const uint32_t names = read32(table + 32);
    const uint32_t ordinals = read32(table + 36);
    if (functionCount > kMostExports || nameCount > kMostExports)
        fail("an export directory of " + std::to_string(functionCount) + " routines and " +
             std::to_string(nameCount) + " names cannot be right");
    for (uint32_t i = 0; i < nameCount; ++i) {
        const std::string name = readString(read32(fileOffset(names + 4 * i, 4)));
        const uint16_t index = read16(fileOffset(ordinals + 2 * i, 2));
        if (index >= functionCount)
            fail("export " + name + " names routine " + std::to_string(index) + " of " +
                 std::to_string(functionCount));
        const uint32_t address = read32(fileOffset(functions + 4 * index, 4));
        if (address >= rva && address < rva + size)
            fail("export " + name + " is forwarded to another library");
        if (address == 0 || address >= imageSize_)
            fail("export " + name + " lies outside the image (" + hexAddress(address) + ")");
        exports_[name] = address;
    }
}

void PeImage::readImports(uint32_t rva, uint32_t size)
{
    (void)size; // the table ends with an all-zero descriptor
    for (uint32_t descriptor = rva;; descriptor += 20) {
        const uint32_t lookup = read32(fileOffset(descriptor, 20));
        const uint32_t moduleName = read32(fileOffset(descriptor + 12, 4));
        const uint32_t slots = read32(fileOffset(descriptor + 16, 4));
        if (moduleName == 0 && slots == 0)
            break;
        const std::string module = readString(moduleName);
        const uint32_t names = lookup != 0 ? lookup : slots;
        // A thunk is a pointer: 4 bytes in PE32, 8 in PE32+, the top bit
        // marking an import by ordinal.
        const uint32_t thunk = is64_ ? 8 : 4;
        for (uint32_t i = 0;; ++i) {
            const uint32_t entryAt = fileOffset(names + thunk * i, thunk);
            const uint32_t entry = read32(entryAt);
            const uint32_t upper = is64_ ? read32(entryAt + 4) : 0;
            const bool byOrdinal = (is64_ ? upper : entry) >> 31 != 0;
            if (entry == 0 && upper == 0)
                break;
            Import import;
            import.module = module;
            import.slot = slots + thunk * i;
            if (uint64_t(slots) + uint64_t(thunk) * i + thunk > imageSize_)
                fail("the import address table of " + module + " runs past the image");
            if (byOrdinal)
                import.ordinal = static_cast<uint16_t>(entry);
            else if (upper != 0)
                fail("an import of " + module + " names its routine at " + hexAddress(upper) + ":" +
                     hexAddress(entry) + ", past the image");
            else
                import.name = readString(entry + 2); // past the hint
            imports_.push_back(import);
            if (imports_.size() > kMostImports)
                fail("more than " + std::to_string(kMostImports) + " imports cannot be right");
        }
    }
}

std::vector<uint8_t> PeImage::layOut(uint32_t base,
                                     const std::function<uint32_t(const Import&)>& resolve) const
{
    std::vector<uint8_t> memory(imageSize_, 0);
    std::copy_n(file_.begin(), headersSize_, memory.begin());
    for (const Section& section : sections_) {
        const uint32_t length = section.virtualSize != 0
                                    ? std::min(section.rawSize, section.virtualSize)
                                    : section.rawSize;
        if (length > 0)
            std::copy_n(file_.begin() + section.rawOffset, length,
                        memory.begin() + section.virtualAddress);
    }
    const uint32_t pointer = is64_ ? 8 : 4;
    auto slotAt = [&](uint32_t rva) -> uint8_t* {
        if (uint64_t(rva) + pointer > memory.size())
            fail("an address at " + hexAddress(rva) + " lies outside the image");
        return memory.data() + rva;
    };

    const uint64_t delta = uint64_t(base) - imageBase_; // in PE32 only the low half counts
    if (delta != 0) {
        if (relocationsRva_ == 0 || relocationsSize_ == 0)
            fail("it must move from " + hexAddress(imageBase_) + " to " + hexAddress(base) +
                 " but carries no base relocations");
        applyRelocations(memory, delta);
    }
    for (const Import& import : imports_) {
        const uint64_t address = resolve(import); // little-endian: the low bytes first
        std::memcpy(slotAt(import.slot), &address, pointer);
    }
    return memory;
}

// The directory is a run of blocks, each a page and its size (header
// included) followed by 16-bit entries: the kind in the top four bits, the
// offset in the page below. Every size is checked against what is left of
// the directory before it is added, and every place against the image, in
// 64 bits, so no crafted size wraps or reads outside the image.
void PeImage::applyRelocations(std::vector<uint8_t>& memory, uint64_t delta) const
{
    const uint8_t* directory = memory.data() + relocationsRva_; // checked in the constructor
    for (uint32_t offset = 0; relocationsSize_ - offset >= kRelocationBlockHeader;) {
        const uint32_t block = relocationsRva_ + offset;
        uint32_t page, blockSize;
        std::memcpy(&page, directory + offset, 4);
        std::memcpy(&blockSize, directory + offset + 4, 4);
        if (blockSize == 0)
            break; // padding after the last block
        if (blockSize < kRelocationBlockHeader || blockSize % 2 != 0)
            fail("a base relocation block at " + hexAddress(block) + " of " +
                 std::to_string(blockSize) + " bytes is no header and whole entries");
        if (blockSize > relocationsSize_ - offset)
            fail("a base relocation block at " + hexAddress(block) + " of " +
                 std::to_string(blockSize) + " bytes runs past the relocation directory (" +
                 std::to_string(relocationsSize_ - offset) + " bytes left)");
        for (uint32_t entry = kRelocationBlockHeader; entry < blockSize; entry += 2) {
            uint16_t item;
            std::memcpy(&item, directory + offset + entry, 2);
            const uint16_t kind = item >> 12;
            const uint64_t place = uint64_t(page) + (item & 0xFFF);
            if (kind == kRelocationAbsolute)
                continue;
            if (kind != (is64_ ? kRelocationDir64 : kRelocationHighLow))
                fail("base relocation kind " + std::to_string(kind) + " at " +
                     hexAddress(static_cast<uint32_t>(place)) + " is not one of a " +
                     (is64_ ? "64" : "32") + "-bit image");
            const uint32_t width = is64_ ? 8 : 4;
            if (place + width > imageSize_)
                fail("a base relocation in the block at " + hexAddress(block) + " for page " +
                     hexAddress(page) + " patches outside the image");
            uint64_t value = 0; // little-endian: a 32-bit address is the low bytes
            std::memcpy(&value, memory.data() + place, width);
            value += delta;
            std::memcpy(memory.data() + place, &value, width);
        }
        offset += blockSize;
    }
}

uint32_t PeImage::read32(uint32_t offset) const
{
    if (uint64_t(offset) + 4 > file_.size())
        fail("truncated at offset " + hexAddress(offset));
    uint32_t value;
    std::memcpy(&value, file_.data() + offset, 4);
    return value;
}

uint16_t PeImage::read16(uint32_t offset) const
{
    if (uint64_t(offset) + 2 > file_.size())
        fail("truncated at offset " + hexAddress(offset));
    uint16_t value;
    std::memcpy(&value, file_.data() + offset, 2);
    return value;
}

uint32_t PeImage::fileOffset(uint32_t rva, uint32_t length) const
{
    for (const Section& section : sections_)
        if (rva >= section.virtualAddress &&
            uint64_t(rva) + length <= uint64_t(section.virtualAddress) + section.rawSize)
            return section.rawOffset + (rva - section.virtualAddress);
    if (uint64_t(rva) + length <= headersSize_)
        return rva;
    fail("relative address " + hexAddress(rva) + " lies in no section");
}

std::string PeImage::readString(uint32_t rva) const
{
    std::string text;
    for (uint32_t offset = fileOffset(rva, 1);; ++offset) {
        if (offset >= file_.size() || text.size() > 256)
            fail("a name at " + hexAddress(rva) + " has no end");
        if (file_[offset] == 0)
            return text;
        text.push_back(static_cast<char>(file_[offset]));
    }
}

void PeImage::fail(const std::string& what) const
{
    throw ImageError(label_ + " " + name_ + ": " + what);
}

} // namespace emulated
