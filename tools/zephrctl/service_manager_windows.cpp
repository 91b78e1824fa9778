// SPDX-License-Identifier: MIT
// service_manager_windows.cpp
//
// The Service Control Manager steps zephrctl and zephr-agent share, each
// usual failure with a message of its own.
#include "tools/zephrctl/service_manager_windows.h"

#include "tools/zephrctl/commands.h"

namespace zephrctl::scm {

namespace {

// A start or stop is quick; this bounds a hung one.
constexpr DWORD kPendingLimitMs = 15000;

std::string the(const Service& service)
{
    return std::string("the ") + service.name + " service";
}

} // namespace

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

void fail(const Service& service, const std::string& what, DWORD error)
{
    if (error == ERROR_ACCESS_DENIED)
        throw CommandError(what + ": access denied; run " + service.program +
                               " from an administrator prompt",
                           kExitRefused);
    throw CommandError(what + ": " + systemMessage(error), kExitRefused);
}

Handle openManager(const Service& service, const char* command, DWORD access)
{
    SC_HANDLE manager = OpenSCManagerA(nullptr, nullptr, access);
    if (manager == nullptr)
        fail(service, std::string(command) + ": cannot open the Service Control Manager",
             GetLastError());
    return Handle(manager);
}

Handle openService(const Service& service, const char* command, const Handle& manager, DWORD access)
{
    SC_HANDLE opened = OpenServiceA(manager.get(), service.name, access);
    if (opened == nullptr) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST)
            throw CommandError(std::string(command) + ": " + the(service) + " is not installed (" +
                                   service.program + " install)",
                               kExitRefused);
        fail(service, std::string(command) + ": cannot open " + the(service), error);
    }
    return Handle(opened);
}

SERVICE_STATUS queryStatus(const Service& service, const char* command, const Handle& handle)
{
    SERVICE_STATUS status = {};
    if (!QueryServiceStatus(handle.get(), &status))
        fail(service, std::string(command) + ": cannot ask " + the(service) + "'s state",
             GetLastError());
    return status;
}

DWORD settle(const Service& service, const char* command, const Handle& handle, DWORD pending)
{
    DWORD waited = 0;
    SERVICE_STATUS status = queryStatus(service, command, handle);
    while (status.dwCurrentState == pending && waited < kPendingLimitMs) {
        Sleep(100);
        waited += 100;
        status = queryStatus(service, command, handle);
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

int start(const Service& service, std::ostream& out)
{
    Handle manager = openManager(service, "start", SC_MANAGER_CONNECT);
    Handle handle = openService(service, "start", manager, SERVICE_START | SERVICE_QUERY_STATUS);
    if (!StartServiceA(handle.get(), 0, nullptr)) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_ALREADY_RUNNING) {
            out << the(service) << " is already running\n";
            return kExitOk;
        }
        if (error == ERROR_SERVICE_DISABLED)
            throw CommandError("start: " + the(service) + " is disabled", kExitRefused);
        fail(service, "start: " + the(service) + " did not start", error);
    }
    DWORD state = settle(service, "start", handle, SERVICE_START_PENDING);
    if (state != SERVICE_RUNNING)
        throw CommandError("start: " + the(service) + " is " + stateName(state) +
                               " after the start",
                           kExitRefused);
    out << the(service) << " is running\n";
    return kExitOk;
}

int stop(const Service& service, std::ostream& out)
{
    Handle manager = openManager(service, "stop", SC_MANAGER_CONNECT);
    Handle handle = openService(service, "stop", manager, SERVICE_STOP | SERVICE_QUERY_STATUS);
    SERVICE_STATUS status = {};
    if (!ControlService(handle.get(), SERVICE_CONTROL_STOP, &status)) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_NOT_ACTIVE) {
            out << the(service) << " is not running\n";
            return kExitOk;
        }
        fail(service, "stop: " + the(service) + " did not stop", error);
    }
    DWORD state = settle(service, "stop", handle, SERVICE_STOP_PENDING);
    if (state != SERVICE_STOPPED)
        throw CommandError("stop: " + the(service) + " is " + stateName(state) + " after the stop",
                           kExitRefused);
    out << the(service) << " is stopped\n";
    return kExitOk;
}

int status(const Service& service, std::ostream& out)
{
    Handle manager = openManager(service, "status", SC_MANAGER_CONNECT);
    SC_HANDLE opened = OpenServiceA(manager.get(), service.name, SERVICE_QUERY_STATUS);
    if (opened == nullptr) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_DOES_NOT_EXIST) {
            out << the(service) << " is not installed\n";
            return kExitRefused;
        }
        fail(service, "status: cannot open " + the(service), error);
    }
    Handle handle(opened);
    DWORD state = queryStatus(service, "status", handle).dwCurrentState;
    out << the(service) << " is installed and " << stateName(state) << "\n";
    return state == SERVICE_RUNNING ? kExitOk : kExitNoValue;
}

void stopToRemove(const Service& service, const Handle& handle, const std::string& stuck,
                  std::ostream& out)
{
    if (queryStatus(service, "uninstall", handle).dwCurrentState == SERVICE_STOPPED)
        return;
    SERVICE_STATUS status = {};
    if (!ControlService(handle.get(), SERVICE_CONTROL_STOP, &status) &&
        GetLastError() != ERROR_SERVICE_NOT_ACTIVE)
        fail(service, "uninstall: cannot stop " + the(service), GetLastError());
    if (settle(service, "uninstall", handle, SERVICE_STOP_PENDING) != SERVICE_STOPPED)
        throw CommandError("uninstall: " + the(service) + " did not stop; " + stuck, kExitRefused);
    out << "stopped " << the(service) << "\n";
}

void remove(const Service& service, const Handle& handle, std::ostream& out)
{
    if (!DeleteService(handle.get())) {
        DWORD error = GetLastError();
        if (error == ERROR_SERVICE_MARKED_FOR_DELETE)
            throw CommandError("uninstall: " + the(service) + " is already being removed",
                               kExitRefused);
        fail(service, "uninstall: cannot remove " + the(service), error);
    }
    out << "removed " << the(service) << "\n";
}

} // namespace zephrctl::scm
