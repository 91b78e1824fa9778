// SPDX-License-Identifier: MIT
// artifact_paths.h
//
// Where the artifact tests find what they inspect: the Windows build's
// binaries, the host build's libraries and the sources they are built from,
// and the message that tells how to make a missing Windows binary.
#ifndef ZEPHR_TESTS_ARTIFACTS_ARTIFACT_PATHS_H
#define ZEPHR_TESTS_ARTIFACTS_ARTIFACT_PATHS_H

#include <filesystem>
#include <string>

namespace artifacts {

// One of the two Windows builds: its folder (named as its preset), and the
// file format and optional header magic objdump reports for its images.
struct WindowsBuild {
    const char* name; // "x86" or "x64"
    const char* folder;
    const char* format;
    const char* magic;
};

inline const WindowsBuild kX86Build = {"x86", ZEPHR_WINDOWS_BUILD_DIR, "pei-i386", "PE32"};
inline const WindowsBuild kX64Build = {"x64", ZEPHR_WINDOWS_X64_BUILD_DIR, "pei-x86-64", "PE32+"};

inline std::filesystem::path WindowsBinary(const WindowsBuild& build, const std::string& name)
{
    return std::filesystem::path(build.folder) / "bin" / name;
}

inline std::filesystem::path WindowsBinary(const std::string& name)
{
    return WindowsBinary(kX86Build, name);
}

inline std::filesystem::path HostLibrary(const std::string& name)
{
    return std::filesystem::path(ZEPHR_BUILD_DIR) / "lib" / name;
}

inline std::filesystem::path SourceFile(const std::string& relative)
{
    return std::filesystem::path(ZEPHR_SOURCE_DIR) / relative;
}

inline std::string MissingWindowsBinary(const std::filesystem::path& path,
                                        const WindowsBuild& build = kX86Build)
{
    const std::string preset = std::filesystem::path(build.folder).filename().string();
    return path.string() + " does not exist: run the Windows build first (scripts/build), or\n" +
           "  cd " + ZEPHR_SOURCE_DIR + " && cmake --preset " + preset + " && cmake --build " +
           preset;
}

} // namespace artifacts

#endif // ZEPHR_TESTS_ARTIFACTS_ARTIFACT_PATHS_H
