// SPDX-License-Identifier: MIT
// fan_control_test.cpp
//
// The fan-control loop on the simulated clock, against the real driver
// image on the simulated notebook: thresholds with hysteresis, the living
// notebook held in its band, the SMM call budget, the fail-safe when the
// BIOS or the driver stops answering, the fans left High at the end, and
// the configuration's refusals.
#include "platform/host-nt/nt_host.h"
#include "platform/host-win32/win32_host.h"
#include "sim/thermal_model.h"
#include "support/driver_harness.h"
#include "tools/common/living_notebook.h"
#include "tools/zephrctl/device_fan_hardware.h"
#include "tools/zephrctl/fan_control_clock.h"
#include "tools/zephrctl/fan_control_config.h"
#include "tools/zephrctl/fan_controller.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>

using namespace zephrctl;

namespace {

constexpr uint64_t kStart = 134116992000000000ull; // 2026-01-01 as a FILETIME

// The loop's clock as the Win32 layer's simulated clock: every wait moves
// it, lets the notebook run for as long, and calls the test's hook; the
// loop is told to stop once the given seconds have passed.
class SimulatedClock : public LoopClock {
  public:
    SimulatedClock(double stopAfter, std::function<void(double seconds)> onTick)
        : stopAfter_(stopAfter), onTick_(std::move(onTick))
    {
        win32::Clock::useSimulated(kStart);
    }
    ~SimulatedClock() override
    {
        win32::Clock::useReal();
    }
    double now() override
    {
        return double(win32::Clock::now() - kStart) / win32::kTicksPerSecond;
    }
    bool waitFor(double seconds) override
    {
        if (now() + seconds > stopAfter_)
            return false;
        win32::Clock::advance(int64_t(seconds * win32::kTicksPerSecond));
        if (onTick_)
            onTick_(seconds);
        return true;
    }

  private:
    double stopAfter_;
    std::function<void(double)> onTick_;
};

struct LoopRun {
    std::vector<std::string> log;
    std::vector<unsigned> temperatures; // the CPU's after each interval
    unsigned steps = 0;
    int status = -1;
};

FanController::Log collect(std::vector<std::string>& lines)
{
    return [&lines](const std::string& line) { lines.push_back(line); };
}

size_t countContaining(const std::vector<std::string>& lines, const std::string& text)
{
    return size_t(std::count_if(lines.begin(), lines.end(), [&](const std::string& line) {
        return line.find(text) != std::string::npos;
    }));
}

FanControlConfig config(int offUp, int slowDown, int slowUp, int highDown)
{
    FanControlConfig c;
    for (unsigned fan : {0u, 1u})
        c.fans.push_back({fan, offUp, slowDown, slowUp, highDown});
    return c;
}

std::shared_ptr<sim::Machine> notebookWithCpuAt(uint16_t degrees)
{
    std::shared_ptr<sim::Machine> machine(sim::Machine::builtin());
    machine->smm.temperatures[0] = degrees;
    return machine;
}

TEST(FanControlThresholds, UpAboveTheUpperBoundDownBelowTheLowerBound)
{
    const FanThresholds fan{0, 60, 52, 70, 62};
    struct Row {
        std::optional<unsigned> state;
        int temperature;
        unsigned expected;
    };
    const Row rows[] = {
        {std::nullopt, 60, kFanOff}, {std::nullopt, 61, kFanSlow}, {std::nullopt, 71, kFanHigh},
        {kFanOff, 60, kFanOff},      {kFanOff, 61, kFanSlow},      {kFanOff, 80, kFanHigh},
        {kFanSlow, 52, kFanSlow},    {kFanSlow, 51, kFanOff},      {kFanSlow, 70, kFanSlow},
        {kFanSlow, 71, kFanHigh},    {kFanHigh, 62, kFanHigh},     {kFanHigh, 61, kFanSlow},
        {kFanHigh, 40, kFanOff},
    };
    for (const Row& row : rows)
        EXPECT_EQ(nextFanState(fan, row.state, row.temperature), row.expected)
            << "from " << (row.state ? fanStateWord(*row.state) : "nothing") << " at "
            << row.temperature;
}

// Temperatures that wander about a threshold change a fan once, not at
// every crossing.
TEST(FanControlThresholds, NoOscillationAtAThreshold)
{
    struct Row {
        const char* what;
        std::vector<uint16_t> temperatures; // repeated for 100 intervals
        unsigned changesPerFan;
        unsigned finalState;
    };
    const Row rows[] = {
        {"about off.up", {60, 61, 59, 61, 60}, 2, kFanSlow}, // taking control, then up once
        {"about slow.down", {62, 51, 53, 51, 52}, 2, kFanOff},
        {"about slow.up", {65, 71, 69, 71, 70}, 2, kFanHigh},
        {"inside the Slow band", {61, 53, 59, 69, 55}, 1, kFanSlow},
    };
    for (const Row& row : rows) {
        zephr_test::LoadedDriver driver;
        auto& smm = driver.machine().smm;
        DeviceFanHardware hardware;
        std::vector<std::string> log;
        FanController controller(config(60, 52, 70, 62), hardware, collect(log));
        for (unsigned i = 0; i < 100; ++i) {
            // The first pass goes through the row once; then it repeats
            // without its first value, so the fan starts where the row says.
            size_t at =
                i < row.temperatures.size() ? i : 1 + (i - 1) % (row.temperatures.size() - 1);
            smm.temperatures[0] = row.temperatures[at];
            controller.step(5.0 * i);
        }
        EXPECT_EQ(controller.changes(), 2 * row.changesPerFan) << row.what;
        EXPECT_EQ(smm.fans[0].state, row.finalState) << row.what;
        EXPECT_EQ(smm.fans[1].state, row.finalState) << row.what;
    }
}

// The panel's living notebook: load comes and goes over minutes; the loop
// keeps the CPU in the band its thresholds make (widened by what the
// notebook heats or cools in one interval), changes a fan only as the load
// turns (a bounded number of times, never at three reads in a row), and
// stays within its SMM budget.
TEST(FanControlOnTheLivingNotebook, HoldsTheBandWithoutOscillating)
{
    struct Row {
        const char* what;
        uint16_t idleCpu;
        FanControlConfig config;
        int coolest, hottest; // the CPU after the first minute
        bool highNeeded;      // the fans go High at times
        unsigned maxSettings; // in the half hour, both fans
    };
    const Row rows[] = {
        {"built-in notebook, default thresholds", 52, defaultFanControlConfig(), 50, 62, false, 72},
        {"hot notebook, default thresholds", 68, defaultFanControlConfig(), 60, 72, true, 44},
        {"built-in notebook, low thresholds", 52, config(50, 45, 56, 51), 43, 58, true, 32},
    };
    for (const Row& row : rows) {
        zephr_test::LoadedDriver driver(notebookWithCpuAt(row.idleCpu));
        sim::Machine& machine = driver.machine();
        sim::ThermalModel model(machine);
        DeviceFanHardware hardware;
        LoopRun run;
        bool highSeen = false;
        double shortestGap = 1e9;
        std::vector<double> lastChange(2, -1e9);
        std::vector<uint16_t> lastState = {machine.smm.fans[0].state, machine.smm.fans[1].state};
        SimulatedClock clock(30 * 60, [&](double seconds) {
            model.advance(seconds);
            run.temperatures.push_back(machine.smm.temperatures.at(0));
            ++run.steps;
            for (size_t fan = 0; fan < 2; ++fan) {
                uint16_t state = machine.smm.fans[fan].state;
                highSeen = highSeen || state == kFanHigh;
                if (state != lastState[fan] && run.steps > 1) {
                    shortestGap = std::min(shortestGap, 5.0 * run.steps - lastChange[fan]);
                    lastChange[fan] = 5.0 * run.steps;
                }
                lastState[fan] = state;
            }
        });
        uint64_t smisBefore = machine.smiCount();
        unsigned sent = 0;
        {
            FanController controller(row.config, hardware, collect(run.log));
            controller.step(clock.now());
            while (clock.waitFor(row.config.interval))
                controller.step(clock.now());
            sent = controller.settingsSent();
            EXPECT_FALSE(controller.failSafe()) << row.what;
        }
        ASSERT_EQ(run.steps, 360u) << row.what;
        auto settled = run.temperatures.begin() + 12;
        EXPECT_GE(*std::min_element(settled, run.temperatures.end()), row.coolest) << row.what;
        EXPECT_LE(*std::max_element(settled, run.temperatures.end()), row.hottest) << row.what;
        EXPECT_EQ(highSeen, row.highNeeded) << row.what;
        EXPECT_GE(shortestGap, 15.0) << row.what;
        EXPECT_LE(sent, row.maxSettings) << row.what;
        // One temperature read per interval, and the settings it made.
        EXPECT_EQ(machine.smiCount() - smisBefore, run.steps + 1 + sent) << row.what;
        EXPECT_EQ(countContaining(run.log, " -> "), sent) << row.what;
    }
}

// The living notebook the tools share, under a steady load: with the loop
// the CPU settles between the lowest lower bound and the highest upper
// bound (one degree over it while a fan speeds up); without it, with the
// fans as the BIOS left them (Slow) and read as a reader would, it rises
// past the highest upper bound when the load is high.
TEST(FanControlOnTheLivingNotebook, UnderLoadTheLoopKeepsTheBandAndWithoutItTheCpuLeavesIt)
{
    struct Row {
        int load;
        bool controlled;
        int coolest, hottest; // the CPU after the first minute, inclusive
    };
    const Row rows[] = {
        {100, true, 52, 71},  {50, true, 52, 70},  {0, true, 45, 60},
        {100, false, 71, 90}, {75, false, 65, 70}, // 66 °C: Slow fans hold three quarters
    };
    for (const Row& row : rows) {
        const std::string what =
            std::to_string(row.load) + " % " + (row.controlled ? "with the loop" : "without it");
        zephr_test::LoadedDriver driver;
        auto clock = simulatedLoopClock(10 * 60);
        tools::LivingNotebook notebook(row.load);
        DeviceFanHardware hardware;
        std::vector<std::string> log;
        FanController controller(defaultFanControlConfig(), hardware, collect(log));
        std::vector<unsigned> temperatures;
        do {
            if (row.controlled)
                controller.step(clock->now());
            std::optional<unsigned> cpu = hardware.temperature(0);
            ASSERT_TRUE(cpu) << what;
            temperatures.push_back(*cpu);
        } while (clock->waitFor(5));
        ASSERT_EQ(temperatures.size(), 121u) << what;
        auto settled = temperatures.begin() + 12;
        EXPECT_GE(int(*std::min_element(settled, temperatures.end())), row.coolest) << what;
        EXPECT_LE(int(*std::max_element(settled, temperatures.end())), row.hottest) << what;
    }
}

// A BIOS that ignores calls: fail-safe at the first interval, the refused
// settings tried again only after retry-after, and back to the thresholds
// when the BIOS answers again.
TEST(FanControlFailSafe, AnIgnoringBiosMeansFailSafeAtOnceAndNoTightRetry)
{
    zephr_test::LoadedDriver driver;
    sim::Machine& machine = driver.machine();
    machine.smm.behaviour = sim::SmmBehaviour::Ignore;
    DeviceFanHardware hardware;
    std::vector<std::string> log;
    FanControlConfig settings = defaultFanControlConfig();
    settings.retryAfter = 60;
    FanController controller(settings, hardware, collect(log));

    uint64_t smis = machine.smiCount();
    controller.step(0);
    EXPECT_TRUE(controller.failSafe());
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0], "CPU sensor 0 cannot be read (the BIOS did not answer): every fan to "
                      "High until it reads again");
    EXPECT_EQ(machine.smiCount() - smis, 3u) << "one read and a High for each fan";
    EXPECT_EQ(countContaining(log, "High not set (the BIOS refused it; fail-safe)"), 2u);

    for (int second = 5; second < 60; second += 5)
        controller.step(second);
    EXPECT_EQ(machine.smiCount() - smis, 3u + 11u) << "reads only, until retry-after passed";
    controller.step(60);
    EXPECT_EQ(machine.smiCount() - smis, 3u + 11u + 3u);
    EXPECT_EQ(countContaining(log, "cannot be read"), 1u) << "said once, not every interval";

    machine.smm.behaviour = sim::SmmBehaviour::Normal;
    controller.step(65);
    EXPECT_FALSE(controller.failSafe());
    EXPECT_EQ(countContaining(log, "CPU sensor 0 reads again (52 \xC2\xB0"
                                   "C): back to the thresholds"),
              1u);
    // From High, where the fail-safe put them, one state down at 52 °C.
    EXPECT_EQ(machine.smm.fans[0].state, kFanSlow);
    EXPECT_EQ(machine.smm.fans[1].state, kFanSlow);
}

TEST(FanControlFailSafe, TheDriverGoingAwayMeansFailSafe)
{
    zephr_test::LoadedDriver driver;
    DeviceFanHardware hardware;
    std::vector<std::string> log;
    FanController controller(defaultFanControlConfig(), hardware, collect(log));
    controller.step(0);
    ASSERT_EQ(driver.machine().smm.fans[0].state, kFanOff);

    // Windows runs DriverUnload only once the last handle is closed; the
    // driver stopping under an open handle is forced here.
    nt::IoManager::instance().setFaults({.unloadWithHandlesOpen = true});
    driver.unload();
    controller.step(5);
    EXPECT_TRUE(controller.failSafe());
    EXPECT_EQ(
        countContaining(
            log, "CPU sensor 0 cannot be read (the device did not take the temperature request"),
        1u)
        << log.back();
    EXPECT_EQ(countContaining(log, "High not set"), 2u);
    controller.step(10);
    EXPECT_EQ(countContaining(log, "High not set"), 2u) << "not tried again at once";
}

TEST(FanControlLoop, StoppingLeavesTheFansHighAndOnceLeavesThemAsSet)
{
    struct Row {
        bool once;
        unsigned fanState; // both fans afterwards
        unsigned steps;
    };
    for (const Row& row : {Row{false, kFanHigh, 3}, Row{true, kFanOff, 0}}) {
        zephr_test::LoadedDriver driver;
        DeviceFanHardware hardware;
        std::vector<std::string> log;
        unsigned steps = 0;
        SimulatedClock clock(15, [&](double) { ++steps; });
        EXPECT_EQ(runFanControl(defaultFanControlConfig(), hardware, clock, collect(log), row.once),
                  0);
        EXPECT_EQ(steps, row.steps) << "once " << row.once;
        EXPECT_EQ(driver.machine().smm.fans[0].state, row.fanState) << "once " << row.once;
        EXPECT_EQ(driver.machine().smm.fans[1].state, row.fanState) << "once " << row.once;
        EXPECT_EQ(countContaining(log, "stopping: every fan is left High"), row.once ? 0u : 1u);
    }
}

TEST(FanControlConfigFile, RefusalsNameTheKey)
{
    struct Row {
        const char* text;
        const char* message;
    };
    const Row rows[] = {
        {R"({"sensr": 0})", "f.json: sensr: unknown key"},
        {R"({"fans": [{"fan": 0, "slwo": {"up": 3}}]})", "f.json: fans[0].slwo: unknown key"},
        {R"({"fans": [{"fan": 0, "off": {"down": 3}}]})", "f.json: fans[0].off.down: unknown key"},
        {R"({"fans": [{"off": {"up": 50}}]})", "f.json: fans[0].fan: missing"},
        {R"({"fans": [{"fan": 2}]})", "f.json: fans[0].fan: must be from 0 to 1"},
        {R"({"fans": [{"fan": 0}, {"fan": 0}]})", "f.json: fans[1].fan: fan 0 is listed twice"},
        {R"({"fans": [{"fan": 1, "off": {"up": 50}, "slow": {"down": 50}}]})",
         "f.json: fans[0].slow.down: 50 must be below fans[0].off.up (50)"},
        {R"({"fans": [{"fan": 0, "slow": {"up": 60}}]})",
         "f.json: fans[0].off.up: 60 must be below fans[0].slow.up (60)"},
        {R"({"fans": [{"fan": 0, "high": {"down": 75}}]})",
         "f.json: fans[0].high.down: 75 must be below fans[0].slow.up (70)"},
        {R"({"fans": [{"fan": 0, "slow": {"down": 59}, "high": {"down": 58}}]})",
         "f.json: fans[0].slow.down: 59 must be below fans[0].high.down (58)"},
        {R"({"fans": [{"fan": 0, "off": {"up": "hot"}}]})",
         "f.json: fans[0].off.up: must be a number"},
        {R"({"interval": 0})", "f.json: interval: must be from 0.5 to 3600"},
        {R"({"sensor": 256})", "f.json: sensor: must be from 0 to 255"},
        {R"({"fans": {"fan": 0}})", "f.json: fans: must be a list"},
        {R"({"fans": [}")", "f.json: fans[0]: not JSON"},
        {R"({"interval": 1e400})", "f.json: interval: not JSON: number overflow parsing '1e400'"},
        {R"({"fans": [{"fan": 0}, {"fan": 1, "off": {"up": -1e999}}]})",
         "f.json: fans[1].off.up: not JSON: number overflow"},
        {"{\"sensor\": 0, # hash\n}", "f.json: sensor: not JSON: parse error at line 1"},
    };
    for (const Row& row : rows) {
        try {
            parseFanControlConfig(row.text, defaultFanControlConfig(), "f.json");
            ADD_FAILURE() << "accepted: " << row.text;
        } catch (const ConfigError& e) {
            EXPECT_EQ(std::string(e.what()).rfind(row.message, 0), 0u) << e.what();
        }
    }
}

TEST(FanControlConfigFile, KeysLeftOutKeepTheDefaultsAndTheDefaultReadsBack)
{
    FanControlConfig parsed = parseFanControlConfig(
        "// the second fan only\n"
        R"({"interval": 2, /* seconds */ "fans": [{"fan": 1, "off": {"up": 58}}]})",
        defaultFanControlConfig(), "f.json");
    EXPECT_EQ(parsed.interval, 2);
    EXPECT_EQ(parsed.sensor, 0u);
    ASSERT_EQ(parsed.fans.size(), 1u);
    EXPECT_EQ(parsed.fans[0].fan, 1u);
    EXPECT_EQ(parsed.fans[0].offUp, 58);
    EXPECT_EQ(parsed.fans[0].slowUp, defaultFanControlConfig().fans[0].slowUp);

    const FanControlConfig defaults = defaultFanControlConfig();
    FanControlConfig again =
        parseFanControlConfig(formatFanControlConfig(defaults), FanControlConfig{}, "printed");
    EXPECT_EQ(formatFanControlConfig(again), formatFanControlConfig(defaults));
    EXPECT_EQ(again.fans.size(), 2u);
}

} // namespace
