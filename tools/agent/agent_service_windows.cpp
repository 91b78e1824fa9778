// SPDX-License-Identifier: MIT
// agent_service_windows.cpp
//
// zephr-agent as a Windows service: the zephr-agent service (own process,
// automatic start, after the zephr driver's service) runs
// "zephr-agent.exe service OPTIONS"; its entry reports to the Service
// Control Manager and runs the agent until a stop or Windows' shutdown. And
// Ctrl-C for the agent run from a console.
#include "tools/agent/agent_service.h"

#include "tools/zephrctl/commands.h"
#include "tools/zephrctl/service_manager_windows.h"

#include <windows.h>

#include <iostream>
#include <stdexcept>

namespace agent {

namespace {

namespace scm = zephrctl::scm;

const scm::Service kService = {"zephr-agent", "zephr-agent"};
const char* const kDisplayName = "zephr notebook agent";
const char* const kDescription =
    "Polls the notebook's temperatures and fans through the zephr driver, serves them over "
    "HTTP (/metrics, /data.json) and, when installed with --fan-control, sets the fans.";
// The driver's service (zephrctl install): started first, and the agent
// stops with it. A double NUL ends the list.
const char kDependencies[] = "zephr\0";
const char* const kLogName = "zephr-agent.log";
// A start opens the device and binds the address; a stop waits for one
// poll at most, then the fans' settings.
constexpr DWORD kStartHintMs = 10000;
constexpr DWORD kStopHintMs = 10000;

std::string programPath()
{
    char program[MAX_PATH] = "";
    const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length >= MAX_PATH)
        throw std::runtime_error("cannot find this program's own path (error " +
                                 std::to_string(GetLastError()) + ")");
    return std::string(program, length);
}

// An argument as the C runtime reads it back from a command line.
std::string quoted(const std::string& argument)
{
    if (!argument.empty() && argument.find_first_of(" \t\"") == std::string::npos)
        return argument;
    std::string text = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        text.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        text += c;
    }
    text.append(backslashes * 2, '\\');
    return text + "\"";
}

int install(const std::vector<std::string>& runArguments, std::ostream& out)
{
    std::string commandLine = quoted(programPath()) + " service";
    for (const std::string& argument : runArguments)
        commandLine.append(" ").append(quoted(argument));
    scm::Handle manager =
        scm::openManager(kService, "install", SC_MANAGER_CREATE_SERVICE | SC_MANAGER_CONNECT);
    SC_HANDLE created = CreateServiceA(
        manager.get(), kService.name, kDisplayName, SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
        SERVICE_AUTO_START, SERVICE_ERROR_NORMAL, commandLine.c_str(), nullptr, nullptr,
        kDependencies, nullptr, nullptr); // LocalSystem: the device needs it
    if (created == nullptr) {
        const DWORD error = GetLastError();
        if (error == ERROR_SERVICE_EXISTS || error == ERROR_DUPLICATE_SERVICE_NAME)
            throw zephrctl::CommandError("install: the zephr-agent service is already installed "
                                         "(zephr-agent uninstall removes it)",
                                         zephrctl::kExitRefused);
        if (error == ERROR_SERVICE_MARKED_FOR_DELETE)
            throw zephrctl::CommandError("install: the zephr-agent service is still being "
                                         "removed; restart Windows, then install again",
                                         zephrctl::kExitRefused);
        scm::fail(kService, "install: cannot create the zephr-agent service", error);
    }
    scm::Handle service(created);
    SERVICE_DESCRIPTIONA description = {const_cast<char*>(kDescription)};
    ChangeServiceConfig2A(service.get(), SERVICE_CONFIG_DESCRIPTION, &description);
    out << "installed the zephr-agent service (own process, automatic start, after the zephr "
           "service): "
        << commandLine << "\nits log: " << serviceLogPath()
        << "\nzephr-agent start starts it now\n";
    return zephrctl::kExitOk;
}

int uninstall(std::ostream& out)
{
    scm::Handle manager = scm::openManager(kService, "uninstall", SC_MANAGER_CONNECT);
    scm::Handle service = scm::openService(kService, "uninstall", manager,
                                           SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    scm::stopToRemove(kService, service, "see its log, " + serviceLogPath(), out);
    scm::remove(kService, service, out);
    return zephrctl::kExitOk;
}

// The service's side: its body, its status handle and what it reported.
ServiceBody serviceBody;
SERVICE_STATUS_HANDLE statusHandle = nullptr;
SERVICE_STATUS serviceStatus = {};

void report(DWORD state, DWORD exitStatus = 0, DWORD waitHint = 0)
{
    serviceStatus.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    serviceStatus.dwCurrentState = state;
    serviceStatus.dwControlsAccepted =
        state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    serviceStatus.dwWin32ExitCode = exitStatus == 0 ? NO_ERROR : ERROR_SERVICE_SPECIFIC_ERROR;
    serviceStatus.dwServiceSpecificExitCode = exitStatus;
    serviceStatus.dwWaitHint = waitHint;
    if (state == SERVICE_START_PENDING || state == SERVICE_STOP_PENDING)
        ++serviceStatus.dwCheckPoint;
    else
        serviceStatus.dwCheckPoint = 0;
    SetServiceStatus(statusHandle, &serviceStatus);
}

// On the dispatcher's thread: the stop ends the body's run on the service's.
DWORD WINAPI control(DWORD request, DWORD, LPVOID, LPVOID)
{
    switch (request) {
    case SERVICE_CONTROL_STOP:
    case SERVICE_CONTROL_SHUTDOWN:
        report(SERVICE_STOP_PENDING, 0, kStopHintMs);
        serviceBody.stop();
        return NO_ERROR;
    case SERVICE_CONTROL_INTERROGATE:
        return NO_ERROR;
    default:
        return ERROR_CALL_NOT_IMPLEMENTED;
    }
}

void WINAPI serviceMain(DWORD, LPSTR*)
{
    statusHandle = RegisterServiceCtrlHandlerExA(kService.name, control, nullptr);
    if (statusHandle == nullptr)
        return;
    // Pending until the agent serves: a start that fails (the address in
    // use, another fan control) ends as stopped, never as running.
    report(SERVICE_START_PENDING, 0, kStartHintMs);
    const int exitStatus = serviceBody.run([] { report(SERVICE_RUNNING); });
    report(SERVICE_STOPPED, DWORD(exitStatus));
}

std::function<void()> consoleStop;

BOOL WINAPI consoleControl(DWORD event)
{
    switch (event) {
    case CTRL_C_EVENT:
    case CTRL_BREAK_EVENT:
    case CTRL_CLOSE_EVENT:
        consoleStop();
        return TRUE;
    default:
        return FALSE;
    }
}

} // namespace

int runServiceCommand(const std::string& command, const std::vector<std::string>& runArguments,
                      std::ostream& out)
{
    if (command == "install")
        return install(runArguments, out);
    if (command == "uninstall")
        return uninstall(out);
    if (command == "start") {
        try {
            return scm::start(kService, out);
        } catch (const zephrctl::CommandError& e) {
            // Why it did not start is in the log.
            throw zephrctl::CommandError(
                std::string(e.what()) + " (its log: " + serviceLogPath() + ")", e.exitStatus());
        }
    }
    if (command == "stop")
        return scm::stop(kService, out);
    if (command == "status") {
        const int status = scm::status(kService, out);
        if (status != zephrctl::kExitRefused)
            out << "its log: " << serviceLogPath() << "\n";
        return status;
    }
    throw std::runtime_error("no service command '" + command + "'");
}

bool runAsService(ServiceBody body)
{
    serviceBody = std::move(body);
    SERVICE_TABLE_ENTRYA table[] = {{const_cast<char*>(kService.name), serviceMain},
                                    {nullptr, nullptr}};
    if (StartServiceCtrlDispatcherA(table))
        return true;
    if (GetLastError() == ERROR_FAILED_SERVICE_CONTROLLER_CONNECT)
        return false;
    throw std::runtime_error("service: the Service Control Manager's dispatcher did not start (" +
                             scm::systemMessage(GetLastError()) + ")");
}

std::string serviceLogPath()
{
    const std::string program = programPath();
    const size_t slash = program.find_last_of("\\/");
    return (slash == std::string::npos ? std::string() : program.substr(0, slash + 1)) + kLogName;
}

StopRequests::StopRequests(std::function<void()> stop)
{
    consoleStop = std::move(stop);
    SetConsoleCtrlHandler(consoleControl, TRUE);
}

StopRequests::~StopRequests()
{
    SetConsoleCtrlHandler(consoleControl, FALSE);
}

} // namespace agent
