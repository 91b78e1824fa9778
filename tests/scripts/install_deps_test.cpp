// SPDX-License-Identifier: MIT
// install_deps_test.cpp
//
// scripts/install-deps against a mirror caught mid-sync and machines of
// both kinds. The script runs from a copy beside a stand-in probe, with
// stand-ins of apt-get, dpkg, dpkg-query, id and sleep first in PATH: apt-get
// logs each call and fails as the row says, a successful install marks its
// packages installed.
#include "support/run_program.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

namespace fs = std::filesystem;

struct Row {
    const char* name;
    bool runs32BitCode;
    const char* aptMode; // see the apt-get stand-in below
    int exitStatus;
    // Substrings of the apt-get call log, in this order; "!x" means x is
    // nowhere in the log, CODENAME stands for the release's code name.
    std::vector<std::string> calls;
};

void PrintTo(const Row& row, std::ostream* out)
{
    *out << row.name;
}

void writeScript(const fs::path& path, const std::string& text)
{
    std::ofstream(path) << "#!/usr/bin/env bash\n" << text;
    fs::permissions(path, fs::perms::owner_all);
}

std::string fileText(const fs::path& path)
{
    std::ifstream file(path);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

std::string releaseCodename()
{
    std::ifstream release("/etc/os-release");
    for (std::string line; std::getline(release, line);)
        if (line.rfind("VERSION_CODENAME=", 0) == 0)
            return line.substr(17);
    return "";
}

class InstallDeps : public ::testing::TestWithParam<Row> {
  protected:
    void SetUp() override
    {
        std::string pattern = (fs::temp_directory_path() / "zephr-install-deps-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        folder = pattern;
        fs::create_directories(folder / "scripts");
        fs::create_directories(folder / "bin");
        for (const char* script : {"install-deps", "wine-packages"})
            fs::copy_file(fs::path(ZEPHR_SOURCE_DIR) / "scripts" / script,
                          folder / "scripts" / script);
        const fs::path log = folder / "apt.log";
        const fs::path state = folder / "installed";
        std::ofstream(state).close();

        writeScript(folder / "scripts/probe-32bit-code",
                    GetParam().runs32BitCode ? "exit 0\n"
                                             : "echo 'no 32-bit x86 code: stand-in'; exit 1\n");
        writeScript(folder / "bin/id", "echo 0\n");
        writeScript(folder / "bin/sleep", "exit 0\n");
        writeScript(folder / "bin/dpkg", "echo \"dpkg $*\" >>" + log.string() + "\n");
        writeScript(folder / "bin/dpkg-query",
                    "grep -qx \"${!#}\" " + state.string() + " && echo 'install ok installed'\n");
        // update-fails: every update fails, installs work; target-only: an
        // install works only with -t; never: no install works.
        writeScript(folder / "bin/apt-get",
                    "echo \"apt-get $*\" >>" + log.string() +
                        "\n"
                        "[ \"$1\" = update ] && { [ \"$APT_MODE\" = update-fails ] && exit 100; "
                        "exit 0; }\n"
                        "[ \"$APT_MODE\" = never ] && exit 100\n"
                        "[ \"$APT_MODE\" = target-only ] && [[ \" $* \" != *\" -t \"* ]] && exit "
                        "100\n"
                        "for p in \"$@\"; do [[ $p == -* ]] || echo \"$p\" >>" +
                        state.string() + "; done\n");
    }
    void TearDown() override
    {
        std::error_code ignored;
        fs::remove_all(folder, ignored);
    }

    fs::path folder;
};

TEST_P(InstallDeps, SurvivesTheMirrorAndInstallsWhatTheMachineRuns)
{
    const Row& row = GetParam();
    tool_test::ProgramResult run = tool_test::runProgram(
        {"/usr/bin/env", "PATH=" + (folder / "bin").string() + ":" + getenv("PATH"),
         std::string("APT_MODE=") + row.aptMode, (folder / "scripts/install-deps").string()});
    EXPECT_EQ(run.exitStatus, row.exitStatus) << run.err;

    std::string log = fileText(folder / "apt.log");
    size_t at = 0;
    for (std::string call : row.calls) {
        if (size_t name = call.find("CODENAME"); name != std::string::npos)
            call.replace(name, 8, releaseCodename());
        if (call[0] == '!') {
            EXPECT_EQ(log.find(call.substr(1)), std::string::npos) << call << " in:\n" << log;
            continue;
        }
        size_t found = log.find(call, at);
        ASSERT_NE(found, std::string::npos) << "no '" << call << "' after offset " << at << " of:\n"
                                            << log << "\n"
                                            << run.err;
        at = found + call.size();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Rows, InstallDeps,
    ::testing::Values(Row{"IndexFailsInstallWorks",
                          true,
                          "update-fails",
                          0,
                          {"dpkg --add-architecture i386", "apt-get update", "apt-get update",
                           "apt-get update", "apt-get install", "wine32:i386", "!-t "}},
                      Row{"I386ConflictsUntilTheReleaseIsTheTarget",
                          true,
                          "target-only",
                          0,
                          {"apt-get update", "apt-get install", "apt-get update", "apt-get install",
                           "apt-get install -y -qq --no-install-recommends -t CODENAME",
                           "wine32:i386"}},
                      Row{"NothingInstalls", true, "never", 1, {"-t CODENAME"}},
                      Row{"NoThirtyTwoBitCode",
                          false,
                          "always",
                          0,
                          {"apt-get install", "wine", "!:i386", "!--add-architecture"}}),
    [](const ::testing::TestParamInfo<Row>& info) { return std::string(info.param.name); });

} // namespace
