// SPDX-License-Identifier: MIT
// comparison_test.cpp
//
// The shipped Gaugelet.dll against the host-build plug-in: each case runs
// the same host actions on the same simulated notebook once through
// build/lib/libGaugelet.so, once through build-windows/bin/Gaugelet.dll
// under the CPU emulator at its image base and once with the DLL moved (its
// base relocations applied), and requires the same log (every text the
// plug-in answered, every device control request it sent, in order between
// the actions) and the same hardware trace, from the library's load to its
// unload. Needs the Windows build; without its Gaugelet.dll the suite fails.
#include "host_actions.h"

#include "platform/emulated-image/emulated_driver.h"
#include "platform/host-nt/nt_host.h"
#include "platform/host-win32/win32_host.h"
#include "sim/machine.h"
#include "support/driver_harness.h"
#include "support/simulated_machines.h"
#include "tools/gaugehost/plugin_host/plugin_image.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <optional>

namespace {

using plugin_comparison::HostActions;

std::filesystem::path shippedPlugin()
{
    return std::filesystem::path(ZEPHR_WINDOWS_BUILD_DIR) / "bin" / "Gaugelet.dll";
}

std::filesystem::path shippedDriver()
{
    return std::filesystem::path(ZEPHR_WINDOWS_BUILD_DIR) / "bin" / "zephr.sys";
}

// 2026-01-01 00:00:00 UTC.
constexpr uint64_t kStart = 134116992000000000ull;
constexpr uint32_t kMovedBase = 0x10000000;

// Which driver serves the device while the plug-in runs.
enum class Driver { HostBuild, ShippedImage, None };

struct Case {
    std::string name;
    std::function<std::shared_ptr<sim::Machine>()> machine;
    Driver driver;
    std::function<void(HostActions&)> actions;
    // Log lines (by their beginning) the case must reach, so that two empty
    // logs do not pass.
    std::vector<std::string> mustReach;
};

void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

enum class Road { HostBuild, ShippedDll, ShippedDllMoved };

struct Outcome {
    std::vector<std::string> log;
    std::vector<std::string> trace;
};

const std::vector<std::string> kTemperatureReaders = {"GetCPUTemp", "GetGPUTemp", "GetDIMMTemp",
                                                      "GetOTHERTemp"};
const std::vector<std::string> kFanReaders = {"GetFAN1RPM", "GetFAN2RPM", "GetFAN1Speed",
                                              "GetFAN2Speed"};

std::vector<std::string> allReaders()
{
    std::vector<std::string> readers = kTemperatureReaders;
    readers.insert(readers.end(), kFanReaders.begin(), kFanReaders.end());
    return readers;
}

bool isTemperatureReader(const std::string& reader)
{
    return std::find(kTemperatureReaders.begin(), kTemperatureReaders.end(), reader) !=
           kTemperatureReaders.end();
}

// A reader's parameter texts as the host passes them, all of getparam's list:
// the refresh text, and for a temperature the unit and degree texts.
std::vector<std::string> textsFor(const std::string& reader, const std::string& refresh,
                                  const std::string& unit = "c", const std::string& degree = "no")
{
    if (isTemperatureReader(reader))
        return {refresh, unit, degree};
    return {refresh};
}

std::unique_ptr<gaugehost::PluginLibrary> loadPlugin(Road road)
{
    if (road == Road::HostBuild)
        return std::make_unique<gaugehost::PluginLibrary>(GAUGELET_LIBRARY);
    const std::string path = shippedPlugin().string();
    return std::make_unique<gaugehost::PluginLibrary>(
        path, gaugehost::loadPluginImage(path, road == Road::ShippedDllMoved
                                                   ? std::optional<uint32_t>(kMovedBase)
                                                   : std::nullopt));
}

Outcome run(Road road, const Case& c)
{
    Outcome outcome;
    auto machine = c.machine();
    sim::installMachine(machine);
    win32::Clock::useSimulated(kStart);
    auto& io = nt::IoManager::instance();
    NTSTATUS loaded = STATUS_SUCCESS;
    if (c.driver == Driver::HostBuild)
        loaded = io.loadDriver(nt::IoManager::defaultDriverPath());
    else if (c.driver == Driver::ShippedImage)
        loaded = emulated::loadDriverImage(shippedDriver());
    outcome.log.push_back("driver load " + std::to_string(loaded));
    io.setDeviceControlObserver([&](const nt::DeviceControlRecord& record) {
        outcome.log.push_back(plugin_comparison::describeRequest(record));
    });
    try {
        auto library = loadPlugin(road);
        outcome.log.push_back("loaded");
        {
            HostActions host(*library, outcome.log);
            c.actions(host);
        }
        library.reset();
        outcome.log.push_back("unloaded");
    } catch (const std::exception& error) {
        outcome.log.push_back(std::string("failed: ") + error.what());
    }
    io.setDeviceControlObserver({});
    if (c.driver != Driver::None && NT_SUCCESS(loaded))
        io.unloadDriver();
    io.discardUnloadedDevices();
    win32::Clock::useReal();
    outcome.trace = machine->trace.lines();
    sim::installMachine(nullptr);
    return outcome;
}

using test_machines::builtin;
using test_machines::withSmm;

// A notebook of a firmware fixture, its BIOS answering as the built-in one.
std::function<std::shared_ptr<sim::Machine>()> fixture(const std::string& name)
{
    return [=] {
        auto machine = std::make_shared<sim::Machine>();
        machine->name = name;
        machine->memory.loadImageFolder(zephr_test::fixtureImage(name));
        machine->smm.temperatures = {{0, 52}, {1, 45}, {2, 48}, {3, 40}};
        machine->smm.fans = {sim::Fan{1, 120}, sim::Fan{2, 115}};
        return machine;
    };
}

// Parameter texts of the temperature readers: refresh seconds (numbers, 0,
// negatives, what atoi reads partly or not at all), the unit and the degree
// text.
const std::vector<std::vector<std::string>> kTemperatureTexts = {
    {"5", "c", "no"},
    {"5", "f", "no"},
    {"5", "F", "no"},
    {"5", "fahrenheit", "yes"},
    {"5", "c", "yes"},
    {"5", "c", "y"},
    {"5", "c", "Y"},
    {"5", "f", "YES"},
    {"0", "c", "no"},
    {"abc", "f", "y"},
    {"-5", "c", "no"},
    {"", "", ""},
    {" 12x", "celsius", "n"},
    {"2147483647", "f", "yes"},
    {"99999999999", "c", "no"},
    {"+7", "\xb0", "\xff"},
};

// Refresh texts of the fan readers.
const std::vector<std::string> kFanTexts = {"5", "0", "abc", "-1", "", "1e3", "  3", "0x10"};

void everyReaderOnce(HostActions& host, const std::string& unit, const std::string& degree)
{
    for (const std::string& reader : allReaders()) {
        const size_t instance = host.start();
        host.read(instance, reader, textsFor(reader, "5", unit, degree));
        host.stop(instance);
    }
}

std::vector<Case> cases()
{
    return {
        {"HostFunctions",
         builtin,
         Driver::HostBuild,
         [](HostActions& host) {
             host.init();
             for (const std::string& reader : allReaders())
                 host.getparam(reader);
             for (const char* other : {"", "Temp", "temp", "GetFAN1", "unknown reader"})
                 host.getparam(other);
             host.dlltype();
             for (uint32_t index :
                  {0u, 1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u, 100u, 0x7FFFFFFFu, 0x80000000u, 0xFFFFFFFFu})
                 host.getinfo(index);
         },
         {"init -> \"GetCPUTemp|", "getparam \"GetFAN1RPM\" -> \"refresh", "getinfo 4294967295",
          "request 9c40a448"}},
        {"TemperatureParameterTexts",
         builtin,
         Driver::HostBuild,
         [](HostActions& host) {
             for (const std::string& reader : kTemperatureReaders)
                 for (const auto& texts : kTemperatureTexts) {
                     const size_t instance = host.start();
                     host.read(instance, reader, texts);
                     host.read(instance, reader, texts);
                     host.stop(instance);
                 }
         },
         {"GetCPUTemp #0(\"5\", \"c\", \"no\") -> \"52\"", "request 9c40a440"}},
        {"FanParameterTexts",
         builtin,
         Driver::HostBuild,
         [](HostActions& host) {
             for (const std::string& reader : kFanReaders)
                 for (const std::string& text : kFanTexts) {
                     const size_t instance = host.start();
                     host.read(instance, reader, {text});
                     host.read(instance, reader, {text});
                     host.stop(instance);
                 }
         },
         {"request 9c40a408", "request 9c40a404"}},
        {"ManyInstances",
         builtin,
         Driver::HostBuild,
         [](HostActions& host) {
             const auto readers = allReaders();
             std::vector<size_t> made;
             for (int i = 0; i < 48; ++i)
                 made.push_back(host.start());
             for (size_t i = 0; i < made.size(); ++i)
                 host.read(made[i], readers[i % readers.size()],
                           textsFor(readers[i % readers.size()], "5"));
             for (size_t i = 1; i < made.size(); i += 2)
                 host.stop(made[i]);
             host.stopNull();
             for (int i = 0; i < 24; ++i)
                 made.push_back(host.start());
             for (size_t i = 48; i < made.size(); ++i)
                 host.read(made[i], readers[i % readers.size()],
                           textsFor(readers[i % readers.size()], "5"));
             for (size_t i = 0; i < made.size(); i += 2)
                 host.read(made[i], readers[(i + 3) % readers.size()],
                           textsFor(readers[(i + 3) % readers.size()], "5", "f", "yes"));
         },
         {"dllstartup #71 -> an instance", "dllshutdown null -> 0"}},
        {"ThrottleOverTheSimulatedClock",
         builtin,
         Driver::HostBuild,
         [](HostActions& host) {
             const size_t cpu = host.start(), gpu = host.start(), fan = host.start(),
                          state = host.start(), never = host.start();
             for (int step = 0; step < 30; ++step) {
                 if (step % 7 == 3)
                     host.setTemperature(0, static_cast<uint16_t>(50 + step));
                 host.read(cpu, "GetCPUTemp", {"5", "c", "no"});
                 host.read(gpu, "GetGPUTemp", {"3", "f", "yes"});
                 host.read(fan, "GetFAN1RPM", {"1"});
                 host.read(state, "GetFAN2Speed", {"0"});
                 host.read(never, "GetOTHERTemp", {"-1", "c", "no"});
                 host.advance(step % 4 == 0 ? 1500 : 500);
             }
             // The clock set back: a period counts from the last refresh.
             host.advance(-20000);
             host.read(cpu, "GetCPUTemp", {"5", "c", "no"});
             host.read(fan, "GetFAN1RPM", {"1"});
             host.advance(60000);
             host.read(cpu, "GetCPUTemp", {"5", "c", "no"});
             host.read(fan, "GetFAN1RPM", {"1"});
         },
         {"clock 1500 ms", "request 9c40a440"}},
        {"NoDriver",
         builtin,
         Driver::None,
         [](HostActions& host) {
             host.init();
             host.dlltype();
             for (const std::string& reader : allReaders()) {
                 const size_t instance = host.start();
                 host.read(instance, reader, textsFor(reader, "x", "f", "y"));
                 host.stop(instance);
             }
         },
         {"GetCPUTemp #0(\"x\", \"f\", \"y\") -> \"ERROR: Could not load zephr driver.\""}},
        {"BiosChangesNoRegister",
         withSmm(sim::SmmBehaviour::Ignore),
         Driver::HostBuild,
         [](HostActions& host) { everyReaderOnce(host, "f", "yes"); },
         {"request 9c40a440"}},
        {"BiosEchoesAx",
         withSmm(sim::SmmBehaviour::EchoAx),
         Driver::HostBuild,
         [](HostActions& host) { everyReaderOnce(host, "c", "yes"); },
         {"request 9c40a440"}},
        {"BiosAnswersOutOfRange",
         withSmm(sim::SmmBehaviour::Normal,
                 [](sim::SmmRegisters& r) {
                     // Fan states 3, speeds below and at the divisor, a
                     // temperature of 0 and one of all ones.
                     if (r.ax == 0x00A3)
                         r.ax = 3;
                     else if (r.ax == 0x02A3)
                         r.ax = static_cast<uint16_t>(r.bx == 0 ? 0 : 1);
                     else if (r.ax == 0x10A3)
                         r.ax = static_cast<uint16_t>(r.bx == 0 ? 0 : 0xFFFF);
                 }),
         Driver::HostBuild,
         [](HostActions& host) { everyReaderOnce(host, "f", "no"); },
         {"request 9c40a404"}},
        {"EveryFanStateAndSpeed",
         builtin,
         Driver::HostBuild,
         [](HostActions& host) {
             // States 0 to 2 and one past; raw speeds around the divisor.
             const std::vector<std::pair<uint16_t, uint16_t>> fans = {
                 {0, 0}, {1, 1}, {2, 30}, {3, 160}, {2, 0xFFFE}, {0xFFFF, 0xFFFF}};
             for (const auto& [state, speed] : fans) {
                 host.setFan(0, state, speed);
                 host.setFan(1, static_cast<uint16_t>(2 - state % 3), speed / 2);
                 for (const std::string& reader : kFanReaders) {
                     const size_t instance = host.start();
                     host.read(instance, reader, {"5"});
                     host.stop(instance);
                 }
             }
         },
         {"GetFAN1Speed #", "request 9c40a404"}},
        {"ProfileInspiron8600",
         fixture("i440fx-inspiron-8600"),
         Driver::HostBuild,
         [](HostActions& host) {
             everyReaderOnce(host, "c", "no");
             everyReaderOnce(host, "f", "yes");
         },
         {"request 9c40a448"}},
        {"ProfileLatitudeD810",
         fixture("q35-latitude-d810"),
         Driver::HostBuild,
         [](HostActions& host) { everyReaderOnce(host, "c", "no"); },
         {"request 9c40a448"}},
        {"ProfileSmbios3Only",
         fixture("i440fx-smbios3-only"),
         Driver::HostBuild,
         [](HostActions& host) { everyReaderOnce(host, "c", "no"); },
         {"request 9c40a448"}},
        {"ShippedDriverEndToEnd",
         builtin,
         Driver::ShippedImage,
         [](HostActions& host) {
             everyReaderOnce(host, "f", "yes");
             const size_t cpu = host.start();
             for (int step = 0; step < 8; ++step) {
                 host.read(cpu, "GetCPUTemp", {"2", "c", "no"});
                 host.advance(1000);
             }
         },
         {"request 9c40a440", "driver load 0"}},
    };
}

class ShippedPlugin : public ::testing::TestWithParam<Case> {};

TEST_P(ShippedPlugin, AnswersAndRequestsAsTheHostBuildPlugin)
{
    ASSERT_TRUE(std::filesystem::exists(shippedPlugin()))
        << shippedPlugin() << " does not exist: run the Windows build first (./scripts/build)";
    const Case& c = GetParam();
    const Outcome host = run(Road::HostBuild, c);
    for (const std::string& line : c.mustReach)
        EXPECT_TRUE(std::any_of(host.log.begin(), host.log.end(),
                                [&](const std::string& l) { return l.starts_with(line); }))
            << "the case never reached a \"" << line << "\" line";
    for (Road road : {Road::ShippedDll, Road::ShippedDllMoved}) {
        SCOPED_TRACE(road == Road::ShippedDll ? "Gaugelet.dll at its image base"
                                              : "Gaugelet.dll moved to 0x10000000");
        const Outcome shipped = run(road, c);
        // Line by line, so a difference shows where it begins.
        const size_t lines = std::max(host.log.size(), shipped.log.size());
        for (size_t i = 0; i < lines; ++i) {
            const std::string a = i < host.log.size() ? host.log[i] : "(no line)";
            const std::string b = i < shipped.log.size() ? shipped.log[i] : "(no line)";
            ASSERT_EQ(b, a) << "log line " << i;
        }
        EXPECT_EQ(shipped.trace, host.trace);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ShippedPlugin, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

} // namespace
