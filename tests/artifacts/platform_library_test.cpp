// SPDX-License-Identifier: MIT
// platform_library_test.cpp
//
// How the host platform library links: the CPU emulator is not one of its
// needed libraries (the emulated-image loader loads it when a processor is
// first needed), and it exports every NT and Win32 routine the driver image
// and the plug-in library import from it.
#include "tests/artifacts/artifact_paths.h"
#include "tests/artifacts/binary_tools.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <sstream>

namespace artifacts {
namespace {

std::vector<std::string> NeededLibraries(const std::filesystem::path& library)
{
    std::vector<std::string> needed;
    std::istringstream lines(
        RunCommand(std::string(ZEPHR_HOST_OBJDUMP) + " -p " + ShellQuote(library)));
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string tag, name;
        if (words >> tag >> name && tag == "NEEDED")
            needed.push_back(name);
    }
    return needed;
}

TEST(HostPlatformLibrary, DoesNotNeedTheCpuEmulator)
{
    const auto path = HostLibrary("libzephr_platform.so");
    ASSERT_TRUE(std::filesystem::exists(path)) << path << " does not exist: build zephr_platform";
    const auto needed = NeededLibraries(path);
    ASSERT_FALSE(needed.empty()) << "objdump -p listed no NEEDED entry of " << path;
    for (const auto& name : needed)
        EXPECT_EQ(name.find("unicorn"), std::string::npos) << path << " needs " << name;
}

// The NT and Win32 routines are the C names beginning with a capital; the C
// runtime's and the C++ runtime's names do not.
TEST(HostPlatformLibrary, ExportsEveryRoutineTheDriverImageAndThePlugInImport)
{
    std::set<std::string> exported;
    for (const auto& symbol : ReadDynamicSymbols(HostLibrary("libzephr_platform.so")))
        if (symbol.defined && symbol.global)
            exported.insert(symbol.name);
    for (const char* module : {"zephr.so", "libGaugelet.so"}) {
        const auto path = HostLibrary(module);
        ASSERT_TRUE(std::filesystem::exists(path)) << path << " does not exist";
        size_t routines = 0;
        for (const auto& symbol : ReadDynamicSymbols(path)) {
            if (symbol.defined || symbol.name.empty() ||
                !std::isupper(static_cast<unsigned char>(symbol.name[0])))
                continue;
            ++routines;
            EXPECT_TRUE(exported.count(symbol.name))
                << module << " imports " << symbol.name << ", which the platform library hides";
        }
        EXPECT_GT(routines, 0u) << module << " imports no NT or Win32 routine";
    }
}

} // namespace
} // namespace artifacts
