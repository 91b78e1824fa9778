// SPDX-License-Identifier: MIT
// zephrctl_test.cpp
//
// zephrctl as a user runs it: the raw request's JSON for the driver's
// answers and refusals, the named commands, the trace, and the command
// line's errors and exit statuses.
#include "common/zephr_ioctl.h"
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

// A file of its own name in the same temporary folder.
std::string fileNamed(const std::string& name, const std::string& body)
{
    auto path = std::filesystem::path(machineFile("")).parent_path() / name;
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
    EXPECT_EQ(
        zephrctl({"ioctl", "0x9C40A448", "--out-len", std::to_string(ZEPHR_SYSINFO_LENGTH - 1)})
            .out,
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
    EXPECT_NE(badNumber.err.find("SENSOR 'x1' is not a number (decimal, or hexadecimal after 0x)"),
              std::string::npos);

    auto badHex = zephrctl({"ioctl", "0x9C40A440", "--input", "0g"});
    EXPECT_EQ(badHex.exitStatus, 2);
    EXPECT_NE(badHex.err.find("'g' at position 2 is not a hex digit"), std::string::npos);

    auto badMachine = zephrctl({"--machine", "/nonexistent/notebook.json", "version"});
    EXPECT_EQ(badMachine.exitStatus, 2);
    EXPECT_NE(badMachine.err.find("/nonexistent/notebook.json: no such file"), std::string::npos);

    auto noDriver = zephrctl({"--no-driver", "version"});
    EXPECT_EQ(noDriver.exitStatus, 3);
    EXPECT_NE(noDriver.err.find("the zephr driver is not loaded"), std::string::npos)
        << noDriver.err;
    EXPECT_TRUE(noDriver.out.empty());
}

TEST(ZephrctlCommandLine, EveryCommandHasItsHelp)
{
    // The commands as zephrctl --help lists them: two blanks, then the name.
    const std::string list = zephrctl({"--help"}).out;
    std::vector<std::string> names;
    const size_t start = list.find("Commands:\n");
    const size_t end = list.find("\nOptions:");
    ASSERT_NE(start, std::string::npos);
    for (size_t at = list.find("\n  ", start); at < end; at = list.find("\n  ", at + 1))
        if (list[at + 3] != ' ')
            names.push_back(list.substr(at + 3, list.find_first_of(" \n", at + 3) - at - 3));
    EXPECT_GE(names.size(), 19u) << list;
    for (const std::string& name : names)
        for (const char* help : {"--help", "-h"}) {
            auto result = zephrctl({name, help});
            EXPECT_EQ(result.exitStatus, 0) << name << " " << help << ": " << result.err;
            EXPECT_EQ(result.out.rfind("usage: zephrctl [OPTIONS] " + name, 0), 0u) << result.out;
        }
    EXPECT_EQ(zephrctl({"-h"}).out, list);
}

TEST(ZephrctlCommandLine, UsageErrorsNameWhatIsAccepted)
{
    struct Row {
        std::vector<std::string> arguments;
        int exitStatus;
        const char* out; // the whole standard output
        const char* err; // a part of standard error
    };
    const Row rows[] = {
        {{"set-fan-state", "0", "high"}, 0, "fan 0: state set to 2 (High)\n", ""},
        {{"set-fan-state", "1", "Off"}, 0, "fan 1: state set to 0 (Off)\n", ""},
        {{"set-fan-state", "0", "1"}, 0, "fan 0: state set to 1 (Slow)\n", ""},
        {{"set-fan-state", "0", "3"},
         2,
         "",
         "set-fan-state: STATE is off, slow or high (or 0 to 2), not '3'"},
        {{"set-fan-state", "0", "fast"}, 2, "", "not 'fast'"},
        {{"ioctl", "zz"}, 2, "", "CODE 'zz' is not a number (decimal, or hexadecimal after 0x)"},
        {{"ioctl", "0xzz"}, 2, "", "CODE '0xzz' is not a hexadecimal number"},
    };
    for (const Row& row : rows) {
        auto result = zephrctl(row.arguments);
        EXPECT_EQ(result.exitStatus, row.exitStatus)
            << row.arguments[2 % row.arguments.size()] << ": " << result.err;
        EXPECT_EQ(result.out, row.out);
        EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
    }
}

// fan-control and the service commands as a user runs them: what one
// interval read and set, the fail-safe, the configuration's refusals, and
// the commands that exist on Windows only.
TEST(ZephrctlFanControl, OnceAndRefusalsAndWindowsOnlyCommands)
{
    auto wrongKey = fileNamed("wrong-key.json", R"({"fans": [{"fan": 0, "slwo": {"up": 60}}]})");
    auto outOfOrder = fileNamed(
        "out-of-order.json", R"({"fans": [{"fan": 1, "off": {"up": 50}, "slow": {"down": 55}}]})");
    auto deaf = fileNamed("deaf.json", R"({"name": "deaf", "smm": {"behaviour": "ignore"}})");
    auto overflow = fileNamed("overflow.json", R"({"interval": 1e400})");
    auto escapeKey = fileNamed("escape-key.json", R"({"\u001b]0;owned\u0007": 1})");
    auto endlessDump = fileNamed("endless-dump.json", R"({"smbios": {"dump": "/dev/zero"}})");
    struct Row {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string out; // the whole standard output, when not empty
        std::string err; // a part of standard error, when not empty
    };
    const std::string degrees = " \xC2\xB0"
                                "C";
    std::vector<Row> rows = {
        {{"fan-control", "--once"},
         0,
         "CPU sensor 0: 52" + degrees + "\nfan 0: unknown -> Off (CPU 52" + degrees +
             ", taking control)\nfan 1: unknown -> Off (CPU 52" + degrees + ", taking control)\n",
         ""},
        {{"--no-driver", "fan-control", "--once"}, 3, "", "the zephr driver is not loaded"},
        {{"fan-control", "--config", wrongKey, "--once"}, 2, "", "fans[0].slwo: unknown key"},
        {{"fan-control", "--interval", "0", "--once"}, 2, "", "--interval '0'"},
        {{"fan-control", "--config", overflow, "--once"},
         2,
         "",
         "overflow.json: interval: not JSON"},
        {{"fan-control", "--config", escapeKey, "--once"}, 2, "", "\\x1B]0;owned\\x07: unknown"},
        {{"fan-control", "--config", "/dev/zero", "--once"},
         2,
         "",
         "fan-control configuration /dev/zero: not a regular file"},
        {{"--machine", endlessDump, "version"}, 2, "", "smbios.dump: SMBIOS dump /dev/zero: not a"},
        {{"--driver-image", "/dev/zero", "version"},
         3,
         "",
         "driver image /dev/zero: not a regular"},
        {{"fan-control", "--loud"}, 2, "", "fan-control: unknown option '--loud'"},
        {{"--load", "101", "fan-control"}, 2, "", "--load '101' is no whole percentage from 0"},
        {{"fan-control", "--simulated-time"}, 2, "", "--simulated-time needs --count N"},
        {{"fan-control", "--count", "0"}, 2, "", "--count '0' is no number of readings"},
        {{"fan-control", "--config", "/nonexistent/fans.json"},
         2,
         "",
         "fan-control configuration /nonexistent/fans.json: no such file"},
        {{"install"}, 2, "", "install: exists on Windows only"},
        {{"install", "--path", "zephr.sys"}, 2, "", "install: exists on Windows only"},
        {{"uninstall"}, 2, "", "uninstall: exists on Windows only"},
        {{"start"}, 2, "", "start: exists on Windows only"},
        {{"stop"}, 2, "", "stop: exists on Windows only"},
        {{"status"}, 2, "", "status: exists on Windows only"},
    };
    for (const Row& row : rows) {
        auto result = zephrctl(row.arguments);
        EXPECT_EQ(result.exitStatus, row.exitStatus) << row.arguments[0] << " " << result.err;
        if (!row.out.empty()) {
            EXPECT_EQ(result.out, row.out);
        }
        if (!row.err.empty()) {
            EXPECT_NE(result.err.find(row.err), std::string::npos) << result.err;
        }
    }
    // The demo: the notebook warms under full load, the loop raises the fans
    // to High, the CPU settles, and at the end the fans are left High.
    auto demo = zephrctl({"--load", "100", "fan-control", "--simulated-time", "--count", "24"});
    EXPECT_EQ(demo.exitStatus, 0) << demo.err;
    for (const char* line :
         {"00:00:00 fan 0: unknown -> Off (CPU 52", "fan 0: Off -> Slow", "fan 1: Slow -> High",
          "00:01:55 CPU sensor 0: 66", "00:01:55 stopping: every fan is left High"})
        EXPECT_NE(demo.out.find(line), std::string::npos) << line << " in\n" << demo.out;
    auto order = zephrctl({"fan-control", "--config", outOfOrder, "--once"});
    EXPECT_EQ(order.exitStatus, 2);
    EXPECT_NE(order.err.find("fans[0].slow.down: 55 must be below fans[0].off.up (50)"),
              std::string::npos)
        << order.err;
    auto failSafe = zephrctl({"--machine", deaf, "fan-control", "--once"});
    EXPECT_EQ(failSafe.exitStatus, 1);
    EXPECT_EQ(failSafe.out.rfind("CPU sensor 0 cannot be read (the BIOS did not answer): every "
                                 "fan to High until it reads again\n",
                                 0),
              0u)
        << failSafe.out;

    auto printed = zephrctl({"fan-control", "--print-default-config"});
    EXPECT_EQ(printed.exitStatus, 0);
    auto reread = fileNamed("printed.json", printed.out);
    EXPECT_EQ(zephrctl({"fan-control", "--config", reread, "--once"}).exitStatus, 0)
        << "the printed defaults read back";
}

TEST(ZephrctlCommands, SummaryLabelsEachValueByTheProfileWithTheLimits)
{
#define DEG                                                                                        \
    " \xC2\xB0"                                                                                    \
    "C"
#define LIMITS " (warn 80" DEG ", critical 95" DEG ")\n"
    struct Row {
        std::string machine; // "" for the built-in Inspiron 8600
        const char* lines;   // a part of the summary
    };
    const Row rows[] = {
        {"", // its profile reads the GPU at sensor 2, the memory at 1
         "CPU temperature (sensor 0): 52" DEG LIMITS "GPU temperature (sensor 2): 48" DEG LIMITS
         "memory temperature (sensor 1): 45" DEG LIMITS
         "other temperature (sensor 3): 40" DEG LIMITS
         "fan 0: Slow, 3600 rpm\nfan 1: Slow, 3450 rpm\n"},
        {R"({"name": "hot", "smm": {"temperatures": {"0": 97, "1": 85, "2": 60, "3": 40},)"
         R"( "fans": [{"state": 2, "speed": 175}, {"state": 0, "speed": 0}]}})",
         "Notebook: unknown model\nzephr driver version 1.5\nCPU speed: unknown (---)\n"
         "CPU temperature (sensor 0): 97" DEG " !!" LIMITS "GPU temperature (sensor 1): 85" DEG
         " !" LIMITS "memory temperature (sensor 2): 60" DEG LIMITS
         "other temperature (sensor 3): 40" DEG LIMITS
         "fan 0: High, 5250 rpm\nfan 1: Off, 0 rpm\n"},
        {R"({"name": "deaf", "smm": {"behaviour": "ignore"}})",
         "CPU temperature (sensor 0): no value" LIMITS},
        {R"({"name": "deaf", "smm": {"behaviour": "ignore"}})",
         "fan 1: state unknown, speed unknown\n"},
    };
    for (const Row& row : rows) {
        auto result = row.machine.empty()
                          ? zephrctl({"summary"})
                          : zephrctl({"--machine", machineFile(row.machine), "summary"});
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_NE(result.out.find(row.lines), std::string::npos) << result.out;
    }
#undef LIMITS
#undef DEG
}

TEST(ZephrctlCommands, FirmwareTextsAreShownWithTheirControlBytesEscaped)
{
    // A crafted SMBIOS product name that would set the terminal's title and colour.
    auto file =
        machineFile(R"({"name": "hostile", "smbios": {"structures": [)"
                    R"({"type": 1, "formatted": "01 02 00 03", "strings": ["Nord",)"
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
