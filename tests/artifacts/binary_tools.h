// SPDX-License-Identifier: MIT
// binary_tools.h
//
// What the artifact tests learn about built binaries through binutils: the
// headers, sections, imports and exports of PE images (objdump -p, -h), their
// symbols (nm) and code (objdump -d), their checksum, and the dynamic symbol
// table of ELF libraries (objdump -T). Parsers take the tools' text, so they
// can be tried on known output too.
#ifndef ZEPHR_TESTS_ARTIFACTS_BINARY_TOOLS_H
#define ZEPHR_TESTS_ARTIFACTS_BINARY_TOOLS_H

#include <cstdint>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace artifacts {

// The standard output of a shell command. Throws std::runtime_error naming
// the command when it cannot be started or exits with a non-zero status.
std::string RunCommand(const std::string& command);

// A path quoted for the shell.
std::string ShellQuote(const std::filesystem::path& path);

// Names joined with ", " for failure messages; "(none)" for no names.
std::string JoinNames(const std::vector<std::string>& names);
std::string LowerCase(std::string text);

struct ImportedDll {
    std::string name;
    std::vector<std::string> functions;
};

struct Section {
    std::string name;
    bool writable = false;
    bool executable = false;
};

// What objdump -p and -h report of a PE image.
struct PeReport {
    std::string format; // "pei-i386"
    std::string magic;  // "PE32"
    uint32_t characteristics = 0;
    uint32_t entryRva = 0;
    uint32_t imageBase = 0;
    uint32_t checksum = 0;
    uint32_t subsystem = 0;
    uint32_t relocationDirectorySize = 0;
    std::vector<ImportedDll> imports;
    std::vector<std::string> exports;
    std::vector<Section> sections;

    std::vector<std::string> importedDllNames() const;
    // The functions imported from one DLL (matched without regard to case).
    std::vector<std::string> functionsFrom(const std::string& dll) const;
};

// IMAGE_FILE_* characteristics the tests look at.
inline constexpr uint32_t kImageFileRelocsStripped = 0x0001;
inline constexpr uint32_t kImageFileExecutable = 0x0002;
inline constexpr uint32_t kImageFileDll = 0x2000;

// Subsystems.
inline constexpr uint32_t kSubsystemNative = 1;
inline constexpr uint32_t kSubsystemWindowsGui = 2;
inline constexpr uint32_t kSubsystemWindowsConsole = 3;

// Parse objdump -p output into `report` (everything but the sections).
void ParsePrivateHeaders(const std::string& text, PeReport& report);
// Parse objdump -h output.
std::vector<Section> ParseSectionHeaders(const std::string& text);
// Run objdump -p and -h on a PE image.
PeReport InspectPe(const std::filesystem::path& image);

// The symbols nm lists for an image, name to address.
std::map<std::string, uint64_t> ParseNmSymbols(const std::string& text);
std::map<std::string, uint64_t> ReadSymbols(const std::filesystem::path& image);

// The instructions of one function as "mnemonic operands" with single
// spaces, from objdump -d output; empty when the function is not there.
std::vector<std::string> ParseFunctionDisassembly(const std::string& text,
                                                  const std::string& symbol);
std::vector<std::string> DisassembleFunction(const std::filesystem::path& image,
                                             const std::string& symbol);

// The PE image checksum as the loader computes it: 16-bit one's-complement
// sum of the file with the stored checksum field counted as zero, plus the
// file length. Throws when the bytes are no PE image.
uint32_t ComputePeChecksum(const std::vector<unsigned char>& image);
std::vector<unsigned char> ReadFileBytes(const std::filesystem::path& path);

struct DynamicSymbol {
    std::string name;
    bool defined = false;
    bool global = false;
    bool function = false;
};

// Parse objdump -T output of an ELF file.
std::vector<DynamicSymbol> ParseDynamicSymbols(const std::string& text);
std::vector<DynamicSymbol> ReadDynamicSymbols(const std::filesystem::path& library);

} // namespace artifacts

#endif // ZEPHR_TESTS_ARTIFACTS_BINARY_TOOLS_H
