// SPDX-License-Identifier: MIT
// binary_tools.cpp
//
// Runs binutils on built binaries and reads their text output; computes the
// PE checksum from the file's bytes.
#include "artifacts/binary_tools.h"

#include <algorithm>
#include <array>
#include <cctype>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>

namespace artifacts {
namespace {

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::istringstream stream(text);
    for (std::string line; std::getline(stream, line);) {
        lines.push_back(line);
    }
    return lines;
}

std::vector<std::string> Words(const std::string& line)
{
    std::istringstream stream(line);
    return {std::istream_iterator<std::string>(stream), std::istream_iterator<std::string>()};
}

bool IsBlank(const std::string& line)
{
    return std::all_of(line.begin(), line.end(), [](unsigned char c) { return std::isspace(c); });
}

uint32_t Hex(const std::string& word, const std::string& field)
{
    try {
        size_t used = 0;
        unsigned long value = std::stoul(word, &used, 16);
        if (used == word.size()) {
            return static_cast<uint32_t>(value);
        }
    } catch (const std::exception&) {
    }
    throw std::runtime_error("objdump: " + field + " is not a hexadecimal number: '" + word + "'");
}

// "Key <hex> ..." lines of objdump -p: the hex word after the key.
bool HexField(const std::vector<std::string>& words, const char* key, uint32_t& value)
{
    if (words.size() >= 2 && words[0] == key) {
        value = Hex(words[1], key);
        return true;
    }
    return false;
}

// A "[  n] name" row of the export name table.
bool IsExportRow(const std::vector<std::string>& words)
{
    return words.size() >= 2 && words.front().starts_with("[");
}

// Reads the rows of one "DLL Name:" block, up to the blank line that ends it.
size_t ParseImportBlock(const std::vector<std::string>& lines, size_t index, ImportedDll& dll)
{
    for (; index < lines.size() && !IsBlank(lines[index]); ++index) {
        auto words = Words(lines[index]);
        if (words.empty() || words[0] == "vma:") {
            continue;
        }
        dll.functions.push_back(words.back());
    }
    return index;
}

size_t ParseExportTable(const std::vector<std::string>& lines, size_t index,
                        std::vector<std::string>& exports)
{
    for (; index < lines.size() && !IsBlank(lines[index]); ++index) {
        auto words = Words(lines[index]);
        if (IsExportRow(words)) {
            exports.push_back(words.back());
        }
    }
    return index;
}

} // namespace

std::string RunCommand(const std::string& command)
{
    std::unique_ptr<FILE, int (*)(FILE*)> pipe(popen(command.c_str(), "r"), pclose);
    if (!pipe) {
        throw std::runtime_error("cannot start: " + command);
    }
    std::string output;
    std::array<char, 4096> chunk{};
    for (size_t got; (got = fread(chunk.data(), 1, chunk.size(), pipe.get())) > 0;) {
        output.append(chunk.data(), got);
    }
    int status = pclose(pipe.release());
    if (status == -1 || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
        throw std::runtime_error("command failed (status " + std::to_string(status) +
                                 "): " + command);
    }
    return output;
}

std::string ShellQuote(const std::filesystem::path& path)
{
    std::string quoted = "'";
    for (char c : path.string()) {
        quoted += (c == '\'') ? std::string("'\\''") : std::string(1, c);
    }
    return quoted + "'";
}

std::string JoinNames(const std::vector<std::string>& names)
{
    std::string joined;
    for (const auto& name : names) {
        joined += (joined.empty() ? "" : ", ") + name;
    }
    return joined.empty() ? "(none)" : joined;
}

std::string LowerCase(std::string text)
{
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::vector<std::string> PeReport::importedDllNames() const
{
    std::vector<std::string> names;
    for (const auto& dll : imports) {
        names.push_back(dll.name);
    }
    return names;
}

std::vector<std::string> PeReport::functionsFrom(const std::string& dll) const
{
    std::vector<std::string> functions;
    for (const auto& entry : imports) {
        if (LowerCase(entry.name) == LowerCase(dll)) {
            functions.insert(functions.end(), entry.functions.begin(), entry.functions.end());
        }
    }
    return functions;
}

void ParsePrivateHeaders(const std::string& text, PeReport& report)
{
    auto lines = Lines(text);
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        auto words = Words(line);
        if (words.empty()) {
            continue;
        }
        if (auto at = line.find(":     file format "); at != std::string::npos &&
                                                       report.format.empty() &&
                                                       Words(line.substr(at + 18)).size() == 1) {
            report.format = Words(line.substr(at + 18)).front();
        } else if (words[0] == "Characteristics" && words.size() >= 2 &&
                   report.characteristics == 0) {
            report.characteristics =
                Hex(words[1].substr(words[1].starts_with("0x") ? 2 : 0), "Characteristics");
        } else if (words[0] == "Magic" && words.size() >= 3) {
            report.magic = words[2].substr(1, words[2].size() - 2);
        } else if (HexField(words, "AddressOfEntryPoint", report.entryRva) ||
                   HexField(words, "ImageBase", report.imageBase) ||
                   HexField(words, "CheckSum", report.checksum) ||
                   HexField(words, "Subsystem", report.subsystem)) {
            continue; // one of the optional header's numbers
        } else if (words[0] == "Entry" && words.size() >= 6 && words[1] == "5") {
            report.relocationDirectorySize = Hex(words[3], "base relocation directory size");
        } else if (line.find("DLL Name:") != std::string::npos) {
            ImportedDll dll{words.back(), {}};
            i = ParseImportBlock(lines, i + 1, dll);
            report.imports.push_back(dll);
        } else if (line.starts_with("[Ordinal/Name Pointer] Table")) {
            i = ParseExportTable(lines, i + 1, report.exports);
        }
    }
    if (report.format.empty()) {
        throw std::runtime_error("objdump -p output names no file format");
    }
}

std::vector<Section> ParseSectionHeaders(const std::string& text)
{
    // "  0 .text  00001798  00011000 ..." then "   CONTENTS, ALLOC, LOAD, READONLY, CODE"
    std::vector<Section> sections;
    auto lines = Lines(text);
    for (size_t i = 0; i + 1 < lines.size(); ++i) {
        auto words = Words(lines[i]);
        if (words.size() < 7 || !std::all_of(words[0].begin(), words[0].end(), ::isdigit)) {
            continue;
        }
        const std::string& flags = lines[i + 1];
        sections.push_back({words[1], flags.find("READONLY") == std::string::npos,
                            flags.find("CODE") != std::string::npos});
        ++i;
    }
    return sections;
}

PeReport InspectPe(const std::filesystem::path& image)
{
    PeReport report;
    ParsePrivateHeaders(RunCommand(std::string(ZEPHR_PE_ANY_OBJDUMP) + " -p " + ShellQuote(image)),
                        report);
    report.sections = ParseSectionHeaders(
        RunCommand(std::string(ZEPHR_PE_ANY_OBJDUMP) + " -h " + ShellQuote(image)));
    return report;
}

std::map<std::string, uint64_t> ParseNmSymbols(const std::string& text)
{
    std::map<std::string, uint64_t> symbols;
    for (const auto& line : Lines(text)) {
        auto words = Words(line);
        if (words.size() == 3) {
            symbols[words[2]] = std::stoull(words[0], nullptr, 16);
        }
    }
    return symbols;
}

std::map<std::string, uint64_t> ReadSymbols(const std::filesystem::path& image)
{
    return ParseNmSymbols(RunCommand(std::string(ZEPHR_PE_ANY_NM) + " " + ShellQuote(image)));
}

std::vector<std::string> ParseFunctionDisassembly(const std::string& text,
                                                  const std::string& symbol)
{
    std::vector<std::string> instructions;
    auto lines = Lines(text);
    auto start = std::find_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.ends_with("<" + symbol + ">:");
    });
    if (start == lines.end()) {
        return instructions;
    }
    for (auto it = start + 1; it != lines.end() && !IsBlank(*it); ++it) {
        auto tab = it->find('\t');
        if (tab == std::string::npos) {
            continue;
        }
        std::string instruction;
        for (const auto& word : Words(it->substr(tab + 1))) {
            instruction += (instruction.empty() ? "" : " ") + word;
        }
        instructions.push_back(instruction);
    }
    return instructions;
}

std::vector<std::string> DisassembleFunction(const std::filesystem::path& image,
                                             const std::string& symbol)
{
    return ParseFunctionDisassembly(RunCommand(std::string(ZEPHR_PE_ANY_OBJDUMP) +
                                               " -d --no-show-raw-insn " + ShellQuote(image)),
                                    symbol);
}

std::vector<unsigned char> ReadFileBytes(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    if (!file) {
        throw std::runtime_error("cannot read " + path.string());
    }
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

uint32_t ComputePeChecksum(const std::vector<unsigned char>& image)
{
    auto word32 = [&](size_t at) {
        return static_cast<uint32_t>(image[at]) | (static_cast<uint32_t>(image[at + 1]) << 8) |
               (static_cast<uint32_t>(image[at + 2]) << 16) |
               (static_cast<uint32_t>(image[at + 3]) << 24);
    };
    if (image.size() < 0x40 || image[0] != 'M' || image[1] != 'Z') {
        throw std::runtime_error("not a PE image: no MZ header");
    }
    // The checksum field: signature (4) + file header (20) + 64 bytes into
    // the optional header.
    size_t peOffset = word32(0x3c);
    size_t checksumOffset = peOffset + 4 + 20 + 64;
    if (checksumOffset + 4 > image.size() || word32(peOffset) != 0x00004550) {
        throw std::runtime_error("not a PE image: no PE signature at offset " +
                                 std::to_string(peOffset));
    }
    uint64_t sum = 0;
    for (size_t at = 0; at < image.size(); at += 2) {
        uint32_t word = image[at] | (at + 1 < image.size() ? image[at + 1] << 8 : 0);
        if (at >= checksumOffset && at < checksumOffset + 4) {
            word = 0;
        }
        sum += word;
        sum = (sum & 0xffff) + (sum >> 16);
    }
    sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint32_t>(sum + image.size());
}

std::vector<DynamicSymbol> ParseDynamicSymbols(const std::string& text)
{
    // "0000000000001234 g    DF .text\t0000000000000012  Base        init"
    std::vector<DynamicSymbol> symbols;
    for (const auto& line : Lines(text)) {
        auto space = line.find(' ');
        if (space == std::string::npos || space == 0 || line.size() < space + 9 ||
            !std::all_of(line.begin(), line.begin() + space, ::isxdigit)) {
            continue;
        }
        std::string flags = line.substr(space + 1, 7);
        auto rest = Words(line.substr(space + 8));
        if (rest.size() < 3) {
            continue;
        }
        symbols.push_back(
            {rest.back(), rest[0] != "*UND*", flags[0] == 'g' || flags[0] == 'u', flags[6] == 'F'});
    }
    return symbols;
}

std::vector<DynamicSymbol> ReadDynamicSymbols(const std::filesystem::path& library)
{
    return ParseDynamicSymbols(
        RunCommand(std::string(ZEPHR_HOST_OBJDUMP) + " -T " + ShellQuote(library)));
}

} // namespace artifacts
