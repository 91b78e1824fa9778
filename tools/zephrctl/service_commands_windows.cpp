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
#include "tools/zephrctl/standalone_commands.h"

#include <windows.h>

#include <cctype>
#include <optional>
#include <string>
#include <vector>

namespace zephrctl {

namespace {

const char* const kServiceName = "zephr";
const char* const kDisplayName = "zephr notebook cooling driver";
const char* const kImageName = "zephr.sys";
// Start and stop of a kernel driver are quick; this bounds a hung one.
constexpr DWORD kPendingLimitMs = 15000;

std::string systemMessage(DWORD error)
{
    char text[512] = "";
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, error, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.'))
        message.pop_back();
    return "Win32 error " + std::to_string(error) + (message.empty() ? "" : ": " + message);
}

[[noreturn]] void fail(const std::string& what, DWORD error)
{
    if (error == ERROR_ACCESS_DENIED)
        throw CommandError(what + ": access denied; run zephrctl from an administrator prompt",
                           kExitRefused);
    throw CommandError(what + ": " + systemMessage(error), kExitRefused);
}

// A service-manager handle, closed at the end.
class ScHandle {
  public:
    explicit ScHandle(SC_HANDLE handle) : handle_(handle) {}
    ~ScHandle()
    {
        if (handle_ != nullptr)
            CloseServiceHandle(handle_);
    }
    ScHandle(const ScHandle&) = delete;
    ScHandle& operator=(const ScHandle&) = delete;
    SC_HANDLE get() const
    {
        return handle_;
    }
    explicit operator bool() const
    {
        return handle_ != nullptr;
    }

  private:
    SC_HANDLE handle_;
};

ScHandle openManager(const char* command, DWORD access)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, access);
    if (manager == nullptr)
        fail(std::string(command) + ": cannot open the Service Control Manager", GetLastError());
    return ScHandle(manager);
}

// The zephr service, or a failure saying it is not installed.
ScHandle openService(const char* command, const ScHandle& manager, DWORD access)
{
    SC_HANDLE service = OpenServiceA(manager.get(), kServiceName, access);
    if (service == nullptr) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST)
            throw CommandError(std::string(command) +
                                   ": the zephr service is not installed (zephrctl install)",
                               kExitRefused);
        fail(std::string(command) + ": cannot open the zephr service", error);
    }
    return ScHandle(service);
}

SERVICE_STATUS queryStatus(const char* command, const ScHandle& service)
{
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(service.get(), &status))
        fail(std::string(command) + ": cannot ask the zephr service's state", GetLastError());
    return status;
}

// Waits while the service is in the pending state; returns the state it reached.
DWORD settle(const char* command, const ScHandle& service, DWORD pending)
{
    DWORD waited = 0;
    SERVICE_STATUS status = queryStatus(command, service);
    while (status.dwCurrentState == pending && waited < kPendingLimitMs) {
        Sleep(100);
        waited += 100;
        status = queryStatus(command, service);
    }
    return status.dwCurrentState;
}

const char* stateName(DWORD state)
{
    switch (state) {
    case SERVICE_STOPPED:
        return "stopped";
    case SERVICE_START_PENDING:
        return "starting";
    case SERVICE_STOP_PENDING:
        return "stopping";
    case SERVICE_RUNNING:
        return "running";
    default:
        return "in an unusual state";
    }
}

// True when the service's image is the file install copies, so uninstall
// deletes no file of a service that someone made by hand elsewhere.
bool usesInstalledImage(const ScHandle& service)
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
        fail("install: cannot find the system folder", GetLastError());
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

    ScHandle manager = openManager("install", SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT);
    // Before anything is copied: an installed driver's file stays as it is.
    if (ScHandle existing{OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_STATUS)})
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
        fail("install: cannot copy " + source + " to " + target, error);
    }
    out << "copied " << source << " to " << target << "\n";

    SC_HANDLE created = CreateServiceA(
        manager.get(), kServiceName, kDisplayName, SERVICE_ALL_ACCESS, SERVICE_KERNEL_DRIVER,
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
        fail("install: cannot create the zephr service", error);
    }
    ScHandle service(created);
    out << "installed the zephr service (kernel driver, demand start); zephrctl start starts it\n";
    return kExitOk;
}

int runUninstallCommand(const tools::SessionOptions&, const std::vector<std::string>& args,
                        std::ostream& out)
{
    noArguments("uninstall", args);
    ScHandle manager = openManager("uninstall", SC_MANAGER_CONNECT);
    ScHandle service = openService(
        "uninstall", manager, SERVICE_STOP | SERVICE_QUERY_STATUS | SERVICE_QUERY_CONFIG | DELETE);
    bool ownImage = usesInstalledImage(service);
    if (queryStatus("uninstall", service).dwCurrentState != SERVICE_STOPPED) {
        SERVICE_STATUS status = {};
        if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status) &&
            GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
            fail("uninstall: cannot stop the zephr service", GetLastError());
        if (settle("uninstall", service, SERVICE_STOP_PENDING) != SERVICE_STOPPED)
            throw CommandError("uninstall: the zephr service did not stop; close the programs "
                               "that use the driver and try again",
                               kExitRefused);
        out << "stopped the zephr service\n";
    }
    if (!DeleteService(service.get())) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_MARKED_FOR_DELETE)
            throw CommandError("uninstall: the zephr service is already being removed",
                               kExitRefused);
        fail("uninstall: cannot remove the zephr service", error);
    }
    out << "removed the zephr service\n";
    std::string target = driversFolder() + "\\" + kImageName;
    if (!ownImage) {
        out << "left the service's own driver file in place\n";
    } else if (DeleteFileA(target.c_str())) {
        out << "deleted " << target << "\n";
    } else if (GetLastError() != ERROR_FILE_NOT_FOUND) {
        out << "could not delete " << target << " (" << systemMessage(GetLastError())
            << "); it goes with the next restart\n";
        MoveFileExA(target.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    }
    return kExitOk;
}

int runStartCommand(const tools::SessionOptions&, const std::vector<std::string>& args,
                    std::ostream& out)
{
    noArguments("start", args);
    ScHandle manager = openManager("start", SC_MANAGER_CONNECT);
    ScHandle service = openService("start", manager, SERVICE_START | SERVICE_QUERY_STATUS);
    if (!StartServiceA(service.get(), 0, nullptr)) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_ALREADY_RUNNING) {
            out << "the zephr service is already running\n";
            return kExitOk;
        }
        if (error == ERROR_SERVICE_DISABLED)
            throw CommandError("start: the zephr service is disabled", kExitRefused);
        fail("start: the zephr driver did not start", error);
    }
    DWORD state = settle("start", service, SERVICE_START_PENDING);
    if (state != SERVICE_RUNNING)
        throw CommandError(std::string("start: the zephr service is ") + stateName(state) +
                               " after the start",
                           kExitRefused);
    out << "the zephr service is running\n";
    return kExitOk;
}

int runStopCommand(const tools::SessionOptions&, const std::vector<std::string>& args,
                   std::ostream& out)
{
    noArguments("stop", args);
    ScHandle manager = openManager("stop", SC_MANAGER_CONNECT);
    ScHandle service = openService("stop", manager, SERVICE_STOP | SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    if (!ControlService(service.get(), SERVICE_CONTROL_STOP, &status)) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_NOT_ACTIVE) {
            out << "the zephr service is not running\n";
            return kExitOk;
        }
        fail("stop: the zephr service did not stop", error);
    }
    DWORD state = settle("stop", service, SERVICE_STOP_PENDING);
    if (state != SERVICE_STOPPED)
        throw CommandError(std::string("stop: the zephr service is ") + stateName(state) +
                               " after the stop",
                           kExitRefused);
    out << "the zephr service is stopped\n";
    return kExitOk;
}

// Exit 0 running, 1 installed but not running, 3 not installed.
int runStatusCommand(const tools::SessionOptions&, const std::vector<std::string>& args,
                     std::ostream& out)
{
    noArguments("status", args);
    ScHandle manager = openManager("status", SC_MANAGER_CONNECT);
    SC_HANDLE opened = OpenServiceA(manager.get(), kServiceName, SERVICE_QUERY_STATUS);
    if (opened == nullptr) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
            out << "the zephr service is not installed\n";
            return kExitRefused;
        }
        fail("status: cannot open the zephr service", error);
    }
    ScHandle service(opened);
    DWORD state = queryStatus("status", service).dwCurrentState;
    out << "the zephr service is installed and " << stateName(state) << "\n";
    return state == SERVICE_RUNNING ? kExitOk : kExitNoValue;
}

} // namespace zephrctl
