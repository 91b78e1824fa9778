// SPDX-License-Identifier: MIT
// main.cpp
//
// zephrctl, the command-line client of the zephr driver: reads the command
// line, brings up the notebook (the simulated one in the host build), opens
// the device and runs one command.
#include "tools/common/control_bytes.h"
#include "tools/common/console_output.h"
#include "tools/common/session.h"
#include "tools/common/session_options.h"
#include "tools/zephrctl/commands.h"
#include "tools/zephrctl/fan_control_config.h"
#include "tools/zephrctl/standalone_commands.h"

#include <cstdlib>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

void printHelp(std::ostream& out)
{
    out << "usage: zephrctl [OPTIONS] COMMAND [ARGUMENTS]\n"
           "\n"
           "Sends requests to the zephr driver's device \\\\.\\ZephrDev and prints the answers.\n"
           "\n"
           "Commands:\n";
    auto line = [&out](const char* name, const char* arguments, const char* summary) {
        std::string head = std::string(name) + (arguments[0] ? std::string(" ") + arguments : "");
        out << "  " << head;
        if (head.size() < 30) {
            out << std::string(30 - head.size(), ' ');
        } else {
            out << "\n" << std::string(32, ' ');
        }
        out << summary << "\n";
    };
    for (const auto& command : zephrctl::commands()) {
        line(command.name, command.arguments, command.summary);
    }
    for (const auto& command : zephrctl::standaloneCommands()) {
        line(command.name, command.arguments, command.summary);
    }
    out << "\n"
           "Options:\n";
    out << tools::sessionOptionsHelp();
    out << "  --help, -h        show this help (COMMAND --help: the command's)\n"
           "\n"
           "Exit status: 0 answered, 1 the driver answered that it has no value,\n"
           "2 wrong command line, configuration or machine file, 3 no device, a refused\n"
           "request, or no notebook.\n";
}

// More than the usage line, for the commands with options.
std::string commandDetails(const std::string& name)
{
    std::ostringstream interval;
    interval << "(" << zephrctl::kShortestInterval << " to " << zephrctl::kLongestInterval << ")";
    if (name == "fan-control")
        return "Options:\n"
               "  --config FILE     the configuration (JSON, // comments allowed);\n"
               "                    without it the defaults\n"
               "  --interval S      seconds between readings " +
               interval.str() +
               "\n"
               "  --once            one reading and the settings it calls for, then out\n"
               "  --count N         N readings, then stop as at Ctrl-C (fans left High)\n"
               "  --simulated-time  the simulated notebook's clock, moved without waiting;\n"
               "                    every reading logged (host build; needs --count)\n"
               "  --print-default-config\n"
               "                    the defaults as a configuration file\n"
               "Ctrl-C stops the loop and leaves every fan High.\n";
    if (name == "ioctl")
        return "CODE and N: decimal, or hexadecimal after 0x.\n"
               "  --input HEX       the input bytes (\"01 00 02 00\")\n"
               "  --in-len N        the input length (the bytes padded with zeros)\n"
               "  --out-len N       the output buffer's length (default: the code's)\n";
    if (name == "set-fan-state")
        return "FAN: 0 to " + std::to_string(ZEPHR_MAX_FAN) +
               ", the fans as the BIOS numbers them.\n";
    return "";
}

// zephrctl COMMAND --help: its usage, what it does, its options.
void printCommandHelp(std::ostream& out, const char* name, const char* arguments,
                      const char* summary)
{
    out << "usage: zephrctl [OPTIONS] " << name << (arguments[0] ? " " : "") << arguments << "\n"
        << "\n"
        << summary << "\n"
        << commandDetails(name) << "Exit status as for every command: zephrctl --help.\n";
}

int usageError(const std::string& message)
{
    std::cerr << "zephrctl: " << tools::escapeControlBytes(message) << "\n"
              << "Try 'zephrctl --help' for more information.\n";
    return zephrctl::kExitUsage;
}

} // namespace

int main(int argc, char** argv)
{
    // "°" as itself in a Windows console, from the first line to the last.
    const tools::Utf8ConsoleOutput console;
    std::vector<std::string> args(argv + 1, argv + argc);
    tools::SessionCommandLine session;
    size_t next = 0;
    try {
        for (; next < args.size() && (args[next].rfind("--", 0) == 0 || args[next] == "-h");
             ++next) {
            const std::string& option = args[next];
            if (option == "--help" || option == "-h") {
                printHelp(std::cout);
                return zephrctl::kExitOk;
            }
            if (!tools::takeSessionOption(args, next, session))
                return usageError("unknown option '" + option + "'");
        }
        tools::checkSessionOptions(session);
    } catch (const tools::CommandLineError& error) {
        return usageError(error.what());
    }
    const tools::SessionOptions options = session.sessionOptions();
    if (next == args.size()) {
        return usageError("no command given");
    }
    const zephrctl::StandaloneCommand* standalone = zephrctl::findStandaloneCommand(args[next]);
    const zephrctl::Command* command = zephrctl::findCommand(args[next]);
    if (command == nullptr && standalone == nullptr) {
        return usageError("unknown command '" + args[next] + "'");
    }
    std::vector<std::string> commandArgs(args.begin() + long(next) + 1, args.end());
    if (!commandArgs.empty() && (commandArgs[0] == "--help" || commandArgs[0] == "-h")) {
        if (command != nullptr)
            printCommandHelp(std::cout, command->name, command->arguments, command->summary);
        else
            printCommandHelp(std::cout, standalone->name, standalone->arguments,
                             standalone->summary);
        return zephrctl::kExitOk;
    }
    if (command != nullptr &&
        (command->argumentCount == SIZE_MAX ? commandArgs.empty()
                                            : commandArgs.size() != command->argumentCount)) {
        return usageError(std::string("usage: zephrctl ") + command->name +
                          (command->arguments[0] ? std::string(" ") + command->arguments : ""));
    }

    try {
        if (standalone != nullptr) {
            return standalone->run(options, commandArgs, std::cout);
        }
        tools::Session session(options);
        zephrctl::DeviceClient device;
        return command->run(device, commandArgs, std::cout);
    } catch (const zephrctl::CommandError& e) {
        std::cerr << "zephrctl: " << tools::escapeControlBytes(e.what()) << "\n";
        return e.exitStatus();
    } catch (const tools::InputFileError& e) {
        std::cerr << "zephrctl: " << tools::escapeControlBytes(e.what()) << "\n";
        return zephrctl::kExitUsage;
    } catch (const std::exception& e) {
        std::cerr << "zephrctl: " << tools::escapeControlBytes(e.what()) << "\n";
        return zephrctl::kExitRefused;
    }
}
