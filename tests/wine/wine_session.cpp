// SPDX-License-Identifier: MIT
// wine_session.cpp
//
// The session's batch file and the reading of Wine's debug output.
#include "wine/wine_session.h"

#include <cctype>
#include <sstream>
#include <stdexcept>

namespace wine_test {

namespace {

// The zephr device's control codes all begin with its device type 0x9C40.
const char* const zephrCodePrefix = "ioctl 9c40";

// Wine's debug lines: "0124:warn:debugstr:..." or "0128:trace:ntoskrnl:...".
bool isDebugChannelLine(const std::string& line)
{
    size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    for (size_t i = 0; i < colon; ++i)
        if (!std::isxdigit(static_cast<unsigned char>(line[i])))
            return false;
    for (const char* level : {"fixme:", "err:", "warn:", "trace:"})
        if (line.compare(colon + 1, std::char_traits<char>::length(level), level) == 0)
            return true;
    return false;
}

// "... ioctl 9c40a440 device 00726108 file 00727448 in_size 4 out_size 4"
// becomes "ioctl 9c40a440 in 4 out 4".
std::string requestEvent(const std::string& line, size_t start)
{
    std::istringstream words(line.substr(start));
    std::string word, code, in = "?", out = "?";
    words >> word >> code;
    while (words >> word) {
        if (word == "in_size")
            words >> in;
        else if (word == "out_size")
            words >> out;
    }
    return "ioctl " + code + " in " + in + " out " + out;
}

} // namespace

const StepResult& SessionResult::step(const std::string& name) const
{
    auto found = steps.find(name);
    if (found == steps.end())
        throw std::out_of_range("the session has no result of step '" + name +
                                "' (it did not run, or cmd stopped before it)");
    return found->second;
}

std::string sessionBatch(const std::vector<SessionStep>& steps, const std::string& folder)
{
    std::string batch = "@echo off\r\n";
    batch += "cd /d " + folder + "\r\n";
    batch += "mkdir " + folder + "\\out\r\n";
    for (const SessionStep& step : steps) {
        std::string out = folder + "\\out\\" + step.name;
        batch += step.commandLine + " > " + out + ".txt 2>&1\r\n";
        batch += "echo %ERRORLEVEL% > " + out + ".rc\r\n";
    }
    return batch;
}

std::vector<std::string> driverEvents(const std::string& wineDebugOutput)
{
    std::vector<std::string> events;
    std::istringstream lines(wineDebugOutput);
    std::string line;
    while (std::getline(lines, line)) {
        if (!isDebugChannelLine(line))
            continue;
        size_t message = line.find("Zephr: ");
        size_t request = line.find(zephrCodePrefix);
        if (line.find(":debugstr:vDbgPrint") != std::string::npos && message != std::string::npos)
            events.push_back(line.substr(message));
        else if (line.find(":ntoskrnl:dispatch_ioctl") != std::string::npos &&
                 request != std::string::npos)
            events.push_back(requestEvent(line, request));
    }
    return events;
}

std::string wineMessages(const std::string& wineDebugOutput)
{
    std::string messages;
    std::istringstream lines(wineDebugOutput);
    std::string line;
    while (std::getline(lines, line))
        if (!line.empty() && !isDebugChannelLine(line))
            messages += line + "\n";
    return messages;
}

std::string unixLines(const std::string& windowsText)
{
    std::string text;
    for (size_t i = 0; i < windowsText.size(); ++i)
        if (!(windowsText[i] == '\r' && i + 1 < windowsText.size() && windowsText[i + 1] == '\n'))
            text += windowsText[i];
    return text;
}

} // namespace wine_test
