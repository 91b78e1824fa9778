// SPDX-License-Identifier: MIT
// readers_test.cpp
//
// The eight readers as the host calls them: the built libGaugelet.so loaded
// with LoadLibraryA on a simulated notebook with the real driver image, the
// clock simulated. Texts, units, the refresh throttle's requests, the model
// profile from real firmware, and what the readers answer without a driver
// or when a request fails.
#include "platform/host-win32/win32_host.h"
#include "support/driver_harness.h"

#include <gtest/gtest.h>

#include <fstream>

using zephr_test::LoadedDriver;

namespace {

using TempReader = const char* (*)(void*, const char*, const char*, const char*);
using FanReader = const char* (*)(void*, const char*);

// The plug-in loaded for one test, and its exports.
class Gaugelet {
  public:
    Gaugelet() : module_(LoadLibraryA(GAUGELET_LIBRARY))
    {
        if (module_ == nullptr) {
            throw std::runtime_error("cannot load " + std::string(GAUGELET_LIBRARY));
        }
    }
    ~Gaugelet()
    {
        FreeLibrary(module_);
    }

    template <typename F> F get(const char* name)
    {
        auto address = GetProcAddress(module_, name);
        EXPECT_NE(address, nullptr) << name;
        return reinterpret_cast<F>(reinterpret_cast<void*>(address));
    }
    void* startup()
    {
        return get<void* (*)(int, int)>("dllstartup")(0, 0);
    }
    int shutdown(void* instance)
    {
        return get<int (*)(void*)>("dllshutdown")(instance);
    }
    std::string temp(const char* reader, void* instance, const char* refresh, const char* unit,
                     const char* degree)
    {
        return get<TempReader>(reader)(instance, refresh, unit, degree);
    }
    std::string fan(const char* reader, void* instance, const char* refresh = "5")
    {
        return get<FanReader>(reader)(instance, refresh);
    }

  private:
    HMODULE module_;
};

class Readers : public ::testing::Test {
  protected:
    void SetUp() override
    {
        win32::Clock::useSimulated(133000000000000000ull);
    }
    void TearDown() override
    {
        win32::Clock::useReal();
    }
    static uint64_t requests()
    {
        return nt::IoManager::instance().deviceControlCount();
    }
};

// A notebook whose SMBIOS product name is given, with the default SMM values.
std::shared_ptr<sim::Machine> notebookNamed(const std::string& product)
{
    auto path = std::filesystem::temp_directory_path() /
                ("gaugelet-readers-" + std::to_string(::getpid()) + ".json");
    std::ofstream(path) << R"({ "name": "test", "smm": { "temperatures": { "0": 52, "1": 45,
        "2": 48, "3": 40 }, "fans": [ { "state": 1, "speed": 160 }, { "state": 2, "speed": 0 } ] },
        "smbios": { "structures": [ { "type": 1, "formatted": "01 02 00 03",
        "strings": [ "Nord", ")" +
                               product + R"(", "TAG" ] }, { "type": 127 } ] } })";
    std::shared_ptr<sim::Machine> machine = sim::Machine::fromFile(path);
    std::filesystem::remove(path);
    return machine;
}

std::shared_ptr<sim::Machine> fixtureNotebook(const std::string& image)
{
    auto machine = std::make_shared<sim::Machine>();
    machine->memory.loadImageFolder(zephr_test::fixtureImage(image));
    machine->smm.temperatures = {{0, 50}, {1, 41}, {2, 63}, {3, 30}};
    machine->smm.fans = {{1, 160}, {2, 170}};
    return machine;
}

TEST_F(Readers, TemperatureTextsUnitsAndTheDegreeSign)
{
    LoadedDriver driver(notebookNamed("OptiPlex"));
    Gaugelet plugin;
    void* instance = plugin.startup();
    EXPECT_EQ(plugin.temp("GetCPUTemp", instance, "0", "c", "no"), "52");
    EXPECT_EQ(plugin.temp("GetCPUTemp", instance, "0", "f", "no"), "125");
    EXPECT_EQ(plugin.temp("GetCPUTemp", instance, "0", "c", "yes"), "52\xB0");
    EXPECT_EQ(plugin.temp("GetCPUTemp", instance, "0", "F", "no"), "52");
    EXPECT_EQ(plugin.temp("GetCPUTemp", instance, "0", "c", "Y"), "52");
    EXPECT_EQ(plugin.temp("GetCPUTemp", instance, "0", "fahrenheit", "y"), "125\xB0");
    // The default profile: GPU sensor 1, DIMM 2, OTHER 3.
    EXPECT_EQ(plugin.temp("GetGPUTemp", instance, "0", "c", "no"), "45");
    EXPECT_EQ(plugin.temp("GetDIMMTemp", instance, "0", "c", "no"), "48");
    EXPECT_EQ(plugin.temp("GetOTHERTemp", instance, "0", "c", "no"), "40");

    driver.machine().smm.temperatures.erase(0);
    EXPECT_EQ(plugin.temp("GetCPUTemp", instance, "0", "f", "yes"), "ERROR: No value was present.");
    EXPECT_EQ(plugin.shutdown(instance), 0);
}

TEST_F(Readers, FanSpeedsWithAndWithoutTheDivisorAndFanStates)
{
    {
        LoadedDriver driver(notebookNamed("Latitude D810"));
        Gaugelet plugin;
        void* instance = plugin.startup();
        EXPECT_EQ(plugin.fan("GetFAN1RPM", instance, "0"), "160") << "4800 divided by 30";
        EXPECT_EQ(plugin.fan("GetFAN2RPM", instance, "0"), "0");
        plugin.shutdown(instance);
    }
    LoadedDriver driver(notebookNamed("Latitude D600"));
    Gaugelet plugin;
    void* instance = plugin.startup();
    EXPECT_EQ(plugin.fan("GetFAN1RPM", instance, "0"), "4800");
    const char* expected[] = {"Off", "Slow", "High", "ERROR: No value was present."};
    for (uint16_t state = 0; state < 4; ++state) {
        driver.machine().smm.fans[1].state = state;
        EXPECT_EQ(plugin.fan("GetFAN2Speed", instance, "0"), expected[state]);
    }
    driver.machine().smm.fans.clear();
    EXPECT_EQ(plugin.fan("GetFAN1Speed", instance, "0"), "ERROR: No value was present.");
    EXPECT_EQ(plugin.fan("GetFAN1RPM", instance, "0"), "ERROR: No value was present.");
    plugin.shutdown(instance);
}

TEST_F(Readers, AtMostOneRequestPerInstancePerPeriod)
{
    LoadedDriver driver;
    Gaugelet plugin;
    void* first = plugin.startup();
    void* second = plugin.startup();
    uint64_t before = requests();
    EXPECT_EQ(plugin.fan("GetFAN1RPM", first), "120");
    driver.machine().smm.fans[0].speed = 150;
    EXPECT_EQ(plugin.fan("GetFAN1RPM", first), "120") << "within the period: the old text";
    EXPECT_EQ(requests() - before, 1u);
    EXPECT_EQ(plugin.fan("GetFAN1RPM", second), "150");
    EXPECT_EQ(requests() - before, 2u) << "each instance sends its own request";

    win32::Clock::advance(49 * win32::kTicksPerSecond / 10);
    EXPECT_EQ(plugin.fan("GetFAN1RPM", first), "120");
    win32::Clock::advance(win32::kTicksPerSecond / 10);
    EXPECT_EQ(plugin.fan("GetFAN1RPM", first), "150");
    EXPECT_EQ(requests() - before, 3u);
    plugin.shutdown(first);
    plugin.shutdown(second);
}

TEST_F(Readers, WithoutTheDriverEveryReaderSaysSoWhateverItsParameters)
{
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    sim::installMachine(machine); // a notebook, but no driver loaded on it
    uint64_t before = requests();
    {
        Gaugelet plugin;
        void* instance = plugin.startup();
        for (const char* reader : {"GetCPUTemp", "GetGPUTemp", "GetDIMMTemp", "GetOTHERTemp"}) {
            EXPECT_EQ(plugin.temp(reader, instance, "-x", "f", "y"),
                      "ERROR: Could not load zephr driver.");
        }
        for (const char* reader : {"GetFAN1RPM", "GetFAN2RPM", "GetFAN1Speed", "GetFAN2Speed"}) {
            EXPECT_EQ(plugin.fan(reader, instance, ""), "ERROR: Could not load zephr driver.");
        }
        EXPECT_EQ(plugin.shutdown(instance), 0);
    }
    EXPECT_EQ(requests(), before) << "no report request without a device";
    sim::installMachine(nullptr);
}

TEST_F(Readers, TheModelProfileFromRealFirmware)
{
    {
        // Inspiron 8600: GPU sensor 2, DIMM sensor 1, speeds divided by 30.
        LoadedDriver driver(fixtureNotebook("i440fx-inspiron-8600"));
        Gaugelet plugin;
        void* instance = plugin.startup();
        EXPECT_EQ(plugin.temp("GetGPUTemp", instance, "0", "c", "no"), "63");
        EXPECT_EQ(plugin.temp("GetDIMMTemp", instance, "0", "c", "no"), "41");
        EXPECT_EQ(plugin.fan("GetFAN1RPM", instance, "0"), "160");
        plugin.shutdown(instance);
    }
    // Latitude D810 with trailing blanks in its product name: the divisor only.
    LoadedDriver driver(fixtureNotebook("q35-latitude-d810"));
    Gaugelet plugin;
    void* instance = plugin.startup();
    EXPECT_EQ(plugin.temp("GetGPUTemp", instance, "0", "c", "no"), "41");
    EXPECT_EQ(plugin.temp("GetDIMMTemp", instance, "0", "c", "no"), "63");
    EXPECT_EQ(plugin.fan("GetFAN2RPM", instance, "0"), "170");
    plugin.shutdown(instance);
}

// The profile as the readers show it on a notebook of that name: the GPU
// reader's sensor (2 swapped, 1 default) and fan 1's 4800 divided or not.
struct NamedProfile {
    std::string product;
    const char* gpu;
    const char* fan;
};

TEST_F(Readers, TheModelProfileFromSmbiosProductNames)
{
    const std::string filler(120, 'x');
    const NamedProfile cases[] = {
        {"Inspiron 8500", "48", "160"},
        {"Precision M60", "48", "160"},
        {"Latitude D800", "48", "160"},
        {"Inspiron 9100", "45", "160"},
        {"Latitude D610", "45", "160"},
        {"Latitude D400", "45", "4800"},
        {"inspiron 8500", "45", "4800"},
        {"Inspiron 8600 D400", "45", "4800"},
        {"  Inspiron 8600\\t ", "48", "160"}, // a JSON tab
        // A name longer than the 127 characters kept is cut: words past the
        // cut are not seen, words before it are.
        {"Inspiron " + filler + " 8600", "45", "4800"},
        {"Inspiron 8600 " + filler, "48", "160"},
    };
    for (const NamedProfile& named : cases) {
        LoadedDriver driver(notebookNamed(named.product));
        Gaugelet plugin;
        void* instance = plugin.startup();
        EXPECT_EQ(plugin.temp("GetGPUTemp", instance, "0", "c", "no"), named.gpu) << named.product;
        EXPECT_EQ(plugin.fan("GetFAN1RPM", instance, "0"), named.fan) << named.product;
        plugin.shutdown(instance);
    }
}

TEST_F(Readers, AReportWithoutAProductNameKeepsTheDefaultProfile)
{
    auto machine = fixtureNotebook("i440fx-smbios3-only"); // no 32-bit entry point
    LoadedDriver driver(machine);
    Gaugelet plugin;
    void* instance = plugin.startup();
    EXPECT_EQ(plugin.temp("GetGPUTemp", instance, "0", "c", "no"), "41");
    EXPECT_EQ(plugin.fan("GetFAN1RPM", instance, "0"), "4800");
    plugin.shutdown(instance);
}

TEST_F(Readers, ARequestThatFailsOutrightShowsNoValueNotAStaleOne)
{
    // Windows unloads only after the last handle; the kernel fault makes the
    // driver go while the library still holds its handle.
    LoadedDriver driver(nullptr, {.unloadWithHandlesOpen = true});
    Gaugelet plugin;
    void* instance = plugin.startup();
    EXPECT_EQ(plugin.temp("GetCPUTemp", instance, "0", "c", "no"), "52");
    // The driver goes while the library holds its handle: requests now fail.
    driver.unload();
    EXPECT_EQ(plugin.temp("GetCPUTemp", instance, "0", "c", "no"), "ERROR: No value was present.");
    EXPECT_EQ(plugin.fan("GetFAN2Speed", instance, "0"), "ERROR: No value was present.");
    plugin.shutdown(instance);
}

} // namespace
