// SPDX-License-Identifier: MIT
// wine_prefix.cpp
//
// Booting, filling and running a private Wine prefix. Wine reads
// WINEPREFIX, WINEARCH and WINEDEBUG per process; every command gets the
// same environment, so all of them talk to the one wineserver of this
// prefix. services.exe reads the service keys when it starts, so after the
// registry is changed the server is left to exit before the session runs.
#include "wine/wine_prefix.h"

#include "wine/bounded_process.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

extern char** environ;

namespace wine_test {

namespace {

constexpr int bootSeconds = 240;
constexpr int commandSeconds = 60;
constexpr int sessionSeconds = 180;
constexpr int serverExitSeconds = 60;

// Quiet Wine, but keep the two channels that carry what the driver does:
// DbgPrint goes to warn+debugstr, each device request to trace+ntoskrnl.
const char* const sessionChannels = "-all,warn+debugstr,trace+ntoskrnl";
const char* const quietChannels = "-all";

// In PATH, else in /usr/lib/wine, where Debian keeps wineserver and wine64.
std::filesystem::path wineProgram(const char* name)
{
    std::filesystem::path found = findInPath(name);
    std::filesystem::path packaged = std::filesystem::path("/usr/lib/wine") / name;
    if (found.empty() && access(packaged.c_str(), X_OK) == 0)
        found = packaged;
    if (found.empty())
        throw std::runtime_error(std::string("Wine is not installed: no '") + name +
                                 "' in PATH or /usr/lib/wine. scripts/install-deps installs the "
                                 "packages of scripts/wine-packages (wine, wine64, wine32:i386).");
    return found;
}

std::filesystem::path makeTemporaryFolder()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "zephr-wine-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr)
        throw std::runtime_error("cannot make a temporary folder from " + pattern);
    return pattern;
}

std::string lastLines(const std::string& text, size_t count)
{
    size_t start = text.size();
    for (size_t lines = 0; start > 0 && lines <= count; --start)
        if (text[start - 1] == '\n')
            ++lines;
    return text.substr(start);
}

void writeFile(const std::filesystem::path& path, const std::string& text)
{
    std::ofstream file(path, std::ios::binary);
    file << text;
    if (!file)
        throw std::runtime_error("cannot write " + path.string());
}

void copyInto(const std::filesystem::path& file, const std::filesystem::path& folder)
{
    if (!std::filesystem::is_regular_file(file))
        throw std::runtime_error(file.string() +
                                 " does not exist: build the Windows build first (scripts/build; "
                                 "a build-windows configured before tests/windows existed needs "
                                 "`cmake build-windows` once)");
    std::filesystem::create_directories(folder);
    std::filesystem::copy_file(file, folder / file.filename(),
                               std::filesystem::copy_options::overwrite_existing);
}

} // namespace

WinePrefix::WinePrefix(const WineArchitecture& architecture)
    : architecture_(architecture), wine_(wineProgram(architecture.loader)),
      wineserver_(wineProgram("wineserver"))
{
    folder_ = makeTemporaryFolder();
    prefix_ = folder_ / "prefix";
    std::filesystem::create_directories(folder_ / "logs");
    try {
        runWine({wine_.string(), "wineboot.exe", "-i"}, bootSeconds);
        waitForServerExit();
        if (!std::filesystem::is_directory(drivePath("windows/system32/drivers")))
            throw std::runtime_error("wineboot made no C:\\windows\\system32\\drivers in " +
                                     prefix_.string());
    } catch (...) {
        killServer();
        std::filesystem::remove_all(folder_);
        throw;
    }
}

WinePrefix::~WinePrefix()
{
    killServer();
    std::error_code ignored;
    std::filesystem::remove_all(folder_, ignored);
}

std::filesystem::path WinePrefix::drivePath(const std::string& relative) const
{
    return prefix_ / "drive_c" / relative;
}

std::vector<std::string> WinePrefix::environment(const std::string& debugChannels) const
{
    std::vector<std::string> variables;
    for (char** entry = environ; *entry != nullptr; ++entry) {
        std::string variable = *entry;
        // Nothing of the caller's own Wine, and no display: the suite is console only.
        if (variable.rfind("WINE", 0) == 0 || variable.rfind("DISPLAY=", 0) == 0 ||
            variable.rfind("WAYLAND_DISPLAY=", 0) == 0)
            continue;
        variables.push_back(variable);
    }
    variables.push_back("WINEPREFIX=" + prefix_.string());
    variables.push_back(std::string("WINEARCH=") + architecture_.winearch);
    variables.push_back("WINEDEBUG=" + debugChannels);
    // No Mono or Gecko installer at boot, and no debugger when a process crashes.
    variables.push_back("WINEDLLOVERRIDES=mscoree,mshtml=;winedbg.exe=d");
    return variables;
}

void WinePrefix::runWine(const std::vector<std::string>& arguments, int limitSeconds)
{
    std::string name = "command-" + std::to_string(++commandCount_);
    std::filesystem::path out = folder_ / "logs" / (name + ".out");
    std::filesystem::path err = folder_ / "logs" / (name + ".err");
    std::string commandLine;
    for (const std::string& argument : arguments)
        commandLine += (commandLine.empty() ? "" : " ") + argument;

    BoundedRun run = runBounded(arguments, environment(quietChannels),
                                std::chrono::seconds(limitSeconds), out, err);
    if (run.timedOut) {
        killServer();
        throw std::runtime_error("'" + commandLine + "' did not end within " +
                                 std::to_string(limitSeconds) + " s; Wine said:\n" +
                                 lastLines(readFile(err), 20));
    }
    if (run.exitStatus != 0)
        throw std::runtime_error("'" + commandLine + "' failed with exit status " +
                                 std::to_string(run.exitStatus) + "; Wine said:\n" +
                                 lastLines(readFile(out) + readFile(err), 20));
}

void WinePrefix::waitForServerExit()
{
    std::filesystem::path log = folder_ / "logs" / "wineserver-wait";
    BoundedRun run = runBounded({wineserver_.string(), "-w"}, environment(quietChannels),
                                std::chrono::seconds(serverExitSeconds), log, log);
    if (run.timedOut) {
        killServer();
        throw std::runtime_error("the wineserver of " + prefix_.string() + " did not exit within " +
                                 std::to_string(serverExitSeconds) + " s");
    }
}

void WinePrefix::killServer() noexcept
{
    try {
        std::filesystem::path log = folder_ / "logs" / "wineserver-kill";
        runBounded({wineserver_.string(), "-k"}, environment(quietChannels),
                   std::chrono::seconds(serverExitSeconds), log, log);
    } catch (...) {
        // Nothing is left to do about a server that cannot be killed.
    }
}

void WinePrefix::installKernelService(const std::string& service,
                                      const std::filesystem::path& image)
{
    copyInto(image, drivePath("windows/system32/drivers"));
    std::string key = "HKLM\\System\\CurrentControlSet\\Services\\" + service;
    std::string imagePath = "\\SystemRoot\\System32\\drivers\\" + image.filename().string();
    const std::vector<std::vector<std::string>> values = {
        {"Type", "REG_DWORD", "1"},         // kernel driver
        {"Start", "REG_DWORD", "3"},        // demand start
        {"ErrorControl", "REG_DWORD", "1"}, // normal
        {"ImagePath", "REG_EXPAND_SZ", imagePath}};
    for (const std::vector<std::string>& value : values)
        runWine({wine_.string(), "reg.exe", "add", key, "/v", value[0], "/t", value[1], "/d",
                 value[2], "/f"},
                commandSeconds);
    waitForServerExit();
}

void WinePrefix::addProgram(const std::filesystem::path& file)
{
    copyInto(file, drivePath("zephr-test"));
}

std::filesystem::path WinePrefix::programFile(const std::string& name) const
{
    return drivePath("zephr-test") / name;
}

SessionResult WinePrefix::runSession(const std::vector<SessionStep>& steps)
{
    std::filesystem::create_directories(drivePath("zephr-test"));
    std::filesystem::remove_all(drivePath("zephr-test/out"));
    writeFile(drivePath("zephr-test/session.bat"), sessionBatch(steps, programFolder));

    std::filesystem::path out = folder_ / "logs" / "session.out";
    std::filesystem::path err = folder_ / "logs" / "session.err";
    std::string batch = std::string(programFolder) + "\\session.bat";
    BoundedRun run =
        runBounded({wine_.string(), "cmd.exe", "/c", batch}, environment(sessionChannels),
                   std::chrono::seconds(sessionSeconds), out, err);
    SessionResult result;
    result.timedOut = run.timedOut;
    result.exitStatus = run.exitStatus;
    if (run.timedOut)
        killServer();
    else
        waitForServerExit(); // the driver's process writes its last messages as it ends

    std::string debugOutput = readFile(err);
    result.driverEvents = driverEvents(debugOutput);
    result.wineMessages = wineMessages(debugOutput);
    for (const SessionStep& step : steps) {
        std::filesystem::path code = drivePath("zephr-test/out/" + step.name + ".rc");
        if (!std::filesystem::exists(code))
            continue;
        StepResult stepResult;
        stepResult.exitCode = std::atoi(readFile(code).c_str());
        stepResult.output = unixLines(readFile(drivePath("zephr-test/out/" + step.name + ".txt")));
        result.steps[step.name] = stepResult;
    }
    return result;
}

} // namespace wine_test
