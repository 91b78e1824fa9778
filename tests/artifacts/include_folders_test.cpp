// SPDX-License-Identifier: MIT
// include_folders_test.cpp
//
// Each image is compiled with the headers it would see on Windows and no
// others: the driver with an <ntddk.h> only, the plug-in with a <windows.h>
// only. Read from the compile commands the two builds write.
#include "artifacts/artifact_paths.h"

#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <vector>

namespace artifacts {
namespace {

struct IncludeCase {
    const char* image;
    const char* buildDir;
    // Object folder of the image's target, relative to the build folder.
    const char* objects;
    // Include folders (relative to the source folder) it must and must not get.
    std::vector<std::string> required;
    std::vector<std::string> forbidden;
};

void PrintTo(const IncludeCase& row, std::ostream* out)
{
    *out << row.image;
}

const std::string kHostNt = "platform/host-nt/include";
const std::string kHostWin32 = "platform/host-win32/include";
const std::string kWindowsDdk = "platform/windows-ddk/include";

const IncludeCase kCases[] = {
    {"zephr.so", ZEPHR_BUILD_DIR, "driver/CMakeFiles/zephr.dir/", {kHostNt}, {kHostWin32}},
    {"zephr_driver_static",
     ZEPHR_BUILD_DIR,
     "driver/CMakeFiles/zephr_driver_static.dir/",
     {kHostNt},
     {kHostWin32}},
    {"libGaugelet.so", ZEPHR_BUILD_DIR, "plugin/CMakeFiles/Gaugelet.dir/", {kHostWin32}, {kHostNt}},
    {"zephr.sys",
     ZEPHR_WINDOWS_BUILD_DIR,
     "driver/CMakeFiles/zephr.dir/",
     {kWindowsDdk},
     {kHostNt, kHostWin32}},
    {"zephr-testhw.sys",
     ZEPHR_WINDOWS_BUILD_DIR,
     "driver/CMakeFiles/zephr-testhw.dir/",
     {kWindowsDdk},
     {kHostNt, kHostWin32}},
    {"Gaugelet.dll",
     ZEPHR_WINDOWS_BUILD_DIR,
     "plugin/CMakeFiles/Gaugelet.dir/",
     {},
     {kHostNt, kHostWin32, kWindowsDdk}},
};

class IncludeFolders : public ::testing::TestWithParam<IncludeCase> {};

TEST_P(IncludeFolders, AreTheOnesOfTheImagesSide)
{
    const IncludeCase& row = GetParam();
    const std::filesystem::path file =
        std::filesystem::path(row.buildDir) / "compile_commands.json";
    std::ifstream in(file);
    ASSERT_TRUE(in) << file << " is missing: configure that build first";
    const nlohmann::json commands = nlohmann::json::parse(in);

    int compiled = 0;
    for (const auto& entry : commands) {
        const std::string command = entry.at("command").get<std::string>();
        if (command.find(std::string(" -o ") + row.objects) == std::string::npos)
            continue;
        ++compiled;
        const std::string source = entry.at("file").get<std::string>();
        for (const auto& folder : row.required)
            EXPECT_NE(command.find(SourceFile(folder).string()), std::string::npos)
                << source << " is compiled without " << folder;
        for (const auto& folder : row.forbidden)
            EXPECT_EQ(command.find(SourceFile(folder).string()), std::string::npos)
                << source << " is compiled with " << folder;
    }
    EXPECT_GT(compiled, 0) << "no source of " << row.image << " in " << file;
}

INSTANTIATE_TEST_SUITE_P(Images, IncludeFolders, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<IncludeCase>& info) {
                             std::string name = info.param.image;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c)))
                                     c = '_';
                             return name;
                         });

} // namespace
} // namespace artifacts
