// main.cpp
//
// gaugehost, a stand-in for the host application that loads Gaugelet:
//   gaugehost [OPTIONS] info
//   gaugehost [OPTIONS] call [--raw] READER [PARAM...]
//   gaugehost [OPTIONS] script [FILE|-]
//   gaugehost [OPTIONS] panel [--once]
// OPTIONS: --plugin PATH, --machine FILE, --no-driver, --driver-image FILE, --trace.
// Exit status 0 on success, 1 when something failed, 2 for a command line
// that cannot be understood.
#include "tools/common/session.h"
#include "tools/gaugehost/commands.h"
#include "tools/gaugehost/notebook_controls.h"
#include "tools/gaugehost/panel.h"
#include "tools/gaugehost/plugin_library.h"
#include "tools/gaugehost/program_environment.h"
#include "tools/gaugehost/script_runner.h"

#include <fstream>
#include <iostream>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsage =
    "usage: gaugehost [OPTIONS] info\n"
    "       gaugehost [OPTIONS] call [--raw] READER [PARAM...]\n"
    "       gaugehost [OPTIONS] script [FILE|-]\n"
    "       gaugehost [OPTIONS] panel [--once]\n"
    "options:\n"
    "  --plugin PATH   the plug-in library (default: the one of this build)\n"
    "  --machine FILE  the simulated notebook (host build; default: built-in)\n"
    "  --no-driver     do not load the driver (host build), as if it were not started\n"
    "  --driver-image FILE\n"
    "                  run the Windows driver image FILE (build-windows/bin/zephr.sys)\n"
    "                  under the CPU emulator instead of the host-build driver (host build)\n"
    "  --trace         hardware accesses of the simulated notebook to standard error\n"
    "  --help          this text\n";

// A command line that cannot be understood.
struct UsageError : std::runtime_error {
    using std::runtime_error::runtime_error;
};

struct CommandLine {
    std::string plugin;
    tools::SessionOptions session;
    bool trace = false;
    bool help = false;
    std::string command;
    bool raw = false;
    std::vector<std::string> arguments; // after the command (and --raw)
};

CommandLine parseCommandLine(int argc, char** argv)
{
    CommandLine line;
    int at = 1;
    auto value = [&](const std::string& option) {
        if (at + 1 >= argc)
            throw UsageError(option + " needs a value");
        return std::string(argv[++at]);
    };
    for (; at < argc && std::string(argv[at]).rfind("--", 0) == 0; ++at) {
        const std::string option = argv[at];
        if (option == "--plugin")
            line.plugin = value(option);
        else if (option == "--machine")
            line.session.machineFile = value(option);
        else if (option == "--no-driver")
            line.session.loadDriver = false;
        else if (option == "--driver-image")
            line.session.driverImage = value(option);
        else if (option == "--trace")
            line.trace = true;
        else if (option == "--help")
            line.help = true;
        else
            throw UsageError("unknown option " + option);
    }
    if (line.help)
        return line;
    if (at >= argc)
        throw UsageError("no command given");
    line.command = argv[at++];
    if (line.command == "call" && at < argc && std::string(argv[at]) == "--raw") {
        line.raw = true;
        ++at;
    }
    line.arguments.assign(argv + at, argv + argc);

    if (line.command == "info" && !line.arguments.empty())
        throw UsageError("info takes no arguments");
    if (line.command == "call" && line.arguments.empty())
        throw UsageError("call needs a READER");
    if (line.command == "script" && line.arguments.size() > 1)
        throw UsageError("script takes one FILE (or - for standard input)");
    if (line.command == "panel" &&
        !(line.arguments.empty() || (line.arguments.size() == 1 && line.arguments[0] == "--once")))
        throw UsageError("panel takes only --once");
    if (line.command != "info" && line.command != "call" && line.command != "script" &&
        line.command != "panel")
        throw UsageError("unknown command " + line.command);
    return line;
}

void runScript(const gaugehost::PluginLibrary& library, const std::string& file)
{
    gaugehost::ScriptRunner runner(library, std::cout);
    if (file == "-") {
        runner.run(std::cin, "<stdin>");
        return;
    }
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("script " + file + ": cannot be opened");
    runner.run(in, file);
}

// Carries out the command on the loaded plug-in.
void runCommand(const CommandLine& line, const gaugehost::PluginLibrary& library)
{
    if (line.command == "info") {
        gaugehost::runInfo(library, std::cout);
    } else if (line.command == "call") {
        if (line.raw)
            gaugehost::useBinaryOutput();
        std::vector<std::string> parameters(line.arguments.begin() + 1, line.arguments.end());
        gaugehost::runCall(library, line.arguments[0], parameters, line.raw, std::cout);
    } else if (line.command == "panel") {
        gaugehost::PanelOptions options;
        options.once = !line.arguments.empty();
        gaugehost::runPanel(library, options, std::cout);
    } else {
        runScript(library, line.arguments.empty() ? "-" : line.arguments[0]);
    }
}

// Brings up the session and the plug-in and runs the command. A failure is
// told while both are still up, so its message comes before the trace of
// their going down. Gives the exit status.
int run(const CommandLine& line)
{
    tools::SessionOptions options = line.session;
    if (line.trace)
        options.trace = &std::cerr;
    std::optional<tools::Session> session;
    std::optional<gaugehost::PluginLibrary> library;
    try {
        session.emplace(options);
        if (line.command == "script")
            gaugehost::startScriptClock(); // before the plug-in sees any time
        library.emplace(line.plugin.empty() ? gaugehost::defaultPluginPath() : line.plugin);
        runCommand(line, *library);
        return 0;
    } catch (const std::exception& error) {
        std::cout.flush();
        std::cerr << "gaugehost: " << error.what() << "\n";
        return 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
    CommandLine line;
    try {
        line = parseCommandLine(argc, argv);
    } catch (const UsageError& error) {
        std::cerr << "gaugehost: " << error.what() << "\n" << kUsage;
        return 2;
    }
    if (line.help) {
        std::cout << kUsage;
        return 0;
    }
    return run(line);
}
