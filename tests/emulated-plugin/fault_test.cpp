// SPDX-License-Identifier: MIT
// fault_test.cpp
//
// The shipped Gaugelet.dll made to misbehave, and files the plug-in loader
// must refuse. Each misbehaving copy has one export's first instructions
// overwritten (its map file beside it): the call meets the fault, the text
// the host gets says what happened, where, and in which routine, the
// process goes on, and every later call answers an error text. Each refused
// file gives a message that names it and what is wrong, never a crash.
#include "platform/emulated-image/pe_image.h"
#include "platform/host-nt/nt_host.h"
#include "platform/host-win32/win32_host.h"
#include "sim/machine.h"
#include "tools/gaugehost/plugin_host/plugin_image.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <optional>

namespace {

namespace fs = std::filesystem;

fs::path shippedPlugin()
{
    return fs::path(ZEPHR_WINDOWS_BUILD_DIR) / "bin" / "Gaugelet.dll";
}

std::vector<uint8_t> readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A copy of the DLL (with its map file) in the test's own folder, changed.
fs::path writeCopy(const std::string& name, const std::vector<uint8_t>& bytes)
{
    const fs::path folder = fs::temp_directory_path() / ("emulated-plugin-" + name);
    fs::create_directories(folder);
    const fs::path copy = folder / "Gaugelet.dll";
    std::ofstream(copy, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    const fs::path map = fs::path(shippedPlugin()).replace_extension(".map");
    if (fs::exists(map))
        fs::copy_file(map, folder / "Gaugelet.map", fs::copy_options::overwrite_existing);
    return copy;
}

// The file offset of an export's first byte.
size_t exportOffset(const std::string& name)
{
    emulated::PeImage pe(shippedPlugin(), emulated::ImageKind::Dll);
    const uint32_t rva = pe.exports().at(name);
    for (const emulated::Section& section : pe.sections())
        if (rva >= section.virtualAddress && rva < section.virtualAddress + section.rawSize)
            return section.rawOffset + (rva - section.virtualAddress);
    throw std::runtime_error(name + " lies in no section of the file");
}

// The first occurrence of a text (with its NUL) in the file.
size_t textOffset(const std::vector<uint8_t>& bytes, const std::string& text)
{
    const std::string wanted(text.c_str(), text.size() + 1);
    auto found = std::search(bytes.begin(), bytes.end(), wanted.begin(), wanted.end());
    if (found == bytes.end())
        throw std::runtime_error("\"" + text + "\" is not in the file");
    return static_cast<size_t>(found - bytes.begin());
}

// A notebook with the host-build driver for the plug-in to open.
class Notebook {
  public:
    Notebook() : machine_(sim::Machine::builtin())
    {
        sim::installMachine(machine_);
        win32::Clock::useSimulated(134116992000000000ull);
        loaded_ = nt::IoManager::instance().loadDriver(nt::IoManager::defaultDriverPath());
    }
    ~Notebook()
    {
        if (NT_SUCCESS(loaded_))
            nt::IoManager::instance().unloadDriver();
        nt::IoManager::instance().discardUnloadedDevices();
        win32::Clock::useReal();
        sim::installMachine(nullptr);
    }
    Notebook(const Notebook&) = delete;
    Notebook& operator=(const Notebook&) = delete;
    std::vector<std::string> trace() const
    {
        return machine_->trace.lines();
    }

  private:
    std::shared_ptr<sim::Machine> machine_;
    NTSTATUS loaded_;
};

struct FaultRow {
    std::string name;
    std::string routine; // the export whose code is overwritten and called
    std::vector<uint8_t> code;
    std::string what; // in the message
};

void PrintTo(const FaultRow& row, std::ostream* out)
{
    *out << row.name;
}

const std::vector<FaultRow> kFaults = {
    {"Hlt", "GetCPUTemp", {0xF4}, "a privileged instruction (hlt)"},
    {"Cli", "GetFAN1RPM", {0xFA}, "a privileged instruction (cli)"},
    {"InFromAPort", "GetGPUTemp", {0xEC}, "a privileged instruction (in)"},
    {"OutToTheSmiPort", "GetCPUTemp", {0xB0, 0xA3, 0xE6, 0xB2}, "a privileged instruction (out)"},
    {"Wrmsr", "GetFAN2Speed", {0x0F, 0x30}, "a privileged instruction (wrmsr)"},
    {"Ud2", "GetCPUTemp", {0x0F, 0x0B}, "an invalid instruction"},
    {"ReadOfPageZero",
     "GetDIMMTemp",
     {0xA1, 0, 0, 0, 0},
     "a read of unmapped memory at 0x00000000"},
    {"WriteToItsOwnCode",
     "GetCPUTemp",
     {0xE8, 0, 0, 0, 0, 0x58, 0xC6, 0x00, 0xC3},
     "a write to read-only memory"},
    {"Runaway", "GetOTHERTemp", {0xEB, 0xFE}, "a runaway"},
    {"EndlessRecursion", "GetCPUTemp", {0xE8, 0xFB, 0xFF, 0xFF, 0xFF}, "a stack overflow"},
    {"DivisionByZero", "GetFAN1RPM", {0x31, 0xC9, 0xF7, 0xF1}, "divide error"},
    {"StdcallReturn", "GetCPUTemp", {0xC2, 0x10, 0x00}, "a calling convention mismatch"},
    {"TextPointerToNothing",
     "GetFAN2RPM",
     {0xB8, 0x34, 0x12, 0x00, 0x00, 0xC3},
     "returned 0x00001234, which is no text the host can read"},
};

class PluginFaults : public ::testing::TestWithParam<FaultRow> {};

TEST_P(PluginFaults, ReportedWithTheRoutineAndLaterCallsAnswerAnError)
{
    ASSERT_TRUE(fs::exists(shippedPlugin())) << shippedPlugin() << " does not exist";
    const FaultRow& row = GetParam();
    std::vector<uint8_t> bytes = readFile(shippedPlugin());
    const size_t at = exportOffset(row.routine);
    std::copy(row.code.begin(), row.code.end(), bytes.begin() + static_cast<long>(at));
    const fs::path copy = writeCopy(row.name, bytes);

    Notebook notebook;
    gaugehost::PluginLibrary library(copy.string(), gaugehost::loadPluginImage(copy.string()));
    const bool temperature = row.routine.find("Temp") != std::string::npos;
    const std::vector<std::string> texts =
        temperature ? std::vector<std::string>{"5", "c", "no"} : std::vector<std::string>{"5"};
    std::string text;
    {
        gaugehost::PluginInstance instance = library.startInstance();
        text = library.callReader(row.routine, library.findReader(row.routine), instance.handle(),
                                  texts);
    }
    EXPECT_TRUE(
        text.starts_with("ERROR: plug-in fault in Gaugelet.dll during " + row.routine + ": "))
        << text;
    EXPECT_NE(text.find(row.what), std::string::npos) << text;
    if (row.name != "TextPointerToNothing") {
        EXPECT_NE(text.find("(" + row.routine), std::string::npos)
            << "no symbol of Gaugelet.map in: " << text;
    }
    // The process goes on; the plug-in answers every later call with it.
    EXPECT_EQ(library.init(), text);
    EXPECT_EQ(library.getinfo(0), text);
    EXPECT_EQ(library.dlltype(), 0);
    const auto trace = notebook.trace();
    EXPECT_TRUE(std::any_of(trace.begin(), trace.end(), [&](const std::string& line) {
        return line == "fault " + text.substr(7);
    })) << "no fault line in the trace";
}

INSTANTIATE_TEST_SUITE_P(Rows, PluginFaults, ::testing::ValuesIn(kFaults),
                         [](const auto& info) { return info.param.name; });

struct RefusalRow {
    std::string name;
    // The file (made from the shipped DLL's bytes) and where it goes.
    std::function<std::vector<uint8_t>(std::vector<uint8_t>)> file;
    std::optional<uint32_t> base;
    std::string what; // in the message
};

void PrintTo(const RefusalRow& row, std::ostream* out)
{
    *out << row.name;
}

std::vector<uint8_t> truncated(std::vector<uint8_t> bytes, size_t length)
{
    bytes.resize(std::min(length, bytes.size()));
    return bytes;
}

std::vector<uint8_t> renamed(std::vector<uint8_t> bytes, const std::string& from,
                             const std::string& to)
{
    std::memcpy(bytes.data() + textOffset(bytes, from), to.c_str(), to.size() + 1);
    return bytes;
}

// The NT headers' offset, from the DOS header.
size_t ntHeaders(const std::vector<uint8_t>& bytes)
{
    uint32_t offset;
    std::memcpy(&offset, bytes.data() + 0x3C, 4);
    return offset;
}

std::vector<uint8_t> withCharacteristics(std::vector<uint8_t> bytes, uint16_t set, uint16_t clear)
{
    uint16_t flags;
    const size_t at = ntHeaders(bytes) + 4 + 18;
    std::memcpy(&flags, bytes.data() + at, 2);
    flags = static_cast<uint16_t>((flags | set) & ~clear);
    std::memcpy(bytes.data() + at, &flags, 2);
    return bytes;
}

const std::vector<RefusalRow> kRefusals = {
    {"NoMzHeader",
     [](std::vector<uint8_t>) { return std::vector<uint8_t>{'n', 'o', 't', ' ', 'a', ' ', 'D'}; },
     std::nullopt, "no MZ header"},
    {"EmptyFile", [](std::vector<uint8_t>) { return std::vector<uint8_t>{}; }, std::nullopt,
     "no MZ header"},
    {"TruncatedInTheDosHeader", [](auto b) { return truncated(b, 0x3E); }, std::nullopt,
     "no MZ header"},
    {"TruncatedBeforeThePeHeader", [](auto b) { return truncated(b, 0x80); }, std::nullopt,
     "truncated"},
    {"TruncatedInTheSectionTable", [](auto b) { return truncated(b, 0x1A0); }, std::nullopt,
     "truncated"},
    {"TruncatedInTheSections", [](auto b) { return truncated(b, 0x800); }, std::nullopt,
     "outside the file"},
    {"NotADll", [](auto b) { return withCharacteristics(b, 0, 0x2000); }, std::nullopt,
     "not a DLL"},
    {"AnImportTheProcessDoesNotOffer", [](auto b) { return renamed(b, "malloc", "mallox"); },
     std::nullopt, "imports mallox from msvcrt.dll, which the emulated process does not offer"},
    {"AnImportFromAnotherModule", [](auto b) { return renamed(b, "msvcrt.dll", "msvcrx.dll"); },
     std::nullopt, "from msvcrx.dll, which the emulated process does not offer"},
    {"MovedWithoutRelocations", [](auto b) { return withCharacteristics(b, 0x0001, 0); },
     0x10000000u, "carries no base relocations"},
    {"PlacedOffA64KiBBoundary", [](auto b) { return b; }, 0x10001000u, "cannot be placed"},
    {"PlacedOverTheHeap", [](auto b) { return b; }, 0x7C000000u, "cannot be placed"},
    // The x64 build's driver image marked a Windows DLL: a PE32+ library,
    // which a 32-bit host cannot load.
    {"AnX64Library",
     [](auto) {
         auto bytes = withCharacteristics(
             readFile(fs::path(ZEPHR_WINDOWS_X64_BUILD_DIR) / "bin" / "zephr.sys"), 0x2000, 0);
         const uint16_t windowsGui = 2;
         std::memcpy(bytes.data() + ntHeaders(bytes) + 24 + 68, &windowsGui, 2);
         return bytes;
     },
     std::nullopt, "an x86-64 (PE32+) library"},
};

class PluginRefusals : public ::testing::TestWithParam<RefusalRow> {};

TEST_P(PluginRefusals, NamedWithWhatIsWrong)
{
    ASSERT_TRUE(fs::exists(shippedPlugin())) << shippedPlugin() << " does not exist";
    const RefusalRow& row = GetParam();
    const fs::path copy = writeCopy(row.name, row.file(readFile(shippedPlugin())));
    Notebook notebook;
    try {
        gaugehost::PluginLibrary library(copy.string(),
                                         gaugehost::loadPluginImage(copy.string(), row.base));
        FAIL() << "the loader took " << copy;
    } catch (const std::runtime_error& error) {
        const std::string message = error.what();
        EXPECT_TRUE(message.starts_with("plug-in image ")) << message;
        EXPECT_NE(message.find("Gaugelet.dll"), std::string::npos) << message;
        EXPECT_NE(message.find(row.what), std::string::npos) << message;
    }
}

INSTANTIATE_TEST_SUITE_P(Rows, PluginRefusals, ::testing::ValuesIn(kRefusals),
                         [](const auto& info) { return info.param.name; });

} // namespace
