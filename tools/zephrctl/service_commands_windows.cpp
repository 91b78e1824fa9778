// SPDX-License-Identifier: MIT
// service_commands_windows.cpp
//
// install, uninstall, start, stop and status through the Service Control
// Manager: the zephr service is a kernel driver, demand start, whose image
// is %SystemRoot%\System32\drivers\zephr.sys. Each usual failure gets its
// own message: not administrator, already installed, file in use, not
// installed.
#include "tools/zephrctl/commands.h"
#include "tools/zephrctl/driver_architecture.h"
#include "tools/zephrctl/service_manager_windows.h"
#include "tools/zephrctl/standalone_commands.h"

#include <windows.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

namespace zephrctl {

namespace {

const scm::Service kService = {"zephr", "zephrctl"};
const char* const kDisplayName = "zephr notebook cooling driver";
const char* const kImageName = "zephr.sys";

// True when the service's image is the file install copies, so uninstall
// deletes no file of a service that someone made by hand elsewhere.
bool usesInstalledImage(const scm::Handle& service)
{
    DWORD needed = 0;
    QueryServiceConfigA(service.get(), nullptr, 0, &needed);
    if (needed == 0)
        return false;
    std::vector<char> buffer(needed);
    auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!QueryServiceConfigA(service.get(), config, needed, &needed) ||
        config->lpBinaryPathName == nullptr)
        return false;
    std::string path = config->lpBinaryPathName;
    for (char& c : path)
        c = char(std::tolower(static_cast<unsigned char>(c)));
    const std::string tail = "\\system32\\drivers\\zephr.sys";
    return path.size() >= tail.size() &&
           path.compare(path.size() - tail.size(), tail.size(), tail) == 0;
}

std::string driversFolder()
{
    char system[MAX_PATH] = "";
    UINT length = GetSystemDirectoryA(system, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        scm::fail(kService, "install: cannot find the system folder", GetLastError());
    return std::string(system) + "\\drivers";
}

// zephr.sys beside zephrctl.exe: where the release package has it.
std::string imageBesideProgram()
{
    char program[MAX_PATH] = "";
    DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    std::string path(program, length);
    size_t slash = path.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : path.substr(0, slash + 1)) + kImageName;
}

void noArguments(const char* command, const std::vector<std::string>& args)
{
    if (!args.empty())
        throw CommandError(std::string(command) + ": takes no arguments ('" + args[0] + "')",
                           kExitUsage);
}

// Whether this Windows is 64-bit: a 64-bit program runs only there, a
// 32-bit one there under WOW64. IsWow64Process is looked up, not imported:
// Windows 2000 and XP before SP2 have none (and are 32-bit).
bool windowsIs64Bit()
{
#if defined(_WIN64)
    return true;
#else
    using IsWow64ProcessRoutine = BOOL(WINAPI*)(HANDLE, PBOOL);
    HMODULE kernel = GetModuleHandleA("kernel32.dll");
    auto isWow64Process = reinterpret_cast<IsWow64ProcessRoutine>(
        kernel ? reinterpret_cast<void*>(GetProcAddress(kernel, "IsWow64Process")) : nullptr);
    BOOL wow64 = FALSE;
    return isWow64Process && isWow64Process(GetCurrentProcess(), &wow64) && wow64;
#endif
}

} // namespace

int runInstallCommand(const tools::SessionOptions&, const std::vector<std::string>& args,
                      std::ostream& out)
{
    if (std::optional<std::string> refusal =
            installArchitectureRefusal(sizeof(void*) == 8, windowsIs64Bit()))
        throw CommandError(*refusal, kExitRefused);
    std::string source = imageBesideProgram();
    if (args.size() == 2 && args[0] == "--path")
        source = args[1];
    else if (!args.empty())
        throw CommandError("install: usage: zephrctl install [--path FILE]", kExitUsage);
    DWORD attributes = GetFileAttributesA(source.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY))
        throw CommandError("install: " + source +
                               " is no file (give the driver's file with --path FILE)",
                           kExitRefused);

    scm::Handle manager =
        scm::openManager(kService, "install", SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT);
    // Before anything is copied: an installed driver's file stays as it is.
    if (scm::Handle existing{OpenServiceA(manager.get(), kService.name, SERVICE_QUERY_STATUS)})
        throw CommandError("install: the zephr service is already installed (zephrctl uninstall "
                           "removes it)",
                           kExitRefused);

    std::string target = driversFolder() + "\\" + kImageName;
    if (!CopyFileA(source.c_str(), target.c_str(), FALSE)) {
        DWORD error = GetLastError();
        if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION ||
            error == ERROR_USER_MAPPED_FILE)
            throw CommandError("install: " + target +
                                   " is in use (a zephr driver from elsewhere is running; stop "
                                   "it first)",
                               kExitRefused);
        scm::fail(kService, "install: cannot copy " + source + " to " + target, error);
    }
    out << "copied " << source << " to " << target << "\n";

    SC_HANDLE created = CreateServiceA(
        manager.get(), kService.name, kDisplayName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
        SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, "\\SystemRoot\\System32\\drivers\\zephr.sys",
        nullptr, nullptr, nullptr, nullptr, nullptr);
    if (created == nullptr) {
        DWORD error = GetLastError();
        DeleteFileA(target.c_str()); // no file left behind for a service that is not there
        if (error == ERROR_SERVICE_EXISTS || error == ERROR_DUPLICATE_SERVICE_NAME)
            throw CommandError("install: the zephr service is already installed", kExitRefused);
        if (error == ERROR_SERVICE_MARKED_FOR_DELETE)
            throw CommandError("install: the zephr service is still being removed; restart "
                               "Windows, then install again",
                               kExitRefused);
        scm::fail(kService, "install: cannot create the zephr service", error);
    }
    scm::Handle service(created);
    out << "installed the zephr service (kernel driver, demand start); zephrctl start starts it\n";
    return kExitOk;
}

int runUninstallCommand(const tools::SessionOptions&, const std::vector<std::string>& args,
                        std::ostream& out)
{
    noArguments("uninstall", args);
    scm::Handle manager = scm::openManager(kService, "uninstall", SC_MANAGER_CONNECT);
    scm::Handle service =
        scm::openService(kService, "uninstall", manager,
                         SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG | DELETE);
    bool ownImage = usesInstalledImage(service);
    scm::stopToRemove(kService, service, "close the programs that use the driver and try again",
                      out);
    scm::remove(kService, service, out);
    std::string target = driversFolder() + "\\" + kImageName;
    if (!ownImage) {
        out << "left the service's own driver file in place\n";
    } else if (DeleteFileA(target.c_str())) {
        out << "deleted " << target << "\n";
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        out << "could not delete " << target << " (" << scm::systemMessage(GetLastError())
            << "); it goes with the next restart\n";
        MoveFileExA(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return kExitOk;
}

int runStartCommand(const tools::SessionOptions&, const std::vector<std::string>& args,
                    std::ostream& out)
{
    noArguments("start", args);
    return scm::start(kService, out);
}

int runStopCommand(const tools::SessionOptions&, const std::vector<std::string>& args,
                   std::ostream& out)
{
    noArguments("stop", args);
    return scm::stop(kService, out);
}

// Exit 0 running, 1 installed but not running, 3 not installed.
int runStatusCommand(const tools::SessionOptions&, const std::vector<std::string>& args,
                     std::ostream& out)
{
    noArguments("status", args);
    return scm::status(kService, out);
}

} // namespace zephrctl
