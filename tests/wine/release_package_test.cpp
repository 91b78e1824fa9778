// SPDX-License-Identifier: MIT
// release_package_test.cpp
//
// The release zip as a user gets it: unpacked, it holds x86/ (the driver,
// the plug-in, the three tools) and x64/ (the test-signed driver and the
// three tools), a readme with Windows line ends and the licence, and neither the
// test-hardware driver nor a private key; in a fresh Wine prefix of either
// architecture the unpacked zephrctl.exe of its folder installs the driver through the Service
// Control Manager, starts it, talks to it, stops it and removes it, with a clear answer to each
// usual mistake on the way.
#include "common/zephr_ioctl.h"
#include "support/run_program.h"
#include "wine/wine_prefix.h"
#include "wine/wine_suite.h"

#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace wine_test {
namespace {

// The driver's version names the package, as its version record gives it.
const std::string kVersion =
    std::to_string(ZEPHR_VERSION_MAJOR) + "." + std::to_string(ZEPHR_VERSION_MINOR);
const std::string kPackageFolder = "zephr-" + kVersion + "-windows";

std::string fileText(const std::filesystem::path& path)
{
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The zip unpacked into a temporary folder of its own, removed at the end.
class UnpackedPackage {
  public:
    UnpackedPackage()
    {
        std::filesystem::path zip =
            std::filesystem::path(ZEPHR_WINDOWS_BUILD_DIR) / "package" / (kPackageFolder + ".zip");
        if (!std::filesystem::is_regular_file(zip))
            throw std::runtime_error(zip.string() + " does not exist: build the Windows build "
                                                    "(scripts/build or scripts/package)");
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zephr-package-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr)
            throw std::runtime_error("cannot make a temporary folder from " + pattern);
        root_ = pattern;
        auto unpack = tool_test::runProgram({ZEPHR_CMAKE_COMMAND, "-E", "chdir", root_.string(),
                                             ZEPHR_CMAKE_COMMAND, "-E", "tar", "xf", zip.string()});
        if (unpack.exitStatus != 0)
            throw std::runtime_error("cannot unpack " + zip.string() + ": " + unpack.err);
    }
    ~UnpackedPackage()
    {
        std::error_code ignored;
        std::filesystem::remove_all(root_, ignored);
    }
    UnpackedPackage(const UnpackedPackage&) = delete;
    UnpackedPackage& operator=(const UnpackedPackage&) = delete;

    const std::filesystem::path& root() const
    {
        return root_;
    }
    std::filesystem::path folder() const
    {
        return root_ / kPackageFolder;
    }

  private:
    std::filesystem::path root_;
};

TEST(ReleasePackage, HoldsTheReleaseFilesAndNoTestDriver)
{
    UnpackedPackage package;
    std::set<std::string> top;
    for (const auto& entry : std::filesystem::directory_iterator(package.root()))
        top.insert(entry.path().filename().string());
    EXPECT_EQ(top, std::set<std::string>{kPackageFolder}) << "one folder at the top";

    std::set<std::string> files;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(package.root()))
        if (entry.is_regular_file())
            files.insert(std::filesystem::relative(entry.path(), package.folder()).string());
    const std::set<std::string> expected = {
        "x86/zephr.sys",       "x86/Gaugelet.dll", "x86/zephrctl.exe", "x86/gaugehost.exe",
        "x86/zephr-agent.exe", "x64/zephr.sys",    "x64/zephrctl.exe", "x64/gaugehost.exe",
        "x64/zephr-agent.exe", "README.txt",       "LICENSE.txt"};
    EXPECT_EQ(files, expected) << "no key, no test driver, the plug-in in x86/ only";

    // Each folder's production driver, byte for byte, not the test-hardware build.
    for (const WineArchitecture* architecture : {&win32, &win64}) {
        std::filesystem::path shipped = package.folder() / architecture->name / "zephr.sys";
        EXPECT_EQ(fileText(shipped), fileText(architecture->binary("zephr.sys"))) << shipped;
        EXPECT_NE(fileText(shipped), fileText(architecture->binary("zephr-testhw.sys"))) << shipped;
    }

    std::string readme = fileText(package.folder() / "README.txt");
    for (size_t at = readme.find('\n'); at != std::string::npos; at = readme.find('\n', at + 1))
        ASSERT_TRUE(at > 0 && readme[at - 1] == '\r') << "a line of README.txt ends in LF alone";
    for (const char* topic : {"zephrctl install", "zephrctl start", "Plugins",
                              "zephrctl fan-control", "logon", "zephrctl uninstall", "x64\\",
                              "x86\\", "64-bit Windows", "test mode", "zephr-agent install"})
        EXPECT_NE(readme.find(topic), std::string::npos) << "README.txt says nothing of " << topic;
}

class WineInstallFlow : public WinePrefixTest {};
ZEPHR_WINE_ON_BOTH(WineInstallFlow);

TEST_P(WineInstallFlow, FromTheUnpackedPackage)
{
    UnpackedPackage package;
    for (const auto& entry :
         std::filesystem::directory_iterator(package.folder() / architecture().name))
        prefix().addProgram(entry.path());

    SessionResult session = prefix().runSession({
        {"status-before", "zephrctl.exe status"},
        {"uninstall-before", "zephrctl.exe uninstall"},
        {"install", "zephrctl.exe install"},
        {"drivers-installed", "dir /b C:\\windows\\system32\\drivers"},
        {"install-again", "zephrctl.exe install"},
        {"status-installed", "zephrctl.exe status"},
        {"start", "zephrctl.exe start"},
        {"status-running", "zephrctl.exe status"},
        {"version", "zephrctl.exe version"},
        {"stop", "zephrctl.exe stop"},
        {"uninstall", "zephrctl.exe uninstall"},
        {"status-after", "zephrctl.exe status"},
        {"drivers-after", "dir /b C:\\windows\\system32\\drivers"},
    });
    ASSERT_FALSE(session.timedOut) << "the Wine session hung";

    struct Row {
        const char* step;
        int exitCode;
        std::string output; // a part of the step's output
    };
    const Row rows[] = {
        {"status-before", 3, "the zephr service is not installed"},
        {"uninstall-before", 3, "uninstall: the zephr service is not installed"},
        {"install", 0, "installed the zephr service (kernel driver, demand start)"},
        {"install-again", 3, "install: the zephr service is already installed"},
        {"status-installed", 1, "the zephr service is installed and stopped"},
        {"start", 0, "the zephr service is running"},
        {"status-running", 0, "the zephr service is installed and running"},
        {"version", 0, "zephr driver version " + kVersion},
        {"stop", 0, "the zephr service is stopped"},
        {"uninstall", 0, "removed the zephr service"},
        {"status-after", 3, "the zephr service is not installed"},
    };
    for (const Row& row : rows) {
        const StepResult& step = session.step(row.step);
        EXPECT_EQ(step.exitCode, row.exitCode) << row.step << ": " << step.output;
        EXPECT_NE(step.output.find(row.output), std::string::npos)
            << row.step << ": " << step.output;
    }
    EXPECT_NE(session.step("install").output.find("zephr.sys to C:\\windows\\system32\\drivers"),
              std::string::npos)
        << session.step("install").output;

    // The driver's file is copied by install and deleted by uninstall.
    EXPECT_NE(session.step("drivers-installed").output.find("zephr.sys"), std::string::npos)
        << session.step("drivers-installed").output;
    EXPECT_EQ(session.step("drivers-after").output.find("zephr.sys"), std::string::npos)
        << session.step("drivers-after").output;

    std::vector<std::string> open = {"Zephr: Open / Close"};
    EXPECT_EQ(driverMessages(session.driverEvents),
              joined({driverLoadMessages, open, open, driverUnloadMessages}));
    EXPECT_EQ(session.wineMessages, "") << "Wine reported trouble";
}

} // namespace
} // namespace wine_test
