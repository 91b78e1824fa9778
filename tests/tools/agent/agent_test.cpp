// SPDX-License-Identifier: MIT
// agent_test.cpp
//
// zephr-agent on the built-in notebook: what it answers over HTTP (a table
// of requests), that scrapes are served from the last poll and cost no SMI
// however many come at once, that Ctrl-C stops it, and a Prometheus server
// scraping it and finding the values zephrctl reads.
#include "support/loopback_port.h"
#include "support/run_program.h"

#include <httplib.h>
#include <nlohmann/json.hpp>

#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <thread>

namespace {

using namespace std::chrono_literals;

// A program started in the background with its standard output in a file,
// stopped with SIGINT (then SIGKILL) when the object goes.
class Background {
  public:
    explicit Background(const std::vector<std::string>& arguments)
        : output_(std::filesystem::temp_directory_path() /
                  ("zephr-agent-test-" + std::to_string(getpid()) + "-" +
                   std::to_string(counter()++) + ".out"))
    {
        pid_ = fork();
        if (pid_ == 0) {
            std::FILE* out = std::fopen(output_.c_str(), "w");
            if (out != nullptr) {
                dup2(fileno(out), 1);
                dup2(fileno(out), 2);
            }
            std::vector<char*> argv;
            for (const auto& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execv(argv[0], argv.data());
            _exit(127);
        }
    }
    ~Background()
    {
        stop();
        std::filesystem::remove(output_);
    }
    // The exit status after SIGINT, waiting at most ten seconds.
    int stop()
    {
        if (pid_ <= 0)
            return status_;
        kill(pid_, SIGINT);
        for (int i = 0; i < 100; ++i) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = 0;
                return status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
            }
            std::this_thread::sleep_for(100ms);
        }
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = 0;
        return status_ = -1;
    }
    std::string output() const
    {
        std::ifstream in(output_);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    // The first match of pattern's group 1 in the output, waiting for it.
    std::string waitFor(const std::string& pattern, std::chrono::seconds most = 20s) const
    {
        const std::regex expression(pattern);
        for (auto end = std::chrono::steady_clock::now() + most;
             std::chrono::steady_clock::now() < end; std::this_thread::sleep_for(50ms)) {
            std::smatch match;
            const std::string text = output();
            if (std::regex_search(text, match, expression))
                return match[1];
        }
        return {};
    }

  private:
    static int& counter()
    {
        static int count = 0;
        return count;
    }
    std::filesystem::path output_;
    pid_t pid_ = -1;
    int status_ = -1;
};

// The agent on the built-in notebook on a port of the system's choice.
struct Agent {
    explicit Agent(std::vector<std::string> options = {})
        : process([&] {
              std::vector<std::string> arguments = {AGENT_PROGRAM, "run", "--listen",
                                                    "127.0.0.1:0"};
              arguments.insert(arguments.end(), options.begin(), options.end());
              return arguments;
          }())
    {
        port = std::atoi(process.waitFor(R"(serving http://127\.0\.0\.1:(\d+)/)").c_str());
    }
    httplib::Client client() const
    {
        httplib::Client client("127.0.0.1", port);
        client.set_read_timeout(5, 0);
        return client;
    }
    // A sample of the exposition text: "zephr_smm_requests_total" -> 8.
    double sample(const std::string& series) const
    {
        auto answer = client().Get("/metrics");
        if (!answer || answer->status != 200)
            return -1;
        const std::regex line("(^|\n)" +
                              std::regex_replace(series, std::regex(R"([{}"])"), R"(\$&)") +
                              R"( ([0-9.e+]+)\n)");
        std::smatch match;
        return std::regex_search(answer->body, match, line) ? std::stod(match[2]) : -1;
    }
    Background process;
    int port = 0;
};

struct HttpRow {
    const char* name;
    std::string method, path;
    size_t headerBytes; // of one extra header
    int status;
    const char* bodyHolds;
};

void PrintTo(const HttpRow& row, std::ostream* out)
{
    *out << row.name;
}

class AgentHttp : public ::testing::TestWithParam<HttpRow> {
  protected:
    static void SetUpTestSuite()
    {
        agent = new Agent({"--interval", "3600"});
    }
    static void TearDownTestSuite()
    {
        delete agent;
        agent = nullptr;
    }
    static Agent* agent;
};

Agent* AgentHttp::agent = nullptr;

TEST_P(AgentHttp, AnswersAsHttpSays)
{
    ASSERT_GT(agent->port, 0) << agent->process.output();
    const HttpRow& row = GetParam();
    httplib::Headers headers;
    if (row.headerBytes > 0)
        headers.emplace("X-Filler", std::string(row.headerBytes, 'x'));
    httplib::Request request;
    request.method = row.method;
    request.path = row.path;
    request.headers = headers;
    auto client = agent->client();
    auto answer = client.send(request);
    ASSERT_TRUE(answer) << httplib::to_string(answer.error());
    EXPECT_EQ(answer->status, row.status);
    EXPECT_NE(answer->body.find(row.bodyHolds), std::string::npos) << answer->body;
    if (row.status == 405) {
        EXPECT_EQ(answer->get_header_value("Allow"), "GET, HEAD");
    }
}

INSTANTIATE_TEST_SUITE_P(
    Requests, AgentHttp,
    ::testing::Values(
        HttpRow{"Metrics", "GET", "/metrics", 0, 200,
                "# TYPE zephr_temperature_celsius gauge\nzephr_temperature_celsius{sensor=\"cpu\"} "
                "52\n"},
        HttpRow{"Info", "GET", "/metrics", 0, 200,
                "zephr_info{model=\"Inspiron 8600\",profile=\"swapped sensors, speeds / 30\","
                "driver_version=\"1.5\"} 1"},
        HttpRow{"FanSpeed", "GET", "/metrics", 0, 200, "zephr_fan_speed_rpm{fan=\"1\"} 3450"},
        HttpRow{"Json", "GET", "/data.json", 0, 200, "\"cpu\": 52"},
        HttpRow{"Post", "POST", "/metrics", 0, 405, "only GET and HEAD"},
        HttpRow{"Delete", "DELETE", "/data.json", 0, 405, "only GET and HEAD"},
        HttpRow{"UnknownPath", "GET", "/admin", 0, 404, "404"},
        HttpRow{"HeadersTooLarge", "GET", "/metrics", 6000 * 2, 400, ""},
        HttpRow{"HeadersPastTheTotal", "GET", "/metrics", 8100, 431, "too large"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(Agent, ScrapesAreServedFromTheLastPollWithoutAnSmi)
{
    Agent agent({"--interval", "3600"});
    ASSERT_GT(agent.port, 0) << agent.process.output();
    const double before = agent.sample("zephr_smm_requests_total");
    EXPECT_EQ(before, 8) << "one poll: four temperatures, two fan speeds, two fan states";
    std::vector<std::thread> scrapers;
    std::atomic<int> answered = 0;
    for (int t = 0; t < 5; ++t)
        scrapers.emplace_back([&] {
            auto client = agent.client();
            for (int i = 0; i < 10; ++i)
                if (auto answer = client.Get("/metrics"); answer && answer->status == 200)
                    ++answered;
        });
    for (auto& scraper : scrapers)
        scraper.join();
    EXPECT_EQ(answered, 50);
    EXPECT_EQ(agent.sample("zephr_smm_requests_total"), before);
    EXPECT_EQ(agent.sample("zephr_polls_total"), 1);
    if (std::string(WRK_PROGRAM).find("NOTFOUND") == std::string::npos) {
        // A few seconds of load: the scrapes per second, for the record.
        const auto load =
            tool_test::runProgram({WRK_PROGRAM, "-t2", "-c8", "-d2s",
                                   "http://127.0.0.1:" + std::to_string(agent.port) + "/metrics"});
        std::smatch rate;
        if (std::regex_search(load.out, rate, std::regex(R"(Requests/sec:\s+([0-9.]+))")))
            RecordProperty("scrapes_per_second", rate[1].str());
        std::printf("wrk, 2 s of 8 connections: %s scrapes per second\n", rate[1].str().c_str());
        EXPECT_EQ(agent.sample("zephr_smm_requests_total"), before);
    }
    EXPECT_EQ(agent.process.stop(), 0) << agent.process.output();
    EXPECT_NE(agent.process.output().find("zephr-agent: stopped"), std::string::npos);
}

TEST(Agent, FanControlLeavesTheFansHighWhenStopped)
{
    Agent agent({"--interval", "0.5", "--fan-control"});
    ASSERT_GT(agent.port, 0) << agent.process.output();
    EXPECT_EQ(agent.sample("zephr_fan_control_fail_safe"), 0);
    EXPECT_EQ(agent.process.stop(), 0);
    EXPECT_NE(agent.process.output().find("stopping: every fan is left High"), std::string::npos)
        << agent.process.output();
}

TEST(Agent, CommandLineErrorsAreNamed)
{
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{AGENT_PROGRAM, "run", "--listen", "nowhere"},
          std::vector<std::string>{AGENT_PROGRAM, "run", "--interval", "0"},
          std::vector<std::string>{AGENT_PROGRAM, "run", "--config", "x.json"},
          std::vector<std::string>{AGENT_PROGRAM, "fly"}}) {
        const auto result = tool_test::runProgram(arguments);
        EXPECT_EQ(result.exitStatus, 2) << arguments.back();
        EXPECT_NE(result.err.find("zephr-agent: "), std::string::npos) << result.err;
    }
    const auto service = tool_test::runProgram({AGENT_PROGRAM, "install"});
    EXPECT_EQ(service.exitStatus, 3);
    EXPECT_NE(service.err.find("only in the Windows build"), std::string::npos) << service.err;
}

// A real Prometheus server scraping the agent every second finds the CPU
// temperature zephrctl reads from the same (built-in) notebook.
TEST(AgentWithPrometheus, TheScrapedTemperatureIsTheOneZephrctlReads)
{
    ASSERT_EQ(std::string(PROMETHEUS_PROGRAM).find("NOTFOUND"), std::string::npos)
        << "prometheus is not installed (scripts/install-deps installs it)";
    Agent agent({"--interval", "1"});
    ASSERT_GT(agent.port, 0) << agent.process.output();
    const auto folder =
        std::filesystem::temp_directory_path() / ("zephr-prometheus-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    std::ofstream(folder / "prometheus.yml")
        << "global:\n  scrape_interval: 1s\n  evaluation_interval: 1s\n"
           "scrape_configs:\n  - job_name: zephr\n    static_configs:\n"
           "      - targets: ['127.0.0.1:"
        << agent.port << "']\n";
    const int port = tool_test::freeLoopbackPort();
    Background prometheus({PROMETHEUS_PROGRAM,
                           "--config.file=" + (folder / "prometheus.yml").string(),
                           "--storage.tsdb.path=" + (folder / "data").string(),
                           "--web.listen-address=127.0.0.1:" + std::to_string(port)});
    httplib::Client client("127.0.0.1", port);
    client.set_read_timeout(5, 0);
    auto query = [&](const std::string& expression) -> nlohmann::json {
        auto answer =
            client.Get("/api/v1/query", httplib::Params{{"query", expression}}, httplib::Headers{});
        if (!answer || answer->status != 200)
            return nullptr;
        auto result = nlohmann::json::parse(answer->body, nullptr, false);
        return result.is_object() ? result["data"]["result"] : nullptr;
    };
    std::string value;
    for (auto end = std::chrono::steady_clock::now() + 40s;
         std::chrono::steady_clock::now() < end && value.empty();
         std::this_thread::sleep_for(500ms)) {
        // Two scrapes at least, then the series.
        auto scrapes = query("count_over_time(zephr_up[1m])");
        if (!scrapes.is_array() || scrapes.empty() ||
            std::stoi(scrapes[0]["value"][1].get<std::string>()) < 2)
            continue;
        auto temperature = query("zephr_temperature_celsius{sensor=\"cpu\"}");
        if (temperature.is_array() && !temperature.empty())
            value = temperature[0]["value"][1].get<std::string>();
    }
    prometheus.stop();
    agent.process.stop();
    std::filesystem::remove_all(folder);
    const auto zephrctl = tool_test::runProgram({ZEPHRCTL_PROGRAM, "temp", "0"});
    ASSERT_EQ(zephrctl.exitStatus, 0) << zephrctl.err;
    ASSERT_FALSE(value.empty()) << "Prometheus found no series:\n" << prometheus.output();
    EXPECT_EQ("sensor 0: " + value + " \u00B0C\n", zephrctl.out);
}

} // namespace
