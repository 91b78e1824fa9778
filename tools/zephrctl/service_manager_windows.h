// SPDX-License-Identifier: MIT
// service_manager_windows.h
//
// What zephrctl's driver service commands and zephr-agent's own service
// commands share of the Service Control Manager: its handles, the failures
// as messages that name the service and the program that installs it
// (CommandError, exit status 3), the wait for a pending state to settle,
// and start, stop, status and the stop before a removal.
#pragma once

#include <windows.h>

#include <ostream>
#include <string>

namespace zephrctl::scm {

// A service the commands act on: its name ("zephr") and the program whose
// install command makes it ("zephrctl").
struct Service {
    const char* name;
    const char* program;
};

// A service-manager handle, closed at the end.
class Handle {
  public:
    explicit Handle(SC_HANDLE handle) : handle_(handle) {}
    ~Handle()
    {
        if (handle_ != nullptr)
            CloseServiceHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
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

// "Win32 error 5: Access is denied".
std::string systemMessage(DWORD error);
// Throws CommandError: what, then why (access denied: run the program from
// an administrator prompt).
[[noreturn]] void fail(const Service& service, const std::string& what, DWORD error);

Handle openManager(const Service& service, const char* command, DWORD access);
// The service, or a failure saying it is not installed.
Handle openService(const Service& service, const char* command, const Handle& manager,
                   DWORD access);
SERVICE_STATUS queryStatus(const Service& service, const char* command, const Handle& handle);
// Waits (a bounded time) while the service is in the pending state; returns
// the state it reached.
DWORD settle(const Service& service, const char* command, const Handle& handle, DWORD pending);
const char* stateName(DWORD state);

// The commands; each writes what it did to out and returns the exit status
// (status: 0 running, 1 installed but not running, 3 not installed).
int start(const Service& service, std::ostream& out);
int stop(const Service& service, std::ostream& out);
int status(const Service& service, std::ostream& out);
// uninstall's first step: stops the service if it runs; stuck says what to
// do when it does not stop.
void stopToRemove(const Service& service, const Handle& handle, const std::string& stuck,
                  std::ostream& out);
// uninstall's last step: marks the service for removal.
void remove(const Service& service, const Handle& handle, std::ostream& out);

} // namespace zephrctl::scm
