// SPDX-License-Identifier: MIT
// panel.cpp
//
// The live panel: the readers and what they read, the keys and the loop.
#include "tools/gaugehost/panel/panel.h"

#include "tools/common/living_notebook.h"
#include "plugin/vocabulary.h"

#include "tools/gaugehost/plugin_host/cp1252.h"
#include "tools/gaugehost/log/log_record.h"
#include "tools/gaugehost/plugin_host/notebook_controls.h"
#include "tools/gaugehost/panel/notebook_device.h"
#include "tools/gaugehost/panel/panel_frame.h"
#include "tools/gaugehost/panel/panel_terminal.h"
#include "tools/gaugehost/plugin_host/program_environment.h"
#include "tools/gaugehost/plugin_host/reader_set.h"
#include "tools/gaugehost/plugin_host/sensor_reading.h"
#include "tools/gaugehost/panel/value_history.h"

#include <algorithm>
#include <cmath>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace gaugehost {

namespace {

constexpr double kMessageSeconds = 5;
constexpr size_t kTrendColumns = 16;
constexpr uint64_t kTicksPerMillisecond = 10000;
// The longest wait for a key, so a stop is seen soon.
constexpr uint64_t kLongestKeyWait = 250 * kTicksPerMillisecond;

double secondsNow()
{
    return double(fileTimeNow()) / 1e7;
}

bool fahrenheit(const std::string& unit)
{
    return !unit.empty() && unit[0] == 'f';
}

// Whole degrees Celsius in the unit shown, Fahrenheit computed as the plug-in
// computes it (times 9, divided by 5 with the fraction dropped, plus 32), so
// a value kept in Celsius shows as the reader's own Fahrenheit text. A
// Fahrenheit text read back to Celsius is at most 4/9 degree below the
// Celsius it came from, so rounding finds that again.
std::string degreesText(long celsius, const std::string& unit)
{
    return fahrenheit(unit) ? std::to_string(GaugeletFahrenheit(celsius)) + " \u00B0F"
                            : std::to_string(celsius) + " \u00B0C";
}

// What the panel keeps of each reader: temperatures in Celsius, so a unit
// switch keeps the history.
struct Watched {
    const SensorRow* row = nullptr;
    ValueHistory history;
};

class Monitor {
  public:
    Monitor(const ReaderSet& readers, const GaugeletProfile& profile, const PanelOptions& options)
        : profile_(profile), options_(options)
    {
        for (size_t i = 0; i < readers.size(); ++i)
            watched_.push_back({findSensorRow(readers.binding(i).name), ValueHistory()});
        for (size_t i = 0; i < readers.size(); ++i)
            names_.push_back(readers.binding(i).name);
    }

    // The readers refreshed: their values join the history.
    void record(const std::vector<std::string>& texts, const std::string& unit)
    {
        for (size_t i = 0; i < watched_.size() && i < texts.size(); ++i)
            if (auto value = valueOf(i, texts[i], unit))
                watched_[i].history.add(*value);
    }

    std::vector<PanelRow> rows(const std::vector<std::string>& texts, const std::string& unit) const
    {
        std::vector<PanelRow> rows;
        for (size_t i = 0; i < watched_.size() && i < texts.size(); ++i)
            rows.push_back(row(i, texts[i], unit));
        return rows;
    }

    std::string status(bool deviceOpen, const std::vector<std::string>& texts) const
    {
        std::vector<std::string> missing;
        size_t known = 0;
        for (size_t i = 0; i < watched_.size() && i < texts.size(); ++i) {
            if (texts[i] == GAUGELET_DRIVER_MISSING_TEXT || !deviceOpen)
                return "zephr driver not loaded";
            if (!texts[i].empty() && texts[i][0] == '(')
                return "the plug-in's " + names_[i] + " could not be called";
            if (watched_[i].row == nullptr)
                continue;
            ++known;
            if (texts[i] == GAUGELET_NO_VALUE_TEXT)
                missing.push_back(watched_[i].row->label);
        }
        if (known > 0 && missing.size() == known)
            return "the BIOS does not answer SMM calls";
        if (!missing.empty()) {
            std::string list;
            for (const std::string& label : missing) {
                if (!list.empty())
                    list += ", ";
                list += label;
            }
            return "no value from " + list;
        }
        return "ok";
    }

    // The hottest temperature at a limit, as the status line names it:
    // "CPU temperature 97 °C is above critical 95 °C"; nothing when every
    // temperature is below the warn limit.
    struct Hot {
        std::string text;
        ValueLevel level;
    };
    std::optional<Hot> hottest(const std::vector<std::string>& texts, const std::string& unit) const
    {
        std::optional<Hot> hot;
        double hottest = 0;
        ValueLevel level = ValueLevel::Normal;
        for (size_t i = 0; i < watched_.size() && i < texts.size(); ++i) {
            const SensorRow* row = watched_[i].row;
            const auto value = valueOf(i, texts[i], unit);
            if (!row || row->kind != ReadingKind::Temperature || !value)
                continue;
            const ValueLevel at = levelOf(*value);
            if (at == ValueLevel::Normal || at < level || (at == level && *value <= hottest))
                continue;
            level = at;
            hottest = *value;
            const bool critical = at == ValueLevel::Critical;
            const int limit = critical ? options_.criticalCelsius : options_.warnCelsius;
            const long shown = std::lround(*value);
            hot = Hot{std::string(row->label) + " " + degreesText(shown, unit) +
                          (shown > limit ? " is above " : " is at ") +
                          (critical ? "critical " : "warn ") + degreesText(limit, unit),
                      at};
        }
        return hot;
    }

  private:
    ValueLevel levelOf(double celsius) const
    {
        if (celsius >= options_.criticalCelsius)
            return ValueLevel::Critical;
        if (celsius >= options_.warnCelsius)
            return ValueLevel::Warning;
        return ValueLevel::Normal;
    }

    std::optional<double> valueOf(size_t i, const std::string& text, const std::string& unit) const
    {
        const SensorRow* row = watched_[i].row;
        if (row == nullptr)
            return std::nullopt;
        auto value = interpretReading(row->kind, text, profile_.FanDivisor);
        if (!value)
            return std::nullopt;
        if (row->kind == ReadingKind::Temperature && fahrenheit(unit))
            return fahrenheitToCelsius(double(*value));
        return double(*value);
    }

    std::string shown(const SensorRow& row, double value, const std::string& unit) const
    {
        switch (row.kind) {
        case ReadingKind::Temperature:
            return degreesText(std::lround(value), unit);
        case ReadingKind::FanSpeed:
            return std::to_string(std::lround(value)) + " rpm";
        default: {
            const long state = std::lround(value);
            return state >= 0 && state < GAUGELET_FAN_STATE_COUNT ? GaugeletFanStateNames[state]
                                                                  : std::to_string(state);
        }
        }
    }

    PanelRow row(size_t i, const std::string& text, const std::string& unit) const
    {
        PanelRow row;
        const Watched& watched = watched_[i];
        row.label = watched.row ? watched.row->label : names_[i];
        row.text = cp1252ToDisplay(text);
        const auto value = valueOf(i, text, unit);
        if (!watched.row || !value)
            return row;
        row.value = shown(*watched.row, *value, unit);
        if (!watched.history.empty()) {
            row.minimum = shown(*watched.row, watched.history.minimum(), unit);
            row.maximum = shown(*watched.row, watched.history.maximum(), unit);
            row.trend = sparkline(watched.history.recent(), kTrendColumns);
        }
        if (watched.row->kind == ReadingKind::Temperature)
            row.level = levelOf(*value);
        return row;
    }

    GaugeletProfile profile_;
    PanelOptions options_;
    std::vector<Watched> watched_;
    std::vector<std::string> names_;
};

// The plug-in's requests: all the process sent less the panel's own.
std::string requestLine(unsigned panelRequests)
{
    try {
        const uint64_t all = deviceRequestCount();
        const uint64_t plugin = all >= panelRequests ? all - panelRequests : 0;
        return "device requests sent: " + std::to_string(plugin) + " by the plug-in, " +
               std::to_string(panelRequests) + " by the panel";
    } catch (const std::exception&) {
        return "device requests by the panel: " + std::to_string(panelRequests) +
               " (the plug-in's are counted on the host build)";
    }
}

std::string profileLine(const GaugeletProfile& profile)
{
    return "profile: sensors CPU " + std::to_string(profile.Sensor[GaugeletCpu]) + ", GPU " +
           std::to_string(profile.Sensor[GaugeletGpu]) + ", memory " +
           std::to_string(profile.Sensor[GaugeletDimm]) + ", other " +
           std::to_string(profile.Sensor[GaugeletOther]) +
           (profile.FanDivisor > 1
                ? "; fan speed texts are rpm / " + std::to_string(profile.FanDivisor)
                : "; fan speed texts are rpm");
}

std::string limitsLine(int period, const PanelOptions& options, const std::string& unit)
{
    auto degrees = [&](int celsius) { return degreesText(celsius, unit); };
    return "readers refresh every " + std::to_string(period) + " s; temperatures warn at " +
           degrees(options.warnCelsius) + ", critical at " + degrees(options.criticalCelsius);
}

std::string stateName(unsigned state)
{
    return state < GAUGELET_FAN_STATE_COUNT ? GaugeletFanStateNames[state]
                                            : "state " + std::to_string(state);
}

} // namespace

bool FanKeeper::set(unsigned fan, unsigned state)
{
    auto known = std::find_if(changed_.begin(), changed_.end(),
                              [fan](const Changed& changed) { return changed.fan == fan; });
    if (known == changed_.end()) {
        const std::optional<unsigned> before = read_(fan);
        changed_.push_back({fan, before, before});
        known = changed_.end() - 1;
    }
    const bool done = set_(fan, state);
    if (done) {
        known->now = state;
        known->set = true;
    }
    return done;
}

FanKeeper::Restored FanKeeper::restore()
{
    std::string restored;
    std::string left;
    for (Changed& changed : changed_) {
        if (!changed.set)
            continue; // every setting was refused: the fan is as it was
        const std::string fan = "fan " + std::to_string(changed.fan);
        if (changed.before && changed.now == changed.before) {
            restored += (restored.empty() ? "" : ", ") + fan + " " + stateName(*changed.before);
            continue;
        }
        std::string why;
        if (!changed.before)
            why = "its state before the panel set it could not be read";
        else if (set_(changed.fan, *changed.before))
            changed.now = changed.before;
        else
            why = "setting it back to " + stateName(*changed.before) + " was refused";
        if (why.empty()) {
            restored += (restored.empty() ? "" : ", ") + fan + " " + stateName(*changed.before);
            continue;
        }
        left += (left.empty() ? "" : "; ") + fan + " left " +
                (changed.now ? stateName(*changed.now) : std::string("in an unknown state")) +
                " (" + why + ")";
    }
    Restored result;
    result.complete = left.empty();
    if (!restored.empty())
        result.line = "fans restored: " + restored;
    if (!left.empty())
        result.line += (result.line.empty() ? "" : "; ") + left;
    return result;
}

bool applyPanelKey(char key, PanelSettings& settings, const FanStateSetter& setFanState)
{
    if (key == 'q' || key == 'Q')
        return false;
    if (key == 'f' || key == 'F') {
        const bool toFahrenheit = settings.unit != "f";
        settings.unit = std::string(toFahrenheit ? "f" : "c");
        settings.message =
            std::string(toFahrenheit ? "temperatures in Fahrenheit" : "temperatures in Celsius");
    } else if (key == 'd' || key == 'D') {
        const bool show = settings.degree != "yes";
        settings.degree = std::string(show ? "yes" : "no");
        settings.message = std::string(show ? "degree sign shown" : "degree sign hidden");
    } else if (key == 'l' || key == 'L') {
        if (!settings.loadAdjustable) {
            settings.message = "the load is the notebook's own (the host build's simulated "
                               "notebook takes one)";
            return true;
        }
        // varying -> 0 -> 25 -> ... -> 100 -> varying
        if (!settings.load)
            settings.load = 0;
        else if (*settings.load >= tools::kMaxLoadPercent)
            settings.load.reset();
        else
            settings.load = std::min(*settings.load / 25 * 25 + 25, tools::kMaxLoadPercent);
        settings.message = "load " + tools::loadText(settings.load) +
                           " (the temperatures follow over the next minute)";
    } else if ((key >= '0' && key <= '2') || (key >= '7' && key <= '9')) {
        const unsigned fan = key <= '2' ? 0 : 1;
        const unsigned state = key <= '2' ? unsigned(key - '0') : unsigned(key - '7');
        const bool done = setFanState(fan, state);
        settings.message = "fan " + std::to_string(fan);
        settings.message += done ? " set to " : " was not set to ";
        settings.message += GaugeletFanStateNames[state];
        settings.message += done ? " (the readers show it at their next refresh)"
                                 : " (the driver or the BIOS refused)";
    }
    return true;
}

namespace {

// The fans as the panel found them, and the line that says so; throws when
// a fan is left as the panel set it.
void giveFansBack(FanKeeper& fans, std::ostream& out)
{
    const FanKeeper::Restored restored = fans.restore();
    if (!restored.complete)
        throw std::runtime_error("panel: " + restored.line);
    if (!restored.line.empty())
        out << restored.line << "\n" << std::flush;
}

} // namespace

void runPanel(const PluginLibrary& library, const PanelOptions& options, std::ostream& out)
{
    ReaderSet readers(library, options.interval);
    NotebookDevice device;
    const std::string productName = device.modelName();
    const std::string model = cp1252ToDisplay(productName);
    const std::string version = device.driverVersion();
    const GaugeletProfile profile = GaugeletProfileFor(productName.c_str());
    Monitor monitor(readers, profile, options);
    PanelSettings settings;
    settings.unit = readers.defaultUnit();
    settings.degree = readers.defaultDegree();
    FanKeeper fans(
        [&device](unsigned fan) { return device.fanState(fan); },
        [&device](unsigned fan, unsigned state) { return device.setFanState(fan, state); });
    // Given back before the fans' line is written, so the line stays on
    // the screen.
    std::optional<PanelTerminal> terminal(std::in_place);
    const bool live = terminal->interactive() && !options.once;
    // One frame is one moment: the notebook lives only while it is watched.
    std::optional<tools::LivingNotebook> notebook;
    if (live)
        notebook.emplace(options.load);
    settings.load = options.load;
    settings.loadAdjustable = live && tools::LivingNotebook::loadAdjustable();
    auto setFanState = [&fans](unsigned fan, unsigned state) { return fans.set(fan, state); };

    std::vector<std::string> texts = readers.read(settings.unit, settings.degree);
    monitor.record(texts, settings.unit);
    // Refreshes on a grid from the first, as log's records: what the reads
    // and the drawing take does not add up.
    RecordSchedule schedule(fileTimeNow(),
                            uint64_t(readers.periodSeconds()) * 1000 * kTicksPerMillisecond);
    uint64_t due = schedule.next(fileTimeNow()).due;
    double messageAt = 0;
    auto draw = [&] {
        PanelFrame frame;
        frame.model = model;
        frame.driverVersion = version;
        frame.status = monitor.status(device.open(), texts);
        if (const auto hot = monitor.hottest(texts, settings.unit)) {
            // A value at a limit comes first; what else is wrong follows.
            frame.status = hot->text + (frame.status == "ok" ? "" : "; " + frame.status);
            frame.statusLevel = hot->level;
        }
        frame.profile = device.open()
                            ? profileLine(profile)
                            : "profile: none (the plug-in learns the model from the driver)";
        frame.limits = limitsLine(readers.periodSeconds(), options, settings.unit);
        frame.rows = monitor.rows(texts, settings.unit);
        frame.requests = requestLine(device.requestsSent());
        frame.message = settings.message;
        frame.interactive = live;
        frame.color = live && options.color && terminal->colors();
        frame.width = live ? terminal->columns() : 80;
        const std::string text = formatPanelFrame(frame);
        if (live)
            terminal->show(text);
        else
            out << text << std::flush;
    };
    draw();
    if (!live) {
        // A frame for a script or a check: its exit status tells what the
        // header says.
        if (monitor.status(device.open(), texts) == "zephr driver not loaded")
            throw std::runtime_error("panel: the zephr driver is not loaded");
        return;
    }

    // Until q, Ctrl-C or the terminal's hang-up.
    auto watch = [&] {
        for (;;) {
            bool changed = false;
            const uint64_t before = fileTimeNow();
            const uint64_t wait = due > before ? std::min(due - before, kLongestKeyWait) : 0;
            if (auto key = terminal->readKey(int(wait / kTicksPerMillisecond))) {
                const PanelSettings before = settings;
                if (!applyPanelKey(*key, settings, setFanState))
                    return;
                if (settings.load != before.load)
                    notebook->setLoad(settings.load);
                if (settings.unit != before.unit || settings.degree != before.degree) {
                    // New instances refresh at their first call: every
                    // temperature shows the new unit at once, not at its
                    // next period.
                    readers.restartTemperatureReaders();
                    texts = readers.read(settings.unit, settings.degree);
                }
                messageAt = secondsNow();
                changed = true;
            }
            if (stopRequested())
                return;
            if (fileTimeNow() >= due) {
                // Fresh instances: their first call always asks the driver,
                // so a refresh a few milliseconds short of the last one's
                // period is not a text the throttle kept.
                readers.restartAll();
                texts = readers.read(settings.unit, settings.degree);
                monitor.record(texts, settings.unit);
                due = schedule.next(fileTimeNow()).due;
                changed = true;
            }
            const double now = secondsNow();
            if (!settings.message.empty() && now - messageAt >= kMessageSeconds) {
                settings.message.clear();
                changed = true;
            }
            if (terminal->needsRedraw() || changed)
                draw();
        }
    };
    try {
        watch();
    } catch (...) {
        terminal.reset();
        giveFansBack(fans, out);
        throw;
    }
    terminal.reset();
    giveFansBack(fans, out);
}

} // namespace gaugehost
