// SPDX-License-Identifier: MIT
// tool_image_test.cpp
//
// zephrctl.exe, gaugehost.exe and zephr-agent.exe as the Windows builds
// make them: console programs that run on a bare Windows installation,
// because the C++ runtime is linked in and only system DLLs are imported;
// each imports the Win32 routines of its job.
#include "artifacts/artifact_paths.h"
#include "artifacts/binary_tools.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace artifacts {
namespace {

struct ToolCase {
    const WindowsBuild* build;
    const char* file;
    std::vector<std::string> kernel32Routines;
    // The Service Control Manager's routines (ADVAPI32.dll, a system DLL
    // like KERNEL32.dll); a tool without them imports nothing from there.
    std::vector<std::string> advapi32Routines = {};
    // Winsock's DLLs (the agent's HTTP endpoint), lower case; system DLLs too.
    std::vector<std::string> socketDlls = {};
};

void PrintTo(const ToolCase& tool, std::ostream* out)
{
    *out << tool.build->name << " " << tool.file;
}

class ToolImage : public ::testing::TestWithParam<ToolCase> {
  protected:
    std::filesystem::path path = WindowsBinary(*GetParam().build, GetParam().file);
    PeReport report;

    void SetUp() override
    {
        ASSERT_TRUE(std::filesystem::exists(path)) << MissingWindowsBinary(path, *GetParam().build);
        report = InspectPe(path);
    }
};

TEST_P(ToolImage, IsAConsoleProgramOfItsBuild)
{
    EXPECT_EQ(report.format, GetParam().build->format);
    EXPECT_EQ(report.magic, GetParam().build->magic);
    EXPECT_EQ(report.subsystem, kSubsystemWindowsConsole);
    EXPECT_TRUE(report.characteristics & kImageFileExecutable);
    EXPECT_FALSE(report.characteristics & kImageFileDll);
}

// No libstdc++-6.dll, libgcc_s_*.dll or libwinpthread-1.dll to ship along.
TEST_P(ToolImage, ImportsOnlyTheCRuntimeAndKernel32)
{
    auto dlls = report.importedDllNames();
    ASSERT_FALSE(dlls.empty()) << "no import table read from " << path;
    for (const auto& dll : dlls) {
        auto name = LowerCase(dll);
        bool serviceManager = name == "advapi32.dll" && !GetParam().advapi32Routines.empty();
        const auto& sockets = GetParam().socketDlls;
        bool winsock = std::find(sockets.begin(), sockets.end(), name) != sockets.end();
        EXPECT_TRUE(name == "msvcrt.dll" || name == "kernel32.dll" || serviceManager || winsock)
            << path << " needs " << dll << " at run time; it imports from: " << JoinNames(dlls);
    }
}

TEST_P(ToolImage, ImportsTheWin32RoutinesOfItsJob)
{
    auto functions = report.functionsFrom("KERNEL32.dll");
    for (const auto& routine : GetParam().kernel32Routines) {
        EXPECT_TRUE(std::find(functions.begin(), functions.end(), routine) != functions.end())
            << routine << " is not imported from KERNEL32.dll; imported: " << JoinNames(functions);
    }
    auto services = report.functionsFrom("ADVAPI32.dll");
    for (const auto& routine : GetParam().advapi32Routines) {
        EXPECT_TRUE(std::find(services.begin(), services.end(), routine) != services.end())
            << routine << " is not imported from ADVAPI32.dll; imported: " << JoinNames(services);
    }
}

TEST_P(ToolImage, NoSectionIsWritableAndExecutable)
{
    ASSERT_FALSE(report.sections.empty());
    for (const auto& section : report.sections) {
        EXPECT_FALSE(section.writable && section.executable)
            << section.name << " is writable and executable";
    }
}

const std::vector<std::string> kZephrctlKernel32 = {"CreateFileA", "DeviceIoControl",
                                                    "CloseHandle"};
const std::vector<std::string> kZephrctlAdvapi32 = {"OpenSCManagerA", "CreateServiceA",
                                                    "StartServiceA",  "ControlService",
                                                    "DeleteService",  "QueryServiceStatus"};
const std::vector<std::string> kGaugehostKernel32 = {"LoadLibraryA", "GetProcAddress",
                                                     "FreeLibrary"};
// The device, the one-fan-control mutex, and Asio's completion port.
const std::vector<std::string> kAgentKernel32 = {"CreateFileA", "DeviceIoControl", "CreateMutexA",
                                                 "CreateIoCompletionPort"};
const std::vector<std::string> kAgentAdvapi32 = {"StartServiceCtrlDispatcherA",
                                                 "RegisterServiceCtrlHandlerExA",
                                                 "SetServiceStatus",
                                                 "CreateServiceA",
                                                 "ControlService",
                                                 "DeleteService"};
const std::vector<std::string> kAgentSocketDlls = {"ws2_32.dll", "mswsock.dll"};

INSTANTIATE_TEST_SUITE_P(
    WindowsTools, ToolImage,
    ::testing::Values(
        ToolCase{&kX86Build, "zephrctl.exe", kZephrctlKernel32, kZephrctlAdvapi32},
        ToolCase{&kX86Build, "gaugehost.exe", kGaugehostKernel32},
        ToolCase{&kX64Build, "zephrctl.exe", kZephrctlKernel32, kZephrctlAdvapi32},
        ToolCase{&kX64Build, "gaugehost.exe", kGaugehostKernel32},
        ToolCase{&kX86Build, "zephr-agent.exe", kAgentKernel32, kAgentAdvapi32, kAgentSocketDlls},
        ToolCase{&kX64Build, "zephr-agent.exe", kAgentKernel32, kAgentAdvapi32, kAgentSocketDlls}),
    [](const auto& info) {
        std::string name = info.param.file;
        name = name.substr(0, name.find('.'));
        std::replace(name.begin(), name.end(), '-', '_');
        return name + "_" + info.param.build->name;
    });

} // namespace
} // namespace artifacts
