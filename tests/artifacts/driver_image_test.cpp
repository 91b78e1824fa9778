// SPDX-License-Identifier: MIT
// driver_image_test.cpp
//
// zephr.sys as the two Windows builds make it, one row per build: a PE32
// (x86) or PE32+ (x64) image for the native subsystem entered at DriverEntry, importing from the
// kernel and the HAL only, loadable at any address, with a checksum the loader accepts, no static
// constructors that nothing would run, the SMI exchange compiled as the one straight sequence it
// must be, and no larger than 32 KiB.
#include "artifacts/artifact_paths.h"
#include "artifacts/binary_tools.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace artifacts {
namespace {

// What differs between the builds' images.
struct DriverBuild {
    const WindowsBuild* build;
    const char* entry;        // DriverEntry as the linker names it
    const char* symbolPrefix; // of the extern "C" names: "_" on x86 only
    unsigned pointerBytes;
    // The instructions that save and restore every register around the SMI
    // (on x64 the last push and the first pop of the row), and the
    // registers whose upper halves nothing before the SMI may touch.
    const char* saveAll;
    const char* restoreAll;
    std::vector<std::string> wideRegisters;
    bool testSigned; // 64-bit Windows loads signed drivers only
};

void PrintTo(const DriverBuild& row, std::ostream* out)
{
    *out << row.build->name;
}

const DriverBuild kDriverBuilds[] = {
    {&kX86Build,
     "_DriverEntry@8",
     "_",
     4,
     "pusha",
     "popa",
     {"%eax", "%ebx", "%ecx", "%edx"},
     false},
    {&kX64Build,
     "DriverEntry",
     "",
     8,
     "push %r15",
     "pop %r15",
     {"%eax", "%ebx", "%ecx", "%edx", "%rax", "%rbx", "%rcx", "%rdx"},
     true},
};

class DriverImage : public ::testing::TestWithParam<DriverBuild> {
  protected:
    std::filesystem::path path = WindowsBinary(*GetParam().build, "zephr.sys");
    PeReport report;

    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(path)) << MissingWindowsBinary(path, *GetParam().build);
        report = InspectPe(path);
    }

    std::string symbol(const char* name) const
    {
        return GetParam().symbolPrefix + std::string(name);
    }
};

INSTANTIATE_TEST_SUITE_P(Builds, DriverImage, ::testing::ValuesIn(kDriverBuilds),
                         [](const auto& info) { return std::string(info.param.build->name); });

TEST_P(DriverImage, IsANativeImageOfItsBuildEnteredAtDriverEntry)
{
    EXPECT_EQ(report.format, GetParam().build->format);
    EXPECT_EQ(report.magic, GetParam().build->magic);
    EXPECT_EQ(report.subsystem, kSubsystemNative);
    EXPECT_TRUE(report.characteristics & kImageFileExecutable);

    auto symbols = ReadSymbols(path);
    auto entry = symbols.find(GetParam().entry);
    ASSERT_NE(entry, symbols.end())
        << "no " << GetParam().entry << " (extern \"C\", NTAPI) in " << path;
    EXPECT_EQ(uint64_t{report.imageBase} + report.entryRva, entry->second)
        << "the entry point is not DriverEntry";
}

TEST_P(DriverImage, ImportsOnlyFromTheKernelAndTheHal)
{
    auto dlls = report.importedDllNames();
    ASSERT_FALSE(dlls.empty()) << "no import table read from " << path;
    for (const auto& dll : dlls) {
        auto name = LowerCase(dll);
        EXPECT_TRUE(name == "ntoskrnl.exe" || name == "hal.dll")
            << path << " imports from " << dll << "; it imports from: " << JoinNames(dlls);
    }
}

TEST_P(DriverImage, ImportsTheKernelRoutinesOfLoadDispatchAndMapping)
{
    auto functions = report.functionsFrom("ntoskrnl.exe");
    for (const char* routine : {"MmMapIoSpace", "MmUnmapIoSpace", "IoCreateDevice",
                                "IoCreateSymbolicLink", "IoDeleteSymbolicLink", "IoDeleteDevice",
                                "IofCompleteRequest", "DbgPrint", "RtlInitUnicodeString"}) {
        EXPECT_TRUE(std::find(functions.begin(), functions.end(), routine) != functions.end())
            << routine << " is not imported from ntoskrnl.exe; imported: " << JoinNames(functions);
    }
}

TEST_P(DriverImage, NoSectionIsWritableAndExecutable)
{
    ASSERT_FALSE(report.sections.empty());
    for (const auto& section : report.sections) {
        EXPECT_FALSE(section.writable && section.executable)
            << section.name << " is writable and executable";
    }
}

// The kernel relocates every driver it loads and checks a driver's checksum.
TEST_P(DriverImage, KeepsItsRelocationsAndCarriesTheRightChecksum)
{
    EXPECT_FALSE(report.characteristics & kImageFileRelocsStripped);
    EXPECT_GT(report.relocationDirectorySize, 0u) << "no base relocations in " << path;

    EXPECT_NE(report.checksum, 0u);
    EXPECT_EQ(report.checksum, ComputePeChecksum(ReadFileBytes(path)));
}

TEST_P(DriverImage, IsNoLargerThan32KiB)
{
    EXPECT_LE(std::filesystem::file_size(path), 32768u);
}

// The x64 image carries an Authenticode signature under the build's test
// certificate, over the image as it is: osslsigncode reads it and finds the
// digest it holds equal to the image's. The chain is not trusted (the
// certificate signs itself), so osslsigncode's verdict is not asked for.
TEST_P(DriverImage, CarriesATestSignatureWhereWindowsRequiresOne)
{
    std::string verify = RunCommand(std::string(ZEPHR_OSSLSIGNCODE) + " verify -in " +
                                    ShellQuote(path) + " 2>&1 || true");
    if (!GetParam().testSigned) {
        EXPECT_NE(verify.find("No signature found"), std::string::npos) << verify;
        return;
    }
    auto field = [&](const std::string& name) {
        size_t at = verify.find(name + " : ");
        return at == std::string::npos ? std::string() : verify.substr(at + name.size() + 3, 64);
    };
    EXPECT_NE(verify.find("Message digest algorithm  : SHA256"), std::string::npos) << verify;
    EXPECT_EQ(field("Current message digest   ").size(), 64u) << verify;
    EXPECT_EQ(field("Current message digest   "), field("Calculated message digest")) << verify;
    EXPECT_NE(verify.find("Subject: /CN=zephr test signing"), std::string::npos) << verify;
}

// Nothing runs constructors of globals in a driver: the list must be empty
// (its -1 head and 0 terminator only).
TEST_P(DriverImage, HasNoStaticConstructors)
{
    auto symbols = ReadSymbols(path);
    ASSERT_TRUE(symbols.count("__CTOR_LIST__") && symbols.count("__DTOR_LIST__"))
        << "no constructor list symbols in " << path;
    EXPECT_EQ(symbols["__DTOR_LIST__"] - symbols["__CTOR_LIST__"], 2u * GetParam().pointerBytes)
        << "zephr.sys has global objects with constructors";
}

TEST_P(DriverImage, PortPrimitivesAreSingleByteAccessesThroughDx)
{
    auto read = DisassembleFunction(path, symbol("PortReadByte"));
    auto write = DisassembleFunction(path, symbol("PortWriteByte"));
    EXPECT_TRUE(std::find(read.begin(), read.end(), "in (%dx),%al") != read.end())
        << JoinNames(read);
    EXPECT_TRUE(std::find(write.begin(), write.end(), "out %al,(%dx)") != write.end())
        << JoinNames(write);
}

class SmmExchangeCode : public DriverImage {
  protected:
    std::vector<std::string> code;

    void SetUp() override
    {
        DriverImage::SetUp();
        code = DisassembleFunction(path, symbol("SmmExchange"));
        ASSERT_FALSE(code.empty()) << "no SmmExchange in " << path;
    }

    size_t indexOf(const std::string& instruction) const
    {
        return std::find(code.begin(), code.end(), instruction) - code.begin();
    }

    // The instructions strictly between two positions.
    std::vector<std::string> between(size_t first, size_t last)
    {
        return {code.begin() + first + 1, code.begin() + last};
    }
};

INSTANTIATE_TEST_SUITE_P(Builds, SmmExchangeCode, ::testing::ValuesIn(kDriverBuilds),
                         [](const auto& info) { return std::string(info.param.build->name); });

TEST_P(SmmExchangeCode, WritesPort84RightAfterTheSmi)
{
    size_t smi = indexOf("out %al,$0xb2");
    ASSERT_LT(smi + 1, code.size()) << JoinNames(code);
    EXPECT_EQ(code[smi + 1], "out %al,$0x84") << JoinNames(code);
}

// Only AX, BX, CX and DX are loaded, with 16-bit moves; nothing between the
// register save and the SMI touches the upper halves of EAX to EDX (RAX to
// RDX on x64).
TEST_P(SmmExchangeCode, LoadsTheFourRegistersWith16BitMovesAfterSavingAll)
{
    size_t save = indexOf(GetParam().saveAll);
    size_t smi = indexOf("out %al,$0xb2");
    ASSERT_LT(smi, code.size()) << "no write to port 0xb2: " << JoinNames(code);
    ASSERT_LT(save, smi) << "no " << GetParam().saveAll << " before the SMI: " << JoinNames(code);

    std::set<std::string> loaded;
    for (const auto& instruction : between(save, smi)) {
        for (const auto& wide : GetParam().wideRegisters) {
            EXPECT_EQ(instruction.find(wide), std::string::npos)
                << "'" << instruction << "' touches " << wide << " before the SMI";
        }
        for (const char* reg : {"ax", "bx", "cx", "dx"}) {
            if (instruction.starts_with("mov ") && instruction.ends_with(std::string(",%") + reg)) {
                loaded.insert(reg);
            }
        }
    }
    EXPECT_EQ(loaded, (std::set<std::string>{"ax", "bx", "cx", "dx"})) << JoinNames(code);
}

TEST_P(SmmExchangeCode, StoresTheFourRegistersBeforeRestoringAll)
{
    size_t post = indexOf("out %al,$0x84");
    size_t restore = indexOf(GetParam().restoreAll);
    ASSERT_LT(restore, code.size()) << "no " << GetParam().restoreAll << ": " << JoinNames(code);
    ASSERT_LT(post, restore) << "no write to port 0x84 before " << GetParam().restoreAll << ": "
                             << JoinNames(code);
    size_t flags = indexOf("popf");
    EXPECT_TRUE(restore < flags && flags < code.size())
        << "flags are not restored after the registers: " << JoinNames(code);

    std::set<std::string> stored;
    for (const auto& instruction : between(post, restore)) {
        for (const char* reg : {"ax", "bx", "cx", "dx"}) {
            if (instruction.starts_with(std::string("mov %") + reg + ",")) {
                stored.insert(reg);
            }
        }
    }
    EXPECT_EQ(stored, (std::set<std::string>{"ax", "bx", "cx", "dx"})) << JoinNames(code);
}

} // namespace
} // namespace artifacts
