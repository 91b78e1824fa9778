// zephrctl_test.cpp
//
// zephrctl as a user runs it: the raw request's JSON for the driver's
// answers and refusals, the named commands, the trace, and the command
// line's errors and exit statuses.
#include "support/run_program.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

using tool_test::ProgramResult;
using tool_test::runProgram;

namespace {

ProgramResult zephrctl(std::vector<std::string> arguments)
{
    arguments.insert(arguments.begin(), ZEPHRCTL_PROGRAM);
    return runProgram(arguments);
}

std::string json(const std::string& status, unsigned information, const std::string& output)
{
    return "{\"status\": \"" + status + "\", \"information\": " + std::to_string(information) +
           ", \"output\": \"" + output + "\"}\n";
}

// A machine file in a fresh temporary folder.
std::string machineFile(const std::string& body)
{
    auto folder =
        std::filesystem::temp_directory_path() / ("zephrctl-test-" + std::to_string(::getpid()));
    std::filesystem::create_directories(folder);
    auto path = folder / "machine.json";
    std::ofstream(path) << body;
    return path.string();
}

TEST(ZephrctlRaw, TheVersionRequestAsJson)
{
    auto result = zephrctl({"ioctl", "0x9C40A444"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, json("0x00000000", 8, "0100000005000000"));
}

TEST(ZephrctlRaw, LengthsWordsAndBounds)
{
    EXPECT_EQ(zephrctl({"ioctl", "0x9C40A408", "--input", "00000000", "--out-len", "100"}).out,
              json("0x00000000", 4, "100e0000"))
        << "fan 0 of the built-in notebook: 3600 rpm";
    EXPECT_EQ(zephrctl({"ioctl", "0x9C40A448", "--out-len", "16383"}).out,
              json("0xc0000023", 0, ""));
    EXPECT_EQ(zephrctl({"ioctl", "0x9C40A404", "--input", "0000"}).out, json("0xc0000023", 0, ""));
    EXPECT_EQ(zephrctl({"ioctl", "0x9C40A404", "--input", "0000ffff"}).out.substr(0, 42),
              json("0x00000000", 4, "").substr(0, 42));

    const std::vector<std::vector<std::string>> refused = {
        {"ioctl", "0x9C40A404", "--input", "02000000"}, // fan 2
        {"ioctl", "0x9C40A400", "--input", "00000300"}, // state 3
        {"ioctl", "0x9C40A440", "--input", "00010000"}, // sensor 256
        {"ioctl", "0x9C40A418", "--input", "00004000"}, // duty 64
        {"ioctl", "0x9C40A40C", "--in-len", "4"},       // function 0x903
        {"ioctl", "0x9C40A3FC", "--in-len", "4"},       {"ioctl", "0x9C40A450", "--in-len", "4"},
    };
    for (const auto& arguments : refused) {
        auto result = zephrctl(arguments);
        EXPECT_EQ(result.out, json("0xc000000d", 0, "")) << arguments[1];
        EXPECT_EQ(result.exitStatus, 3) << arguments[1];
    }
    EXPECT_EQ(zephrctl({"ioctl", "0x9C40A400", "--input", "01000200"}).out,
              json("0x00000000", 4, "00000000"));
    EXPECT_EQ(zephrctl({"ioctl", "0x9C40A440", "--input", "ff000000"}).exitStatus, 0);
}

TEST(ZephrctlRaw, AnIgnoringBiosAnswersAllOnesWithSuccess)
{
    auto file = machineFile(R"({"name": "deaf", "smm": {"behaviour": "ignore"}})");
    auto result = zephrctl({"--machine", file, "ioctl", "0x9C40A440", "--input", "00000000"});
    EXPECT_EQ(result.out, json("0x00000000", 4, "ffffffff")) << result.err;
    auto named = zephrctl({"--machine", file, "temp", "0"});
    EXPECT_EQ(named.out, "sensor 0: no value (the BIOS refused the call)\n");
    EXPECT_EQ(named.exitStatus, 1);
}

TEST(ZephrctlTrace, ShowsTheSmiThePort84WriteMappingsAndMessages)
{
    auto result = zephrctl({"--trace", "temp", "0"});
    EXPECT_EQ(result.exitStatus, 0);
    EXPECT_EQ(result.out, "sensor 0: 52 \xC2\xB0"
                          "C\n");
    const std::string& trace = result.err;
    EXPECT_NE(trace.find("map 0x000e0000 131072 -> 0x"), std::string::npos) << trace;
    EXPECT_NE(trace.find("dbg Zephr: DriverEntry successful\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("dbg Zephr: Open / Close\n"), std::string::npos) << trace;
    EXPECT_NE(trace.find("smi ax=10a3 bx=0000 cx=0000 dx=0000 -> ax=0034 bx=0000 cx=0000 "
                         "dx=0000\nout 0x0084 0x34\n"),
              std::string::npos)
        << trace;
    EXPECT_NE(trace.find("unmap 0x"), std::string::npos) << trace;
    EXPECT_NE(trace.find("dbg Zephr: End of unload\n"), std::string::npos) << trace;
}

TEST(ZephrctlCommands, DecodeTheirAnswers)
{
    EXPECT_EQ(zephrctl({"version"}).out, "zephr driver version 1.5\n");
    auto setState = zephrctl({"set-fan-state", "1", "2"});
    EXPECT_EQ(setState.out, "fan 1: state set to 2 (High)\n");
    EXPECT_EQ(zephrctl({"fan-state", "0"}).out, "fan 0: state 1 (Slow)\n");
    auto refused = zephrctl({"fan-speed", "2"});
    EXPECT_EQ(refused.exitStatus, 3);
    EXPECT_NE(refused.err.find("the driver refused IOCTL_ZEPHR_GET_FAN_SPEED: invalid parameter"),
              std::string::npos)
        << refused.err;
}

TEST(ZephrctlCommandLine, ErrorsGoToStandardErrorWithAnExitStatus)
{
    auto help = zephrctl({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("usage: zephrctl"), std::string::npos);

    auto none = zephrctl({});
    EXPECT_EQ(none.exitStatus, 2);
    EXPECT_NE(none.err.find("no command given"), std::string::npos);

    auto unknown = zephrctl({"fly"});
    EXPECT_EQ(unknown.exitStatus, 2);
    EXPECT_NE(unknown.err.find("unknown command 'fly'"), std::string::npos);

    auto badNumber = zephrctl({"temp", "x1"});
    EXPECT_EQ(badNumber.exitStatus, 2);
    EXPECT_NE(badNumber.err.find("SENSOR 'x1' is not a decimal number"), std::string::npos);

    auto badHex = zephrctl({"ioctl", "0x9C40A440", "--input", "0g"});
    EXPECT_EQ(badHex.exitStatus, 2);
    EXPECT_NE(badHex.err.find("'g' at position 2 is not a hex digit"), std::string::npos);

    auto badMachine = zephrctl({"--machine", "/nonexistent/notebook.json", "version"});
    EXPECT_EQ(badMachine.exitStatus, 3);
    EXPECT_NE(badMachine.err.find("/nonexistent/notebook.json"), std::string::npos);

    auto noDriver = zephrctl({"--no-driver", "version"});
    EXPECT_EQ(noDriver.exitStatus, 3);
    EXPECT_NE(noDriver.err.find("the zephr driver is not loaded"), std::string::npos)
        << noDriver.err;
    EXPECT_TRUE(noDriver.out.empty());
}

TEST(ZephrctlCommands, FirmwareTextsAreShownWithTheirControlBytesEscaped)
{
    // A crafted SMBIOS product name that would set the terminal's title and colour.
    auto file =
        machineFile(R"({"name": "hostile", "smbios": {"structures": [)"
                    R"({"type": 1, "formatted": "01 02 00 03", "strings": ["Dell",)"
                    R"( "Inspiron\u001b]0;owned\u0007\u001b[31m\rX", "Y"]}, {"type": 127}]}})");
    const std::pair<const char*, const char*> cases[] = {
        {"sysinfo", "Product name: Inspiron\\x1B]0;owned\\x07\\x1B[31m\\x0DX\n"},
        {"summary", "Notebook: Inspiron\\x1B]0;owned\\x07\\x1B[31m\n"}, // the line ends at the CR
    };
    for (const auto& [command, line] : cases) {
        auto result = zephrctl({"--machine", file, command});
        EXPECT_EQ(result.out.find('\x1b'), std::string::npos) << command << ": " << result.out;
        EXPECT_NE(result.out.find(line), std::string::npos) << command << ": " << result.out;
    }
}

} // namespace
