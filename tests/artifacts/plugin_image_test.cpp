// SPDX-License-Identifier: MIT
// plugin_image_test.cpp
//
// The plug-in library's public face in both builds: Gaugelet.def names the
// fourteen host exports; Gaugelet.dll exports exactly the defined ones,
// undecorated, and needs nothing but the C runtime and KERNEL32 on the
// user's machine; libGaugelet.so defines exactly the same names and nothing
// else.
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

TEST_F(GaugeletDll, ExportsExactlyTheDefinedNamesUndecorated)
{
    for (const auto& name : report.exports) {
        EXPECT_EQ(name.find('@'), std::string::npos) << name << " is decorated";
    }
    EXPECT_EQ(Sorted(report.exports), Sorted(GaugeletDefinition().exports))
        << "Gaugelet.dll exports: " << JoinNames(report.exports);
}

TEST_F(GaugeletDll, ImportsOnlyTheCRuntimeAndKernel32)
{
    auto dlls = report.importedDllNames();
    ASSERT_FALSE(dlls.empty()) << "no import table read from " << path;
    for (const auto& dll : dlls) {
        auto name = LowerCase(dll);
        EXPECT_TRUE(name == "msvcrt.dll" || name == "kernel32.dll")
            << path << " needs " << dll << " at run time; it imports from: " << JoinNames(dlls);
    }
}

TEST_F(GaugeletDll, ImportsTheWin32RoutinesOfTheDriverConnection)
{
    auto functions = report.functionsFrom("KERNEL32.dll");
    for (const char* routine :
         {"CreateFileA", "DeviceIoControl", "CloseHandle", "GetSystemTimeAsFileTime"}) {
        EXPECT_TRUE(std::find(functions.begin(), functions.end(), routine) != functions.end())
            << routine << " is not imported from KERNEL32.dll; imported: " << JoinNames(functions);
    }
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
    EXPECT_EQ(Sorted(defined), Sorted(GaugeletDefinition().exports))
        << "libGaugelet.so defines: " << JoinNames(defined);
}

} // namespace
} // namespace artifacts
