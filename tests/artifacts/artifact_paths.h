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

inline std::filesystem::path WindowsBinary(const std::string& name)
{
    return std::filesystem::path(ZEPHR_WINDOWS_BUILD_DIR) / "bin" / name;
}

inline std::filesystem::path HostLibrary(const std::string& name)
{
    return std::filesystem::path(ZEPHR_BUILD_DIR) / "lib" / name;
}

inline std::filesystem::path SourceFile(const std::string& relative)
{
    return std::filesystem::path(ZEPHR_SOURCE_DIR) / relative;
}

inline std::string MissingWindowsBinary(const std::filesystem::path& path)
{
    return path.string() + " does not exist: run the Windows build first:\n"
                           "  cmake -S " ZEPHR_SOURCE_DIR " -B " ZEPHR_WINDOWS_BUILD_DIR
                           " -G Ninja -DCMAKE_TOOLCHAIN_FILE=" ZEPHR_SOURCE_DIR
                           "/cmake/mingw-i686.cmake"
                           " -DCMAKE_BUILD_TYPE=Release\n"
                           "  ninja -C " ZEPHR_WINDOWS_BUILD_DIR;
}

} // namespace artifacts

#endif // ZEPHR_TESTS_ARTIFACTS_ARTIFACT_PATHS_H
