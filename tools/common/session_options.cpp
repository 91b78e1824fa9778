// SPDX-License-Identifier: MIT
// session_options.cpp
//
// Reading the session options of a tool's command line.
#include "tools/common/session_options.h"

#include "tools/common/living_notebook.h"

#include <cstdlib>
#include <iostream>

namespace tools {

namespace {

const std::string& valueOf(const std::vector<std::string>& words, size_t& at, const char* what)
{
    if (at + 1 >= words.size())
        throw CommandLineError(words[at] + " needs " + what);
    return words[++at];
}

int loadPercent(const std::string& text)
{
    char* end = nullptr;
    const long percent = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || percent < 0 || percent > kMaxLoadPercent)
        throw CommandLineError("--load '" + text + "' is no whole percentage from 0 to " +
                               std::to_string(kMaxLoadPercent));
    return int(percent);
}

} // namespace

bool takeSessionOption(const std::vector<std::string>& words, size_t& at, SessionCommandLine& line)
{
    const std::string& option = words[at];
    if (!Session::simulated())
        return false;
    if (option == "--machine") {
        line.session.machineFile = valueOf(words, at, "a file");
    } else if (option == "--no-driver") {
        line.session.loadDriver = false;
    } else if (option == "--driver-image") {
        line.session.driverImage = valueOf(words, at, "a file");
    } else if (option == "--image-base") {
        const std::string& text = valueOf(words, at, "an address");
        line.session.imageBase = parseImageBase(text);
        if (!line.session.imageBase)
            throw CommandLineError("--image-base needs a 32-bit address (0x800000), not '" + text +
                                   "'");
    } else if (option == "--trace") {
        line.trace = true;
    } else if (option == "--load") {
        line.session.load = loadPercent(valueOf(words, at, "a percentage"));
    } else {
        return false;
    }
    return true;
}

SessionOptions SessionCommandLine::sessionOptions() const
{
    SessionOptions options = session;
    if (trace)
        options.trace = &std::cerr;
    return options;
}

void checkSessionOptions(const SessionCommandLine& line, const char* otherImageOption,
                         bool otherImageGiven)
{
    if (line.session.imageBase && !line.session.driverImage && !otherImageGiven)
        throw CommandLineError(
            std::string("--image-base moves an emulated image: give --driver-image FILE") +
            (otherImageOption ? std::string(" or ") + otherImageOption + " FILE" : ""));
}

const char* sessionOptionsHelp()
{
    if (!Session::simulated())
        return "";
    return "  --machine FILE    simulate the notebook a machine file describes\n"
           "                    (default: the built-in Inspiron 8600)\n"
           "  --no-driver       load no driver, as on a machine where it was not started\n"
           "  --driver-image FILE\n"
           "                    run the Windows driver image FILE (build-windows/bin/\n"
           "                    zephr.sys, or the x64 one in build-windows-x64/bin)\n"
           "                    under the CPU emulator instead of the host-build driver\n"
           "  --image-base ADDR load the emulated images at ADDR (0x800000), moved with\n"
           "                    their base relocations, not at their own image base\n"
           "  --trace           write every hardware access and driver message to\n"
           "                    standard error\n"
           "  --load PERCENT    the simulated notebook's steady load, 0 to 100 (default:\n"
           "                    a load that comes and goes)\n";
}

} // namespace tools
