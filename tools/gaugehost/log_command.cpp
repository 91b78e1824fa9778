// SPDX-License-Identifier: MIT
// log_command.cpp
//
// gaugehost log: the readers called at their period without a terminal UI,
// one record per refresh.
#include "tools/gaugehost/commands.h"

#include "tools/gaugehost/cp1252.h"
#include "tools/gaugehost/model_profile_view.h"
#include "tools/gaugehost/notebook_controls.h"
#include "tools/gaugehost/notebook_device.h"
#include "tools/gaugehost/program_environment.h"
#include "tools/gaugehost/reader_set.h"
#include "tools/gaugehost/sensor_reading.h"

#include <chrono>
#include <stdexcept>
#include <thread>

namespace gaugehost {

namespace {

constexpr int64_t kTicksPerSecond = 10000000;
// A little past the period, so each reader is due at every record.
constexpr auto kRefreshMargin = std::chrono::milliseconds(50);

uint64_t fileTimeNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

std::vector<LogField> recordFields(const ReaderSet& readers, const std::vector<std::string>& texts,
                                   unsigned fanDivisor, uint64_t time)
{
    std::vector<LogField> fields = {{"time", isoTime(time), std::nullopt}};
    for (size_t i = 0; i < readers.size() && i < texts.size(); ++i) {
        const std::string& name = readers.binding(i).name;
        fields.push_back({name, cp1252ToDisplay(texts[i]), std::nullopt});
        if (const SensorRow* row = findSensorRow(name))
            fields.push_back(
                {row->key, std::nullopt, interpretReading(row->kind, texts[i], fanDivisor)});
    }
    return fields;
}

// Waits for the period, or less when a stop is asked for; false then.
bool waitPeriod(int seconds, bool simulated)
{
    if (simulated) {
        moveClock(int64_t(seconds) * kTicksPerSecond);
        letNotebookRun(seconds);
        return !stopRequested();
    }
    const auto start = std::chrono::steady_clock::now();
    const auto end = start + std::chrono::seconds(seconds) + kRefreshMargin;
    while (std::chrono::steady_clock::now() < end) {
        if (stopRequested())
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    letNotebookRun(std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
    return !stopRequested();
}

} // namespace

void runLog(const PluginLibrary& library, const LogOptions& options, std::ostream& out)
{
    ReaderSet readers(library, options.interval);
    NotebookDevice device;
    const unsigned divisor = modelProfileFor(device.modelName()).fanDivisor;
    catchStopRequests();
    for (long written = 0; options.count == 0 || written < options.count; ++written) {
        if (written > 0 && !waitPeriod(readers.periodSeconds(), options.simulatedTime))
            break;
        const uint64_t time = fileTimeNow();
        // Celsius without the degree sign: the values are numbers to be read back.
        const auto fields = recordFields(readers, readers.read("c", "no"), divisor, time);
        if (written == 0 && options.format == LogFormat::Csv)
            out << csvHeader(fields);
        out << (options.format == LogFormat::Csv ? csvRecord(fields) : jsonRecord(fields));
        out.flush();
        if (!out)
            throw std::runtime_error("log: the records could not be written");
        if (stopRequested())
            break;
    }
}

} // namespace gaugehost
