// SPDX-License-Identifier: MIT
// testhw_image_test.cpp
//
// zephr-testhw.sys of both builds runs where no instruction needs I/O
// privilege: its
// machine code holds none of the privileged x86 instructions, while the
// production zephr.sys holds the SMI writes to ports 0xB2 and 0x84 (so the
// search finds what it looks for). No Wine needed; binutils reads the images.
#include "wine/bounded_process.h"
#include "wine/wine_suite.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <set>
#include <sstream>

namespace wine_test {
namespace {

std::string disassembly(const std::filesystem::path& image)
{
    // The x86-64 binutils read the images of both builds.
    std::filesystem::path objdump = findInPath("x86_64-w64-mingw32-objdump");
    if (objdump.empty())
        throw std::runtime_error(
            "no x86_64-w64-mingw32-objdump in PATH (binutils-mingw-w64-x86-64)");
    if (!std::filesystem::is_regular_file(image))
        throw std::runtime_error(image.string() + " does not exist: build the Windows build first");
    std::string out = (std::filesystem::temp_directory_path() /
                       ("zephr-objdump-" + std::to_string(getpid()) + ".txt"))
                          .string();
    BoundedRun run = runBounded({objdump.string(), "-d", "--no-show-raw-insn", image.string()},
                                {"LC_ALL=C"}, std::chrono::seconds(60), out, out);
    std::string text = readFile(out);
    std::filesystem::remove(out);
    if (run.exitStatus != 0)
        throw std::runtime_error("objdump -d " + image.string() + " failed:\n" + text);
    return text;
}

// "   14847:\tout    %al,$0xb2" -> the mnemonic and its operands of each line.
std::vector<std::string> privilegedInstructions(const std::string& listing)
{
    static const std::set<std::string> privileged = {
        "in",    "inb",  "inw",  "inl",   "out",   "outb",  "outw",   "outl",   "ins", "insb",
        "insw",  "insl", "outs", "outsb", "outsw", "outsl", "cli",    "sti",    "hlt", "rdmsr",
        "wrmsr", "lgdt", "lidt", "lldt",  "ltr",   "invd",  "wbinvd", "invlpg", "clts"};
    std::vector<std::string> found;
    std::istringstream lines(listing);
    std::string line;
    while (std::getline(lines, line)) {
        size_t tab = line.find(":\t");
        if (tab == std::string::npos)
            continue;
        std::string instruction = line.substr(tab + 2);
        std::string mnemonic = instruction.substr(0, instruction.find_first_of(" \t"));
        if (privileged.count(mnemonic) != 0)
            found.push_back(instruction);
    }
    return found;
}

class TestHardwareImage : public ::testing::TestWithParam<WineArchitecture> {};
INSTANTIATE_TEST_SUITE_P(Builds, TestHardwareImage, ::testing::Values(win32, win64),
                         architectureName);

TEST_P(TestHardwareImage, HoldsNoPrivilegedInstruction)
{
    EXPECT_EQ(privilegedInstructions(disassembly(GetParam().binary("zephr-testhw.sys"))),
              std::vector<std::string>{});
}

TEST_P(TestHardwareImage, TheProductionImageHoldsTheSmiPortWrites)
{
    std::vector<std::string> found =
        privilegedInstructions(disassembly(GetParam().binary("zephr.sys")));
    auto has = [&](const std::string& operands) {
        for (const std::string& instruction : found)
            if (instruction.rfind("out", 0) == 0 && instruction.find(operands) != std::string::npos)
                return true;
        return false;
    };
    EXPECT_TRUE(has("%al,$0xb2")) << ::testing::PrintToString(found);
    EXPECT_TRUE(has("%al,$0x84")) << ::testing::PrintToString(found);
}

} // namespace
} // namespace wine_test
