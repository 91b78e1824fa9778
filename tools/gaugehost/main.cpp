// SPDX-License-Identifier: MIT
// main.cpp
//
// gaugehost, a stand-in for the host application that loads Gaugelet, and a
// monitor of the notebook through it:
//   gaugehost [OPTIONS] info | call | script | panel | log
//   gaugehost plot LOG --output FILE
// OPTIONS: --plugin PATH, --plugin-image FILE, --machine FILE, --no-driver,
// --driver-image FILE, --image-base ADDR, --trace.
// Exit status 0 on success, 1 when something failed (call: also when the
// reader answered an "ERROR:" text), 2 for a command line that cannot be
// understood or a machine file at fault.
#include "common/bounded_file.h"
#include "tools/common/console_output.h"
#include "tools/common/control_bytes.h"
#include "tools/common/session.h"
#include "tools/common/session_options.h"
#include "tools/gaugehost/chart/plot_command.h"
#include "tools/gaugehost/log/log_command.h"
#include "tools/gaugehost/plugin_host/host_commands.h"
#include "tools/gaugehost/plugin_host/notebook_controls.h"
#include "tools/gaugehost/panel/panel.h"
#include "tools/gaugehost/plugin_host/plugin_image.h"
#include "tools/gaugehost/plugin_host/plugin_library.h"
#include "tools/gaugehost/plugin_host/program_environment.h"
#include "tools/gaugehost/script/script_runner.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

constexpr const char* kUsageCommands =
    "usage: gaugehost [OPTIONS] COMMAND [ARGUMENTS]\n"
    "commands:\n"
    "  info                     what the host learns from the plug-in\n"
    "  call [--raw] READER [PARAM...]\n"
    "                           one call of a reader; exit status 1 when it\n"
    "                           answers an \"ERROR:\" text\n"
    "  script [FILE|-]          host actions from a file or standard input\n"
    "  panel [--once] [--interval S] [--warn C] [--crit C] [--no-color]\n"
    "                           the live monitor of the notebook\n"
    "  log [--interval S] [--count N] [--format csv|jsonl] [--output FILE]\n"
    "      [--append] [--simulated-time]\n"
    "                           one record per period, without a terminal UI\n"
    "  plot LOG --output FILE [--warn C] [--crit C]\n"
    "                           a log drawn as a chart (SVG)\n"
    "command options:\n"
    "  --interval S     the readers' refresh period in seconds (default: the\n"
    "                   plug-in's, 5)\n"
    "  --warn C         temperatures from C degrees Celsius warn (default 80)\n"
    "  --crit C         and from C degrees they are critical (default 95)\n"
    "  --once           one frame and out\n"
    "  --no-color       no colour (also when NO_COLOR is set)\n"
    "  --count N        N records, then out (default: until Ctrl-C)\n"
    "  --format F       csv (default) or jsonl\n"
    "  --output FILE    write to FILE (log: instead of standard output)\n"
    "  --append         log: add to the end of FILE (a log of the same columns)\n"
    "  --simulated-time the simulated clock, moved by the period without\n"
    "                   waiting (host build)\n"
    "options:\n"
    "  --plugin PATH    the plug-in library (default: the one of this build)\n"
    "  --plugin-image FILE\n"
    "                   the Windows plug-in FILE (build-windows/bin/Gaugelet.dll)\n"
    "                   under the CPU emulator, not a native library (host build)\n"
    "  --help, -h       this text; COMMAND --help: the command's\n";

void printUsage(std::ostream& out)
{
    out << kUsageCommands;
    if (*tools::sessionOptionsHelp())
        out << "the simulated notebook (host build):\n" << tools::sessionOptionsHelp();
}

bool isHelp(const std::string& word)
{
    return word == "--help" || word == "-h";
}

// A command line that cannot be understood.
using UsageError = tools::CommandLineError;

struct CommandLine {
    std::string plugin;
    std::string pluginImage;
    tools::SessionCommandLine session;
    bool help = false;
    std::string command; // with help: the command whose help is asked for

    bool raw = false;
    bool append = false;                // log: to the end of --output FILE
    std::vector<std::string> arguments; // call and script: after the command (and --raw)
    gaugehost::PanelOptions panel;
    gaugehost::LogOptions log;
    std::string output;
    gaugehost::PlotOptions plot;
};

long numberOption(const std::string& option, const std::string& text, long lowest, long highest)
{
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || value < lowest || value > highest)
        throw UsageError(option + " needs a whole number from " + std::to_string(lowest) + " to " +
                         std::to_string(highest) + ", not '" + text + "'");
    return value;
}

// The options of panel, log and plot, in any order.
void parseCommandOptions(CommandLine& line, const std::vector<std::string>& words)
{
    auto& panel = line.panel;
    auto& log = line.log;
    for (size_t at = 0; at < words.size(); ++at) {
        const std::string& word = words[at];
        auto value = [&]() -> const std::string& {
            if (at + 1 >= words.size())
                throw UsageError(line.command + " " + word + " needs a value");
            return words[++at];
        };
        const bool isPanel = line.command == "panel";
        const bool isLog = line.command == "log";
        const bool isPlot = line.command == "plot";
        if (word == "--interval" && (isPanel || isLog)) {
            panel.interval = log.interval = int(numberOption(word, value(), 1, 86400));
        } else if ((word == "--warn" || word == "--crit") && (isPanel || isPlot)) {
            const int degrees = int(numberOption(word, value(), -50, 200));
            (word == "--warn" ? panel.warnCelsius : panel.criticalCelsius) = degrees;
        } else if (word == "--once" && isPanel) {
            panel.once = true;
        } else if (word == "--no-color" && isPanel) {
            panel.color = false;
        } else if (word == "--count" && isLog) {
            log.count = numberOption(word, value(), 1, 1000000000);
        } else if (word == "--format" && isLog) {
            const std::string& format = value();
            if (format != "csv" && format != "jsonl")
                throw UsageError("log --format is csv or jsonl, not '" + format + "'");
            log.format =
                format == "csv" ? gaugehost::LogFormat::Csv : gaugehost::LogFormat::JsonLines;
        } else if (word == "--simulated-time" && isLog) {
            if (!tools::Session::simulated())
                throw UsageError("--simulated-time needs the simulated notebook of the host build");
            log.simulatedTime = true;
        } else if (word == "--append" && isLog) {
            line.append = true;
        } else if (word == "--output" && (isLog || isPlot)) {
            line.output = value();
        } else if (isPlot && word.rfind("--", 0) != 0 && line.plot.log.empty()) {
            line.plot.log = word;
        } else {
            throw UsageError(line.command + " does not take '" + word + "'");
        }
    }
    if (panel.warnCelsius >= panel.criticalCelsius)
        throw UsageError("--warn must be below --crit");
    if (line.append && line.output.empty())
        throw UsageError("log --append needs --output FILE");
    if (line.command == "plot") {
        if (line.plot.log.empty() || line.output.empty())
            throw UsageError("plot needs a LOG and --output FILE");
        line.plot.output = line.output;
        line.plot.warnCelsius = panel.warnCelsius;
        line.plot.criticalCelsius = panel.criticalCelsius;
    }
}

struct Command;
const Command* findCommand(const std::string& name);

CommandLine parseCommandLine(const std::vector<std::string>& words)
{
    CommandLine line;
    size_t at = 0;
    auto value = [&](const std::string& option) {
        if (at + 1 >= words.size())
            throw UsageError(option + " needs a value");
        return words[++at];
    };
    for (; at < words.size() && (words[at].rfind("--", 0) == 0 || isHelp(words[at])); ++at) {
        const std::string& option = words[at];
        if (option == "--plugin")
            line.plugin = value(option);
        else if (option == "--plugin-image")
            line.pluginImage = value(option);
        else if (tools::takeSessionOption(words, at, line.session))
            continue;
        else if (isHelp(option))
            line.help = true;
        else
            throw UsageError("unknown option " + option);
    }
    if (line.help)
        return line;
    if (!line.plugin.empty() && !line.pluginImage.empty())
        throw UsageError("--plugin and --plugin-image name two plug-ins; give one");
    tools::checkSessionOptions(line.session, "--plugin-image", !line.pluginImage.empty());
    if (at >= words.size())
        throw UsageError("no command given");
    line.command = words[at++];
    if (at < words.size() && isHelp(words[at])) {
        if (findCommand(line.command) == nullptr)
            throw UsageError("unknown command " + line.command);
        line.help = true;
        return line;
    }
    if (line.command == "call" && at < words.size() && words[at] == "--raw") {
        line.raw = true;
        ++at;
    }
    std::vector<std::string> rest(words.begin() + long(at), words.end());

    if (line.command == "info" && !rest.empty())
        throw UsageError("info takes no arguments");
    else if (line.command == "call" && rest.empty())
        throw UsageError("call needs a READER");
    else if (line.command == "script" && rest.size() > 1)
        throw UsageError("script takes one FILE (or - for standard input)");
    else if (line.command == "panel" || line.command == "log" || line.command == "plot")
        parseCommandOptions(line, rest);
    else if (findCommand(line.command) == nullptr)
        throw UsageError("unknown command " + line.command);
    if (line.command == "call" || line.command == "script")
        line.arguments = std::move(rest);
    if (const char* noColor = std::getenv("NO_COLOR"); noColor && *noColor)
        line.panel.color = false;
    line.panel.load = line.log.load = line.session.session.load;
    return line;
}

void runScript(const gaugehost::PluginLibrary& library, const std::string& file)
{
    gaugehost::ScriptRunner runner(library, std::cout);
    if (file == "-") {
        runner.run(std::cin, "<stdin>");
        return;
    }
    // Read as a stream, a line at a time: a script may be long (a generated
    // one of many calls), each of its lines is short.
    bounded::requireRegularFile(file, "script");
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw bounded::FileError("script " + file + ": cannot be opened (permission denied?)");
    runner.run(in, file);
}

void runLog(const CommandLine& line, const gaugehost::PluginLibrary& library)
{
    if (line.output.empty()) {
        gaugehost::runLog(library, line.log, std::cout, std::cerr);
        return;
    }
    gaugehost::LogOptions options = line.log;
    if (line.append)
        options.appendTo = gaugehost::existingLog(line.output);
    std::ofstream out(line.output,
                      std::ios::binary | (line.append ? std::ios::app : std::ios::trunc));
    if (!out)
        throw std::runtime_error("log --output " + line.output +
                                 ": cannot be written: " + std::strerror(errno));
    gaugehost::runLog(library, options, out, std::cerr);
}

// The commands: their --help, and how each runs. run is given the loaded
// plug-in (null for a command that needs none) and returns false when the
// command failed without an error to tell (a reader's "ERROR:" text).
struct Command {
    const char* name;
    const char* help;
    bool needsPlugin;
    bool (*run)(const CommandLine& line, const gaugehost::PluginLibrary* library);
};

constexpr Command kCommands[] = {
    {"info",
     "usage: gaugehost [OPTIONS] info\n"
     "What the host learns from the plug-in: init's readers, each reader's\n"
     "getparam text and parameters, dlltype and getinfo 0 to 6.\n",
     true,
     [](const CommandLine&, const gaugehost::PluginLibrary* library) {
         gaugehost::runInfo(*library, std::cout);
         return true;
     }},
    {"call",
     "usage: gaugehost [OPTIONS] call [--raw] READER [PARAM...]\n"
     "One instance, one call of READER with the PARAM texts (the rest take\n"
     "getparam's defaults), the text it answers; exit status 1 when it\n"
     "answers an \"ERROR:\" text. After READER every word is a parameter.\n"
     "  --raw            the answer's bytes as they are, no line break\n",
     true,
     [](const CommandLine& line, const gaugehost::PluginLibrary* library) {
         if (line.raw)
             gaugehost::useBinaryOutput();
         const std::vector<std::string> parameters(line.arguments.begin() + 1,
                                                   line.arguments.end());
         return gaugehost::runCall(*library, line.arguments[0], parameters, line.raw, std::cout);
     }},
    {"script",
     "usage: gaugehost [OPTIONS] script [FILE|-]\n"
     "Host actions (create, call, advance, set, requests, free ...) from FILE\n"
     "or standard input, one a line; see docs/gaugehost.md.\n",
     true,
     [](const CommandLine& line, const gaugehost::PluginLibrary* library) {
         runScript(*library, line.arguments.empty() ? "-" : line.arguments[0]);
         return true;
     }},
    {"panel",
     "usage: gaugehost [OPTIONS] panel [--once] [--interval S] [--warn C] [--crit C]\n"
     "                 [--no-color]\n"
     "The live monitor of the notebook; keys set the fans, which are set back\n"
     "when it ends. Exit status 1 when the driver is not loaded (--once, or\n"
     "without a terminal) or a fan could not be set back.\n"
     "  --once           one frame and out\n"
     "  --interval S     the readers' period in seconds (default: the plug-in's, 5)\n"
     "  --warn C         temperatures from C degrees Celsius warn (default 80)\n"
     "  --crit C         and from C degrees they are critical (default 95)\n"
     "  --no-color       no colour (also when NO_COLOR is set)\n",
     true,
     [](const CommandLine& line, const gaugehost::PluginLibrary* library) {
         gaugehost::runPanel(*library, line.panel, std::cout);
         return true;
     }},
    {"log",
     "usage: gaugehost [OPTIONS] log [--interval S] [--count N] [--format csv|jsonl]\n"
     "                 [--output FILE [--append]] [--simulated-time]\n"
     "One record per period (time, each reader's text and value).\n"
     "  --interval S     seconds between records (default: the plug-in's, 5)\n"
     "  --count N        N records, then out (default: until Ctrl-C)\n"
     "  --format F       csv (default) or jsonl\n"
     "  --output FILE    to FILE instead of standard output\n"
     "  --append         to the end of FILE, a log of the same columns\n"
     "  --simulated-time the simulated clock, moved without waiting (host build)\n",
     true,
     [](const CommandLine& line, const gaugehost::PluginLibrary* library) {
         runLog(line, *library);
         return true;
     }},
    {"plot",
     "usage: gaugehost plot LOG --output FILE [--warn C] [--crit C]\n"
     "A log of gaugehost log drawn as an SVG chart; lines cut short are left\n"
     "out with a warning.\n"
     "  --output FILE    the SVG file\n"
     "  --warn C, --crit C  the limits drawn (default 80 and 95)\n",
     false,
     [](const CommandLine& line, const gaugehost::PluginLibrary*) {
         gaugehost::runPlot(line.plot, std::cerr);
         return true;
     }},
};

const Command* findCommand(const std::string& name)
{
    for (const Command& command : kCommands)
        if (name == command.name)
            return &command;
    return nullptr;
}

// Brings up the session and the plug-in and runs the command. A failure is
// told while both are still up, so its message comes before the trace of
// their going down. Gives the exit status.
int run(const CommandLine& line)
{
    const tools::SessionOptions options = line.session.sessionOptions();
    std::optional<tools::Session> session;
    std::optional<gaugehost::PluginLibrary> library;
    try {
        const Command& command = *findCommand(line.command);
        if (!command.needsPlugin) // a file to a file: no notebook, no plug-in
            return command.run(line, nullptr) ? 0 : 1;
        session.emplace(options);
        if (line.command == "script" || line.log.simulatedTime)
            gaugehost::startScriptClock(); // before the plug-in sees any time
        if (!line.pluginImage.empty())
            library.emplace(
                line.pluginImage,
                gaugehost::loadPluginImage(line.pluginImage, line.session.session.imageBase));
        else
            library.emplace(line.plugin.empty() ? gaugehost::defaultPluginPath() : line.plugin);
        return command.run(line, &*library) ? 0 : 1;
    } catch (const std::exception& error) {
        std::cout.flush();
        std::cerr << "gaugehost: " << tools::escapeControlBytes(error.what()) << "\n";
        return dynamic_cast<const tools::InputFileError*>(&error) ? 2 : 1;
    }
}

} // namespace

int main(int argc, char** argv)
{
    // "°" as itself in a Windows console, from the first line to the last.
    const tools::Utf8ConsoleOutput console;
    CommandLine line;
    try {
        line = parseCommandLine(std::vector<std::string>(argv + 1, argv + argc));
    } catch (const UsageError& error) {
        std::cerr << "gaugehost: " << tools::escapeControlBytes(error.what()) << "\n";
        printUsage(std::cerr);
        return 2;
    }
    if (line.help) {
        if (const Command* command = findCommand(line.command))
            std::cout << command->help;
        else
            printUsage(std::cout);
        return 0;
    }
    return run(line);
}
