// SPDX-License-Identifier: MIT
// plugin_image_test.cpp
//
// The plug-in library's public face in both builds: Gaugelet.def names the
// fourteen host exports; Gaugelet.dll exports exactly the host functions
// and readers of plugin/vocabulary.h (not read from Gaugelet.def),
// undecorated, imports exactly the routines listed here, starts at its own
// DllMain without C runtime start-up and stays small; libGaugelet.so
// defines exactly the same names and nothing else.
#include "artifacts/artifact_paths.h"
#include "artifacts/binary_tools.h"
#include "artifacts/module_definition.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>

namespace artifacts {
namespace {

std::vector<std::string> Sorted(std::vector<std::string> names)
{
    std::sort(names.begin(), names.end());
    return names;
}

ModuleDefinition GaugeletDefinition()
{
    return ReadModuleDefinition(SourceFile("plugin/Gaugelet.def"));
}

TEST(GaugeletDefinition, NamesTheFourteenHostExportsOnce)
{
    auto definition = GaugeletDefinition();
    EXPECT_EQ(definition.library, "Gaugelet");
    ASSERT_FALSE(definition.exports.empty()) << "Gaugelet.def exports nothing";

    const std::vector<std::string>& named = definition.exports;
    EXPECT_EQ(std::set<std::string>(named.begin(), named.end()).size(), named.size())
        << "a name is listed twice: " << JoinNames(named);
    EXPECT_EQ(Sorted(named), Sorted(GaugeletExportNames()));
}

class GaugeletDll : public ::testing::Test {
  protected:
    std::filesystem::path path = WindowsBinary("Gaugelet.dll");
    PeReport report;

    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(path)) << MissingWindowsBinary(path);
        report = InspectPe(path);
    }
};

TEST_F(GaugeletDll, IsA32BitDll)
{
    EXPECT_EQ(report.format, "pei-i386");
    EXPECT_EQ(report.magic, "PE32");
    EXPECT_TRUE(report.characteristics & kImageFileDll);
}

TEST_F(GaugeletDll, ExportsExactlyTheHostFunctionsAndReadersUndecorated)
{
    for (const auto& name : report.exports) {
        EXPECT_EQ(name.find('@'), std::string::npos) << name << " is decorated";
    }
    EXPECT_EQ(Sorted(report.exports), Sorted(GaugeletExportNames()))
        << "Gaugelet.dll exports: " << JoinNames(report.exports);
}

// Everything Gaugelet.dll may import, DLL by DLL: the device and the clock
// from KERNEL32.dll, the heap from msvcrt.dll. A routine is added here on
// purpose, together with its line in plugin/imports/.
const ImportedDll kAllowedImports[] = {
    {"kernel32.dll", {"CloseHandle", "CreateFileA", "DeviceIoControl", "GetSystemTimeAsFileTime"}},
    {"msvcrt.dll", {"free", "malloc"}},
};

// The file size Gaugelet.dll must stay within.
constexpr uintmax_t kMaxDllBytes = 32 * 1024;

TEST_F(GaugeletDll, ImportsExactlyTheAllowedRoutines)
{
    ASSERT_FALSE(report.imports.empty()) << "no import table read from " << path;
    std::vector<std::string> allowedDlls;
    for (const auto& allowed : kAllowedImports)
        allowedDlls.push_back(allowed.name);
    std::vector<std::string> importedDlls;
    for (const auto& dll : report.importedDllNames())
        importedDlls.push_back(LowerCase(dll));
    EXPECT_EQ(Sorted(importedDlls), Sorted(allowedDlls))
        << path << " imports from: " << JoinNames(report.importedDllNames());
    for (const auto& allowed : kAllowedImports) {
        EXPECT_EQ(Sorted(report.functionsFrom(allowed.name)), Sorted(allowed.functions))
            << "imported from " << allowed.name;
    }
}

// No C runtime start-up code: the loader enters DllMain itself, and no
// global object has a constructor, since nothing would run it.
TEST_F(GaugeletDll, StartsAtItsOwnDllMainWithNoConstructors)
{
    auto symbols = ReadSymbols(path);
    ASSERT_TRUE(symbols.count("_DllMain@12")) << "no DllMain symbol in " << path;
    EXPECT_EQ(report.imageBase + report.entryRva, symbols["_DllMain@12"])
        << "the entry point is not DllMain";
    ASSERT_TRUE(symbols.count("__CTOR_LIST__") && symbols.count("__DTOR_LIST__"))
        << "no constructor list symbols in " << path;
    EXPECT_EQ(symbols["__DTOR_LIST__"] - symbols["__CTOR_LIST__"], 8u)
        << "Gaugelet.dll has global objects with constructors";
}

TEST_F(GaugeletDll, FitsInThirtyTwoKibibytes)
{
    EXPECT_LE(std::filesystem::file_size(path), kMaxDllBytes);
}

TEST_F(GaugeletDll, NoSectionIsWritableAndExecutable)
{
    ASSERT_FALSE(report.sections.empty());
    for (const auto& section : report.sections) {
        EXPECT_FALSE(section.writable && section.executable)
            << section.name << " is writable and executable";
    }
}

TEST(HostGaugelet, DefinesExactlyTheDefinedNamesAsGlobalFunctions)
{
    auto path = HostLibrary("libGaugelet.so");
    ASSERT_TRUE(std::filesystem::exists(path)) << path << " does not exist: build Gaugelet";

    std::vector<std::string> defined;
    for (const auto& symbol : ReadDynamicSymbols(path)) {
        if (!symbol.defined) {
            continue;
        }
        defined.push_back(symbol.name);
        EXPECT_TRUE(symbol.global && symbol.function)
            << symbol.name << " is defined but not a global function";
    }
    EXPECT_EQ(Sorted(defined), Sorted(GaugeletExportNames()))
        << "libGaugelet.so defines: " << JoinNames(defined);
}

} // namespace
} // namespace artifacts
