// SPDX-License-Identifier: MIT
// wine_prefix.h
//
// A fresh Wine prefix of one test, 32-bit (win32) or 64-bit (win64), in a temporary folder of its
// own: booted at construction, able to take a kernel driver as a service and Windows programs to
// run, and to run one session of steps. The destructor kills the prefix's wineserver and removes
// the folder. Every Wine command runs with a time limit; a failure throws std::runtime_error naming
// the command and showing what Wine said.
#pragma once

#include "wine/wine_session.h"

#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

namespace wine_test {

// One of the two Windows builds as Wine runs it: the prefix architecture
// (WINEARCH), the Wine loader that starts it, and the build folder whose
// binaries the tests install. 32-bit Wine needs a machine that runs 32-bit
// code; wine64 does not.
struct WineArchitecture {
    const char* name; // "x86" or "x64"
    const char* winearch;
    const char* loader; // looked up in PATH, then in /usr/lib/wine
    const char* buildFolder;
    bool needs32BitCode;

    std::filesystem::path binary(const std::string& name) const
    {
        return std::filesystem::path(buildFolder) / "bin" / name;
    }
};

// The name alone, in test names and messages.
inline void PrintTo(const WineArchitecture& architecture, std::ostream* out)
{
    *out << architecture.name;
}

inline const WineArchitecture win32 = {"x86", "win32", "wine", ZEPHR_WINDOWS_BUILD_DIR, true};
inline const WineArchitecture win64 = {"x64", "win64", "wine64", ZEPHR_WINDOWS_X64_BUILD_DIR,
                                       false};

class WinePrefix {
  public:
    // The folder in C: that holds the programs and the session's output.
    static constexpr const char* programFolder = "C:\\zephr-test";

    explicit WinePrefix(const WineArchitecture& architecture = win32);
    ~WinePrefix();
    WinePrefix(const WinePrefix&) = delete;
    WinePrefix& operator=(const WinePrefix&) = delete;

    // Copies image to C:\windows\system32\drivers and registers it as a
    // kernel service, demand start, under
    // HKLM\System\CurrentControlSet\Services\<service>.
    void installKernelService(const std::string& service, const std::filesystem::path& image);

    // Copies a Windows program (or a library beside it) into programFolder.
    void addProgram(const std::filesystem::path& file);

    // Runs the steps in one `wine cmd /c`, waits for the whole session
    // (services included) to end, and collects the results.
    SessionResult runSession(const std::vector<SessionStep>& steps);

    // The host's path of a file in programFolder: a file a program of the
    // session wrote there, or one the test writes while a session runs for
    // a step that waits on it.
    std::filesystem::path programFile(const std::string& name) const;

  private:
    std::vector<std::string> environment(const std::string& debugChannels) const;
    void runWine(const std::vector<std::string>& arguments, int limitSeconds);
    void waitForServerExit();
    void killServer() noexcept;
    std::filesystem::path drivePath(const std::string& relative) const;

    WineArchitecture architecture_;
    std::filesystem::path folder_; // the temporary folder: prefix/ and logs/
    std::filesystem::path prefix_;
    std::filesystem::path wine_;
    std::filesystem::path wineserver_;
    int commandCount_ = 0;
};

} // namespace wine_test
