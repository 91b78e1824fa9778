// SPDX-License-Identifier: MIT
// fan_control_command.cpp
//
// `zephrctl fan-control`: reads the options and the configuration, brings
// up the session (the simulated notebook in the host build), and runs the
// loop on the real clock with every change logged to standard output.
#include "tools/common/living_notebook.h"
#include "tools/zephrctl/commands.h"
#include "tools/zephrctl/device_fan_hardware.h"
#include "tools/zephrctl/fan_control_clock.h"
#include "tools/zephrctl/fan_control_lock.h"
#include "tools/zephrctl/standalone_commands.h"

#include "common/bounded_file.h"

#include <cstdlib>
#include <cstring>
#include <ctime>
#include <cstdio>
#include <memory>
#include <optional>
#include <sstream>

namespace zephrctl {

namespace {

// A configuration is a few hundred bytes.
constexpr bounded::FileKind kConfigFile{"fan-control configuration", 64 * 1024};

// Seconds as a person writes them: "0.5", "3600".
std::string secondsText(double seconds)
{
    std::ostringstream text;
    text << seconds;
    return text.str();
}

struct FanControlOptions {
    std::optional<std::string> configFile;
    std::optional<double> interval;
    bool once = false;
    bool printDefault = false;
    bool simulatedTime = false;
    std::optional<long> count; // readings, then stop as at Ctrl-C
};

FanControlOptions parseOptions(const std::vector<std::string>& args)
{
    FanControlOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 >= args.size())
                throw CommandError("fan-control: " + option + " needs a value", kExitUsage);
            return args[++i];
        };
        if (option == "--config") {
            options.configFile = value();
        } else if (option == "--interval") {
            const std::string& text = value();
            char* end = nullptr;
            double seconds = std::strtod(text.c_str(), &end);
            if (text.empty() || *end != '\0' ||
                !(seconds >= kShortestInterval && seconds <= kLongestInterval))
                throw CommandError(
                    "fan-control: --interval '" + text + "' is no number of seconds from " +
                        secondsText(kShortestInterval) + " to " + secondsText(kLongestInterval),
                    kExitUsage);
            options.interval = seconds;
        } else if (option == "--count") {
            const std::string& text = value();
            char* end = nullptr;
            const long readings = std::strtol(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || readings < 1 || readings > 1000000)
                throw CommandError("fan-control: --count '" + text +
                                       "' is no number of readings from 1 to 1000000",
                                   kExitUsage);
            options.count = readings;
        } else if (option == "--simulated-time" && tools::Session::simulated()) {
            options.simulatedTime = true;
        } else if (option == "--once") {
            options.once = true;
        } else if (option == "--print-default-config") {
            options.printDefault = true;
        } else {
            throw CommandError("fan-control: unknown option '" + option + "'", kExitUsage);
        }
    }
    if (options.simulatedTime && !options.count)
        throw CommandError("fan-control: --simulated-time needs --count N (it does not wait, so "
                           "it would not end)",
                           kExitUsage);
    return options;
}

FanControlConfig loadConfig(const FanControlOptions& options)
{
    FanControlConfig config = defaultFanControlConfig();
    if (options.configFile) {
        try {
            const std::string text = bounded::readFile(*options.configFile, kConfigFile);
            config = parseFanControlConfig(text, config, *options.configFile);
        } catch (const bounded::FileError& e) {
            throw CommandError(std::string("fan-control: ") + e.what(), kExitUsage);
        } catch (const ConfigError& e) {
            throw CommandError(std::string("fan-control: ") + e.what(), kExitUsage);
        }
    }
    if (options.interval)
        config.interval = *options.interval;
    return config;
}

// "10:02:15 " before every line the loop logs.
std::string timeOfDay()
{
    std::time_t now = std::time(nullptr);
    char text[16] = "";
    if (const std::tm* local = std::localtime(&now))
        std::strftime(text, sizeof text, "%H:%M:%S ", local);
    return text;
}

// "00:01:05 ": the time on the simulated clock, which starts at midnight.
std::string simulatedTimeOfDay(double seconds)
{
    const long whole = long(seconds);
    char text[16];
    std::snprintf(text, sizeof text, "%02ld:%02ld:%02ld ", whole / 3600 % 24, whole / 60 % 60,
                  whole % 60);
    return text;
}

} // namespace

int runFanControlCommand(const tools::SessionOptions& sessionOptions,
                         const std::vector<std::string>& args, std::ostream& out)
{
    FanControlOptions options = parseOptions(args);
    if (options.printDefault) {
        out << formatFanControlConfig(defaultFanControlConfig());
        return kExitOk;
    }
    FanControlConfig config = loadConfig(options);
    // Two loops would set the same fans by turns.
    const FanControlLock onlyOne;

    tools::Session session(sessionOptions);
    DeviceFanHardware hardware;
    // One reading needs the device; the loop waits for a driver that is
    // not there yet, with every fan it can reach at High.
    if (options.once && !hardware.open())
        throw CommandError(hardware.problem(), kExitRefused);

    // A count of readings ends the loop as a stop does.
    const double stopAfter =
        options.count ? config.interval * double(*options.count - 1) + config.interval / 2 : 1e300;
    std::optional<SystemLoopClock> systemClock;
    std::unique_ptr<LoopClock> simulatedClock;
    if (options.simulatedTime)
        simulatedClock = simulatedLoopClock(stopAfter);
    else
        systemClock.emplace();
    LoopClock& clock = simulatedClock ? *simulatedClock : *systemClock;
    // The notebook warms and cools as the loop sets the fans (host build).
    tools::LivingNotebook notebook(sessionOptions.load);

    FanController::Log log;
    if (options.once) {
        log = [&out](const std::string& line) { out << line << "\n"; };
    } else if (options.simulatedTime) {
        log = [&out, &clock](const std::string& line) {
            out << simulatedTimeOfDay(clock.now()) << line << "\n";
        };
    } else {
        log = [&out](const std::string& line) { out << timeOfDay() << line << std::endl; };
    }
    if (!options.once) {
        std::ostringstream start;
        start << "fan-control: CPU sensor " << config.sensor << ", " << config.fans.size()
              << " fan(s), every " << config.interval << " s";
        if (tools::LivingNotebook::loadAdjustable())
            start << "; the simulated notebook's load " << tools::loadText(sessionOptions.load);
        start << (options.count ? "; " + std::to_string(*options.count) + " readings" : "")
              << "; Ctrl-C stops and leaves the fans High";
        log(start.str());
    }
    const bool logReadings = options.simulatedTime;
    int status = runFanControl(config, hardware, clock, log, options.once, logReadings);
    if (systemClock)
        systemClock->finished();
    return status;
}

} // namespace zephrctl
