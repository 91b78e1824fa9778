// SPDX-License-Identifier: MIT
// agent_service_test.cpp
//
// zephr-agent.exe as a Windows service under Wine, on the test-hardware
// driver installed under the zephr driver's service name: installed with
// fan control and a loopback port, started through the Service Control
// Manager, scraped over Wine's (the host's) sockets from this process while
// the session waits, stopped, after which the driver holds every fan High
// and the service's log says so.
#include "driver/primitives/testhw_notebook.h"
#include "support/loopback_port.h"
#include "wine/bounded_process.h"
#include "wine/wine_prefix.h"
#include "wine/wine_suite.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <thread>

namespace wine_test {
namespace {

using namespace std::chrono_literals;

// The session step that waits for the scrape: until the test writes the
// file scraped (or a minute passes, for a test that failed before),
// ping's one-second pause between echoes being the batch file's sleep.
const char* const kWaitBatch = "@echo off\r\n"
                               "set waited=0\r\n"
                               ":wait\r\n"
                               "if exist scraped exit /b 0\r\n"
                               "set /a waited+=1\r\n"
                               "if %waited% geq 60 exit /b 1\r\n"
                               "ping -n 2 127.0.0.1 > nul\r\n"
                               "goto wait\r\n";

// One HTTP/1.0 GET of path on the loopback port: the whole answer, or
// nothing when no one answers within a few seconds.
std::string httpGet(int port, const std::string& path)
{
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    timeval limit{5, 0};
    setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    std::string answer;
    if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
        const std::string request = "GET " + path + " HTTP/1.0\r\n\r\n";
        if (send(fd, request.data(), request.size(), MSG_NOSIGNAL) == ssize_t(request.size())) {
            char buffer[4096];
            for (ssize_t got; (got = recv(fd, buffer, sizeof buffer, 0)) > 0;)
                answer.append(buffer, size_t(got));
        }
    }
    close(fd);
    return answer;
}

class WineAgentService : public WinePrefixTest {
  protected:
    void SetUp() override
    {
        WinePrefixTest::SetUp();
        if (IsSkipped())
            return;
        // The test hardware answers for the zephr driver, under its name.
        prefix().installKernelService("zephr", binary("zephr-testhw.sys"));
        for (const char* program : {"zephr-agent.exe", "zephrctl.exe"})
            prefix().addProgram(binary(program));
        std::ofstream(prefix().programFile("wait-for-scrape.cmd"), std::ios::binary) << kWaitBatch;
    }
};
ZEPHR_WINE_ON_BOTH(WineAgentService);

TEST_P(WineAgentService, ServesTheReadingsAndLeavesTheFansHighWhenStopped)
{
    const int port = tool_test::freeLoopbackPort();
    const std::string served = "127.0.0.1:" + std::to_string(port);
    // A port this process listens on, for a start that fails.
    const int busy = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(busy, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    ASSERT_EQ(listen(busy, 1), 0);
    socklen_t length = sizeof address;
    getsockname(busy, reinterpret_cast<sockaddr*>(&address), &length);
    const std::string busyAddress = "127.0.0.1:" + std::to_string(ntohs(address.sin_port));
    SessionResult session;
    std::thread wine([&] {
        session = prefix().runSession({
            {"driver-start", "net start zephr"},
            {"install", "zephr-agent.exe install --fan-control --interval 1 --listen " + served},
            {"install-again", "zephr-agent.exe install"},
            {"start", "zephr-agent.exe start"},
            {"status", "zephr-agent.exe status"},
            {"from-console", "zephr-agent.exe service"},
            {"wait", "call wait-for-scrape.cmd"},
            {"stop", "zephr-agent.exe stop"},
            {"fan0", "zephrctl.exe fan-state 0"},
            {"fan1", "zephrctl.exe fan-state 1"},
            {"uninstall", "zephr-agent.exe uninstall"},
            {"install-busy", "zephr-agent.exe install --listen " + busyAddress},
            {"start-busy", "zephr-agent.exe start"},
            {"uninstall-busy", "zephr-agent.exe uninstall"},
            {"driver-stop", "net stop zephr"},
        });
    });
    // Scraped until a poll has reached the driver (the service polls once
    // a second); the session goes on when the file is there.
    std::string metrics;
    for (auto end = std::chrono::steady_clock::now() + 90s;
         std::chrono::steady_clock::now() < end &&
         metrics.find("\nzephr_up 1\n") == std::string::npos;
         std::this_thread::sleep_for(500ms))
        metrics = httpGet(port, "/metrics");
    std::ofstream(prefix().programFile("scraped")) << "scraped\n";
    wine.join();
    close(busy);
    ASSERT_FALSE(session.timedOut) << "the Wine session hung";

    EXPECT_EQ(session.step("driver-start").exitCode, 0) << session.step("driver-start").output;
    const StepResult& install = session.step("install");
    EXPECT_EQ(install.exitCode, 0) << install.output;
    EXPECT_NE(install.output.find("installed the zephr-agent service (own process, automatic "
                                  "start, after the zephr service)"),
              std::string::npos)
        << install.output;
    const StepResult& again = session.step("install-again");
    EXPECT_EQ(again.exitCode, 3) << again.output;
    EXPECT_NE(again.output.find("the zephr-agent service is already installed"), std::string::npos)
        << again.output;
    EXPECT_EQ(session.step("start").output, "the zephr-agent service is running\n");
    const StepResult& console = session.step("from-console");
    EXPECT_EQ(console.exitCode, 3) << console.output;
    EXPECT_NE(console.output.find("only the Service Control Manager starts the service"),
              std::string::npos)
        << console.output;
    EXPECT_EQ(session.step("status").exitCode, 0) << session.step("status").output;
    EXPECT_EQ(session.step("wait").exitCode, 0) << "the scrape did not end the wait";

    EXPECT_NE(metrics.find("HTTP/1.0 200 OK\r\n"), std::string::npos) << metrics;
    for (const char* line :
         {"# HELP zephr_temperature_celsius A temperature sensor",
          "# TYPE zephr_temperature_celsius gauge\n", "# TYPE zephr_polls_total counter\n",
          "zephr_fan_control_fail_safe 0\n"})
        EXPECT_NE(metrics.find(line), std::string::npos) << "missing: " << line << metrics;
    EXPECT_NE(metrics.find("\nzephr_temperature_celsius{sensor=\"cpu\"} " +
                           std::to_string(TESTHW_TEMP_SENSOR0) + "\n"),
              std::string::npos)
        << metrics;

    EXPECT_EQ(session.step("stop").output, "the zephr-agent service is stopped\n");
    // What the driver holds after the stop.
    EXPECT_EQ(session.step("fan0").output, "fan 0: state 2 (High)\n");
    EXPECT_EQ(session.step("fan1").output, "fan 1: state 2 (High)\n");
    EXPECT_NE(session.step("uninstall").output.find("removed the zephr-agent service"),
              std::string::npos)
        << session.step("uninstall").output;
    // A start that fails is no running service, and the log says why (the
    // tools write a backslash of a message as \\).
    const StepResult& startBusy = session.step("start-busy");
    EXPECT_EQ(startBusy.exitCode, 3) << startBusy.output;
    EXPECT_NE(startBusy.output.find("start: the zephr-agent service is stopped after the start "
                                    "(its log: C:\\\\zephr-test\\\\zephr-agent.log)"),
              std::string::npos)
        << startBusy.output;
    EXPECT_EQ(session.step("uninstall-busy").exitCode, 0) << session.step("uninstall-busy").output;
    EXPECT_EQ(session.step("driver-stop").exitCode, 0) << session.step("driver-stop").output;

    const std::string log = unixLines(readFile(prefix().programFile("zephr-agent.log")));
    const std::vector<std::string> logLines = {
        "zephr-agent: serving http://127.0.0.1:", "zephr-agent: polling every 1 s, fan control on",
        "zephr-agent: stopping: every fan is left High\n", "zephr-agent: stopped\n",
        "zephr-agent: cannot listen on " + busyAddress + ": "};
    for (const std::string& line : logLines)
        EXPECT_NE(log.find(line), std::string::npos) << "missing: " << line << log;
    EXPECT_EQ(session.wineMessages, "") << "Wine reported trouble";
}

} // namespace
} // namespace wine_test
