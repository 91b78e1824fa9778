// SPDX-License-Identifier: MIT
// counts.cpp
//
// Figures where the count is the cost. Every SMI stalls the whole notebook,
// so a refresh of the eight readers should make exactly eight, and calls
// between refreshes none, nor any allocation or new text. zephrctl summary
// and the system information requests should map the BIOS window once and
// the SMBIOS table (when it lies outside the F segment) once, whatever the
// number of requests.
#include "bench/notebook.h"
#include "bench/process_run.h"
#include "bench/sections.h"

#include "common/zephr_ioctl.h"
#include "plugin/vocabulary.h"
#include "platform/host-nt/nt_host.h"
#include "platform/host-win32/win32_host.h"

#include <nlohmann/json.hpp>

#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

namespace bench {

namespace {

constexpr uint64_t kStillClock = 133000000000000000ull;
constexpr int kCachedCycles = 1000;
constexpr int kSysinfoRequests = 1000;

Figure Count(const std::string& name, uint64_t value, uint64_t floor, const std::string& floorName)
{
    Figure f;
    f.group = "count";
    f.name = name;
    f.unit = "count";
    f.value = static_cast<double>(value);
    f.floor = static_cast<double>(floor);
    f.floorName = floorName;
    f.goal = 1.0;
    return f;
}

// True when the notebook's SMBIOS structure table lies outside physical
// 0xF0000-0xFFFFF, so the driver needs a mapping of its own for it. Found
// the way a BIOS reader finds it, independently of the driver.
bool TableNeedsOwnMapping(const sim::Machine& machine)
{
    std::vector<uint8_t> segment(0x10000);
    machine.memory.read(0xF0000, segment.data(), segment.size());
    for (size_t at = 0; at + 0x20 <= segment.size(); at += 4) {
        if (std::memcmp(&segment[at], "_SM_", 4) != 0)
            continue;
        const size_t length = segment[at + 5];
        if (at + length > segment.size())
            continue;
        uint8_t sum = 0;
        for (size_t i = 0; i < length; ++i)
            sum = static_cast<uint8_t>(sum + segment[at + i]);
        if (sum != 0)
            continue;
        if (std::memcmp(&segment[at + 0x10], "_DMI_", 5) != 0)
            return false;
        uint32_t table = 0;
        std::memcpy(&table, &segment[at + 0x18], 4);
        return table - 0xF0000u > 0xFFFFu;
    }
    return false; // no entry point: nothing to map
}

void ReaderCycleFigures(std::vector<Figure>& figures)
{
    Notebook notebook(BuiltinNotebook(), true);
    win32::Clock::useSimulated(kStillClock);
    auto& io = nt::IoManager::instance();
    {
        Plugin plugin;
        struct Bound {
            TemperatureReader temperature = nullptr;
            FanReader fan = nullptr;
            void* instance = nullptr;
            const char* text = nullptr;
        };
        std::vector<Bound> readers;
        for (const GaugeletReader& reader : GaugeletReaders)
            readers.push_back(
                reader.Kind == GaugeletTemperature
                    ? Bound{plugin.temperatureReader(reader.Export), nullptr, plugin.startup()}
                    : Bound{nullptr, plugin.fanReader(reader.Export), plugin.startup()});
        auto cycle = [&] {
            for (Bound& r : readers)
                r.text = r.temperature ? r.temperature(r.instance, "5", "c", "no")
                                       : r.fan(r.instance, "5");
        };

        cycle(); // every instance's first call refreshes
        win32::Clock::advance(5 * win32::kTicksPerSecond);
        uint64_t smis = notebook.machine().smiCount();
        cycle();
        figures.push_back(Count("SMIs per refresh cycle of the eight readers",
                                notebook.machine().smiCount() - smis, 8, "one per reader"));

        // Between refreshes: mark each kept text, so a call that formats
        // it anew or returns another buffer shows.
        std::vector<const char*> kept;
        for (Bound& r : readers) {
            // The error texts may be constants; the built-in notebook gives values.
            if (std::strncmp(r.text, "ERROR", 5) == 0)
                throw std::runtime_error(std::string("a reader answered \"") + r.text +
                                         "\" on the built-in notebook");
            std::strcpy(const_cast<char*>(r.text), "kept");
            kept.push_back(r.text);
        }
        smis = notebook.machine().smiCount();
        const uint64_t requests = io.deviceControlCount();
        uint64_t rewritten = 0;
        StartCountingAllocations();
        for (int i = 0; i < kCachedCycles; ++i) {
            cycle();
            for (size_t k = 0; k < readers.size(); ++k)
                rewritten += readers[k].text != kept[k] || std::strcmp(kept[k], "kept") != 0;
        }
        const uint64_t allocations = StopCountingAllocations();
        const std::string cycles = std::to_string(kCachedCycles) + " cached cycles";
        figures.push_back(Count("SMIs in " + cycles, notebook.machine().smiCount() - smis, 0,
                                "none between refreshes"));
        figures.push_back(Count("device requests in " + cycles, io.deviceControlCount() - requests,
                                0, "none between refreshes"));
        figures.push_back(
            Count("allocations in " + cycles, allocations, 0, "the instance's kept text"));
        figures.push_back(
            Count("texts formatted anew in " + cycles, rewritten, 0, "the instance's kept text"));
        for (Bound& r : readers)
            plugin.shutdown(r.instance);
    }
    win32::Clock::useReal();
}

// A notebook whose SMBIOS table lies above 1 MiB, where the driver needs a
// mapping of its own for it, as a machine file zephrctl can read too.
constexpr const char* kHighTable = "table above 1 MiB";

std::string WriteHighTableMachineFile(const std::filesystem::path& folder)
{
    auto path = folder / "high-table.json";
    std::ofstream(path)
        << R"({ "smm": { "temperatures": { "0": 52, "1": 45, "2": 48, "3": 40 },)"
        << R"( "fans": [ { "state": 1, "speed": 120 }, { "state": 1, "speed": 115 } ] },)"
        << R"( "smbios": { "entry_point_address": "0xF0000", "table_address": "0x100000",)"
        << R"( "structures": [ { "type": 1, "formatted": "01 02 00 03",)"
        << R"( "strings": [ "Nord", "Inspiron 8600", "TAG" ] }, { "type": 127 } ] } })";
    return path.string();
}

std::filesystem::path ScratchFolder()
{
    namespace fs = std::filesystem;
    const fs::path folder = fs::temp_directory_path() / ("zephr-bench-" + std::to_string(getpid()));
    fs::create_directories(folder);
    return folder;
}

std::shared_ptr<sim::Machine> NamedNotebook(const std::string& name)
{
    if (name == kHighTable) {
        auto file = WriteHighTableMachineFile(ScratchFolder());
        return std::shared_ptr<sim::Machine>(sim::Machine::fromFile(file));
    }
    return FixtureNotebook(name);
}

void SysinfoMappingFigures(std::vector<Figure>& figures)
{
    std::vector<std::string> names(std::begin(kFixtureImages), std::end(kFixtureImages));
    names.push_back(kHighTable);
    for (const std::string& image : names) {
        Notebook notebook(NamedNotebook(image), true);
        const bool own = TableNeedsOwnMapping(notebook.machine());
        notebook.machine().trace.clear();
        std::vector<uint8_t> report(ZEPHR_SYSINFO_LENGTH);
        for (int i = 0; i < kSysinfoRequests; ++i)
            Request(notebook.device(), IOCTL_ZEPHR_GET_SYSINFO, nullptr, 0, report.data(),
                    ZEPHR_SYSINFO_LENGTH);
        const auto maps = notebook.machine().trace.linesStartingWith("map ").size();
        figures.push_back(Count(
            "table mappings by " + std::to_string(kSysinfoRequests) + " sysinfo requests, " + image,
            maps, own ? 1 : 0, own ? "the table's own, once" : "the table is in the window"));
    }
}

// A machine file for zephrctl: the fixture image with the built-in SMM values.
std::string WriteMachineFile(const std::filesystem::path& folder, const std::string& image)
{
    const nlohmann::json machine = {
        {"name", image},
        {"smm",
         {{"temperatures", {{"0", 52}, {"1", 45}, {"2", 48}, {"3", 40}}},
          {"fans", {{{"state", 1}, {"speed", 120}}, {{"state", 1}, {"speed", 115}}}}}},
        {"memory", nlohmann::json::array({FixtureFolder(image)})}};
    auto path = folder / (image + ".json");
    std::ofstream(path) << machine.dump();
    return path.string();
}

void SummaryFigures(std::vector<Figure>& figures)
{
    namespace fs = std::filesystem;
    const fs::path folder = ScratchFolder();
    const std::string traceFile = (folder / "trace.txt").string();

    std::vector<std::pair<std::string, std::shared_ptr<sim::Machine>>> notebooks = {
        {"built-in notebook", BuiltinNotebook()}};
    for (const char* image : kFixtureImages)
        notebooks.push_back({image, FixtureNotebook(image)});
    notebooks.push_back({kHighTable, NamedNotebook(kHighTable)});

    for (const auto& [name, machine] : notebooks) {
        std::vector<std::string> argv = {paths().zephrctl};
        if (name == kHighTable)
            argv.insert(argv.end(), {"--machine", WriteHighTableMachineFile(folder)});
        else if (name != "built-in notebook")
            argv.insert(argv.end(), {"--machine", WriteMachineFile(folder, name)});
        argv.insert(argv.end(), {"--trace", "summary"});
        ProcessCost cost = RunProcess(argv, "/dev/null", traceFile);
        if (cost.exitStatus != 0)
            throw std::runtime_error("zephrctl summary on " + name + " exited with " +
                                     std::to_string(cost.exitStatus) + " (trace in " + traceFile +
                                     ")");
        uint64_t smis = 0, maps = 0;
        std::ifstream trace(traceFile);
        for (std::string line; std::getline(trace, line);) {
            smis += line.rfind("smi ", 0) == 0;
            maps += line.rfind("map ", 0) == 0;
        }
        const bool own = TableNeedsOwnMapping(*machine);
        figures.push_back(Count("SMIs by zephrctl summary, " + name, smis, 8,
                                "4 temperatures, 2 fan states, 2 fan speeds"));
        figures.push_back(Count("mappings by zephrctl summary, " + name, maps, own ? 2 : 1,
                                own ? "BIOS window + table" : "BIOS window"));
    }
}

} // namespace

std::vector<Figure> CountFigures()
{
    std::vector<Figure> figures;
    ReaderCycleFigures(figures);
    SysinfoMappingFigures(figures);
    SummaryFigures(figures);
    std::filesystem::remove_all(ScratchFolder());
    return figures;
}

} // namespace bench
