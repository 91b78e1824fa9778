// SPDX-License-Identifier: MIT
// main.cpp
//
// zephr-agent: the command line, and the run itself: the session (the
// simulated notebook in the host build), the poller and the HTTP endpoint on
// one io_context on the main thread (or the service's), and the stop on
// Ctrl-C or the service's stop, after which the fan control leaves every fan
// High.
#include "tools/agent/agent_service.h"
#include "tools/agent/http_endpoint.h"
#include "tools/agent/poller.h"

#include "common/bounded_file.h"
#include "tools/common/console_output.h"
#include "tools/common/control_bytes.h"
#include "tools/common/session.h"
#include "tools/common/session_options.h"
#include "tools/zephrctl/commands.h"
#include "tools/zephrctl/fan_control_config.h"
#include "tools/zephrctl/fan_control_lock.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/steady_timer.hpp>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <functional>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace {

constexpr int kExitOk = 0;
constexpr int kExitUsage = 2;
constexpr int kExitFailed = 3;
constexpr int kDefaultPort = 9127;
constexpr bounded::FileKind kConfigFile{"fan-control configuration", 64 * 1024};

using UsageError = tools::CommandLineError;

struct RunOptions {
    tools::SessionCommandLine session;
    std::string host = "127.0.0.1";
    int port = kDefaultPort;
    double interval = 5;
    bool fanControl = false;
    std::optional<std::string> configFile;
    std::optional<uint64_t> count;
};

void printHelp(std::ostream& out)
{
    out << "usage: zephr-agent [OPTIONS] COMMAND\n"
           "\n"
           "Polls the notebook through the zephr driver, runs the fan control when asked, and\n"
           "serves the readings over HTTP: GET /metrics (Prometheus) and GET /data.json.\n"
           "\n"
           "Commands:\n"
           "  run               poll and serve in the foreground until Ctrl-C\n"
           "  install [OPTIONS] install the agent as a Windows service with these options\n"
           "  uninstall         stop and remove the service (Windows)\n"
           "  start             start the service (Windows)\n"
           "  stop              stop the service; it leaves every fan High (Windows)\n"
           "  status            whether the service runs, and where its log is (Windows)\n"
           "  service [OPTIONS] what the service runs: only the Service Control Manager\n"
           "                    starts it (Windows)\n"
           "\n"
           "Options of run and install:\n"
           "  --listen ADDR:PORT  where to serve (default 127.0.0.1:"
        << kDefaultPort
        << "; an address other than\n"
           "                    127.0.0.1 serves other machines too: no authentication, no TLS)\n"
           "  --interval S      seconds between polls ("
        << zephrctl::kShortestInterval << " to " << zephrctl::kLongestInterval
        << ", default 5)\n"
           "  --fan-control     set the fans by the CPU temperature, as zephrctl fan-control\n"
           "  --config FILE     the fan control's configuration (zephrctl fan-control's)\n"
           "  --count N         N polls, then stop as at Ctrl-C\n";
    out << tools::sessionOptionsHelp();
    out << "  --help, -h        show this help\n"
           "\n"
           "Exit status: 0 stopped as asked, 2 wrong command line or configuration, 3 the\n"
           "address cannot be served, another fan control runs, or a service command failed.\n";
}

double parseSeconds(const std::string& text)
{
    char* end = nullptr;
    const double seconds = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' ||
        !(seconds >= zephrctl::kShortestInterval && seconds <= zephrctl::kLongestInterval)) {
        std::ostringstream message;
        message << "--interval '" << text << "' is no number of seconds from "
                << zephrctl::kShortestInterval << " to " << zephrctl::kLongestInterval;
        throw UsageError(message.str());
    }
    return seconds;
}

void parseListen(const std::string& text, RunOptions& options)
{
    const size_t colon = text.rfind(':');
    char* end = nullptr;
    const long port =
        colon == std::string::npos ? -1 : std::strtol(text.c_str() + colon + 1, &end, 10);
    if (colon == 0 || colon == std::string::npos || end == text.c_str() + colon + 1 ||
        *end != '\0' || port < 0 || port > 65535)
        throw UsageError("--listen '" + text +
                         "' is no ADDR:PORT (127.0.0.1:" + std::to_string(kDefaultPort) + ")");
    options.host = text.substr(0, colon);
    options.port = int(port);
}

RunOptions parseRunOptions(const std::vector<std::string>& args)
{
    RunOptions options;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& option = args[i];
        auto value = [&]() -> const std::string& {
            if (i + 1 == args.size())
                throw UsageError(option + " needs a value");
            return args[++i];
        };
        if (option == "--listen") {
            parseListen(value(), options);
        } else if (option == "--interval") {
            options.interval = parseSeconds(value());
        } else if (option == "--fan-control") {
            options.fanControl = true;
        } else if (option == "--config") {
            options.configFile = value();
        } else if (option == "--count") {
            const std::string& text = value();
            char* end = nullptr;
            const long long count = std::strtoll(text.c_str(), &end, 10);
            if (text.empty() || *end != '\0' || count < 1)
                throw UsageError("--count '" + text + "' is no number of polls");
            options.count = uint64_t(count);
        } else if (tools::takeSessionOption(args, i, options.session)) {
            continue;
        } else {
            throw UsageError("unknown option '" + option + "'");
        }
    }
    if (options.configFile && !options.fanControl)
        throw UsageError("--config is the fan control's: give --fan-control too");
    tools::checkSessionOptions(options.session);
    return options;
}

zephrctl::FanControlConfig loadFanControl(const RunOptions& options)
{
    zephrctl::FanControlConfig config = zephrctl::defaultFanControlConfig();
    if (options.configFile) {
        try {
            config = zephrctl::parseFanControlConfig(
                bounded::readFile(*options.configFile, kConfigFile), config, *options.configFile);
        } catch (const bounded::FileError& e) {
            throw UsageError(e.what());
        } catch (const zephrctl::ConfigError& e) {
            throw UsageError(e.what());
        }
    }
    return config;
}

// The agent's work, on one thread: the polls, timed on the io_context, and
// the HTTP endpoint's handlers between them, until stop() or count polls.
// stop() may come from any thread, before run() too.
class AgentRun {
  public:
    // stamped: each line begins with the time (UTC), as in the service's log.
    explicit AgentRun(std::ostream& log, bool stamped = false) : log_(log), stamped_(stamped) {}

    // running is called once the agent serves.
    int run(
        const RunOptions& options, const std::function<void()>& running = [] {})
    {
        agent::PollerOptions pollerOptions;
        pollerOptions.interval = options.interval;
        if (options.fanControl)
            pollerOptions.fanControl = loadFanControl(options);
        // One fan control at a time, be it zephrctl's or an agent's.
        const zephrctl::FanControlLock onlyOne;
        const tools::Session session(options.session.sessionOptions());
        agent::Poller poller(pollerOptions, [this](const std::string& line) { say(line); });
        {
            agent::HttpEndpoint http(io_, [&poller] { return poller.snapshot(); });
            const int port = http.start(options.host, options.port);
            say("serving http://" + options.host + ":" + std::to_string(port) +
                "/metrics and /data.json" +
                (options.host == "127.0.0.1" || options.host == "localhost"
                     ? " (this machine only)"
                     : " (other machines too: no authentication, no TLS)"));
            say(std::string("polling every ") + secondsText(options.interval) + " s" +
                (options.fanControl ? ", fan control on" : ", fan control off"));
            running();
            boost::asio::steady_timer timer(io_);
            const auto period = std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                std::chrono::duration<double>(options.interval));
            uint64_t polls = 0;
            std::function<void()> poll = [&] {
                poller.pollOnce();
                if (options.count && ++polls == *options.count) {
                    io_.stop();
                    return;
                }
                timer.expires_after(period);
                timer.async_wait([&](boost::system::error_code error) {
                    if (!error)
                        poll();
                });
            };
            boost::asio::post(io_, poll);
            io_.run();
        }
        poller.finish();
        say("stopped");
        return kExitOk;
    }

    void stop()
    {
        io_.stop();
    }

  private:
    static std::string secondsText(double seconds)
    {
        std::ostringstream text;
        text << seconds;
        return text.str();
    }
    void say(const std::string& line)
    {
        if (stamped_) {
            const std::time_t now = std::time(nullptr);
            char time[32] = "";
            std::strftime(time, sizeof time, "%Y-%m-%d %H:%M:%S ", std::gmtime(&now));
            log_ << time;
        }
        log_ << "zephr-agent: " << tools::escapeControlBytes(line) << std::endl;
    }

    std::ostream& log_;
    const bool stamped_;
    boost::asio::io_context io_;
};

int usageError(const std::string& message, std::ostream& errors = std::cerr)
{
    errors << "zephr-agent: " << tools::escapeControlBytes(message) << "\n"
           << "Try 'zephr-agent --help' for more information.\n";
    return kExitUsage;
}

// work's exit status, or the one of the error it threw, said on errors.
int reportingErrors(std::ostream& errors, const std::function<int()>& work)
{
    try {
        return work();
    } catch (const UsageError& e) {
        return usageError(e.what(), errors);
    } catch (const tools::InputFileError& e) {
        errors << "zephr-agent: " << tools::escapeControlBytes(e.what()) << std::endl;
        return kExitUsage;
    } catch (const zephrctl::CommandError& e) {
        errors << "zephr-agent: " << tools::escapeControlBytes(e.what()) << std::endl;
        return e.exitStatus();
    } catch (const std::exception& e) {
        errors << "zephr-agent: " << tools::escapeControlBytes(e.what()) << std::endl;
        return kExitFailed;
    }
}

} // namespace

int main(int argc, char** argv)
{
    const tools::Utf8ConsoleOutput console;
    const std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty())
        return usageError("no command given");
    const std::string command = args[0];
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" ||
        (!rest.empty() && (rest[0] == "--help" || rest[0] == "-h"))) {
        printHelp(std::cout);
        return kExitOk;
    }
    if (command == "service") {
        // Started by the Service Control Manager: the errors go to the log.
        std::ofstream serviceLog;
        AgentRun service(serviceLog, true);
        bool ranAsService = false;
        const int status = reportingErrors(std::cerr, [&] {
            agent::ServiceBody body;
            body.run = [&](const std::function<void()>& running) {
                serviceLog.open(agent::serviceLogPath(), std::ios::app);
                return reportingErrors(serviceLog,
                                       [&] { return service.run(parseRunOptions(rest), running); });
            };
            body.stop = [&] { service.stop(); };
            ranAsService = agent::runAsService(std::move(body));
            return kExitOk;
        });
        if (status != kExitOk || ranAsService)
            return status;
        std::cerr << "zephr-agent: service: only the Service Control Manager starts the service "
                     "(zephr-agent install, then zephr-agent start); zephr-agent run runs the "
                     "agent here\n";
        return kExitFailed;
    }
    return reportingErrors(std::cerr, [&] {
        if (command == "run") {
            const RunOptions options = parseRunOptions(rest);
            AgentRun agent(std::cout);
            const agent::StopRequests stopRequests([&agent] { agent.stop(); });
            return agent.run(options);
        }
        if (command == "install") {
            parseRunOptions(rest); // refused now, not when the service starts
            return agent::runServiceCommand(command, rest, std::cout);
        }
        if (command == "uninstall" || command == "start" || command == "stop" ||
            command == "status") {
            if (!rest.empty())
                return usageError(command + " takes no arguments", std::cerr);
            return agent::runServiceCommand(command, rest, std::cout);
        }
        return usageError("unknown command '" + command + "'", std::cerr);
    });
}
