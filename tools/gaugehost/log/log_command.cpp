// SPDX-License-Identifier: MIT
// log_command.cpp
//
// gaugehost log: the readers called at their period without a terminal UI,
// one record per refresh.
#include "tools/gaugehost/log/log_command.h"

#include "common/bounded_file.h"

#include "tools/common/living_notebook.h"
#include "plugin/vocabulary.h"
#include "tools/common/session.h"

#include "tools/gaugehost/plugin_host/cp1252.h"
#include "tools/gaugehost/plugin_host/notebook_controls.h"
#include "tools/gaugehost/panel/notebook_device.h"
#include "tools/gaugehost/plugin_host/program_environment.h"
#include "tools/gaugehost/plugin_host/reader_set.h"
#include "tools/gaugehost/plugin_host/sensor_reading.h"

#include "tools/gaugehost/log/log_table.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

namespace gaugehost {

namespace {

constexpr int64_t kTicksPerSecond = 10000000;

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

// Waits until the record is due, or less when a stop is asked for; false
// then. On the simulated clock the clock is moved there without waiting.
bool waitUntil(uint64_t due, bool simulated)
{
    const uint64_t start = fileTimeNow();
    if (due > start) {
        if (simulated) {
            moveClock(int64_t(due - start));
        } else {
            for (uint64_t now = start; now < due; now = fileTimeNow()) {
                if (stopRequested())
                    return false;
                const uint64_t left = (due - now) / 10; // microseconds
                std::this_thread::sleep_for(std::chrono::microseconds(
                    std::min<uint64_t>(left + 1, 20000))); // short steps, so Ctrl-C is seen at once
            }
        }
    }
    return !stopRequested();
}

// This log's columns must be those of the log it is appended to.
void checkColumns(const LogOptions::Existing& existing, LogFormat format,
                  const std::vector<LogField>& fields)
{
    const bool csv = format == LogFormat::Csv;
    if (existing.format != format)
        throw std::runtime_error("log --append: " + existing.file + " holds " +
                                 (csv ? "JSON Lines" : "CSV") + ", not " +
                                 (csv ? "CSV" : "JSON Lines") + " (--format)");
    for (size_t i = 0; i < fields.size() || i < existing.columns.size(); ++i) {
        const std::string there = i < existing.columns.size() ? existing.columns[i] : "nothing";
        const std::string here = i < fields.size() ? fields[i].name : "nothing";
        // The file's own text is not all shown; main escapes what is.
        if (there != here)
            throw std::runtime_error("log --append: the columns of " + existing.file +
                                     " are not this log's: column " + std::to_string(i + 1) +
                                     " is '" + there.substr(0, 40) + "' there and '" + here +
                                     "' here (a log of other readers?)");
    }
}

} // namespace

std::optional<LogOptions::Existing> existingLog(const std::string& file)
{
    if (!std::filesystem::exists(file))
        return std::nullopt;
    try {
        bounded::requireRegularFile(file, "log --append:");
    } catch (const bounded::FileError& error) {
        throw tools::InputFileError(error.what());
    }
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("log --append: " + file +
                                 " cannot be read: " + std::strerror(errno));
    // The first line only, and no more of it than a log's line can be.
    std::string first(kMaxLogLine + 1, '\0');
    in.getline(first.data(), std::streamsize(first.size()));
    if (in.fail() && !in.eof())
        throw tools::InputFileError("log --append: " + file + ": a first line longer than " +
                                    std::to_string(kMaxLogLine / 1024) +
                                    " KiB (not a log of gaugehost log?)");
    first.resize(size_t(in.gcount()));
    if (!first.empty() && first.back() == '\0')
        first.pop_back();
    if (first.empty())
        return std::nullopt;
    LogOptions::Existing existing;
    existing.file = file;
    existing.format = first[0] == '{' ? LogFormat::JsonLines : LogFormat::Csv;
    try {
        existing.columns = logColumns(first, file);
    } catch (const std::exception& error) {
        throw std::runtime_error("log --append: " + file + " is not a log to append to (" +
                                 error.what() + ")");
    }
    in.clear();
    in.seekg(-1, std::ios::end);
    char last = '\n';
    existing.cut = in.get(last) && last != '\n';
    return existing;
}

void runLog(const PluginLibrary& library, const LogOptions& options, std::ostream& out,
            std::ostream& warnings)
{
    tools::LivingNotebook notebook(options.load);
    ReaderSet readers(library, options.interval);
    NotebookDevice device;
    const unsigned divisor = GaugeletProfileFor(device.modelName().c_str()).FanDivisor;
    catchStopRequests();
    const bool csv = options.format == LogFormat::Csv;
    const uint64_t period = uint64_t(readers.periodSeconds()) * kTicksPerSecond;
    RecordSchedule schedule(fileTimeNow(), period);
    for (long written = 0; options.count == 0 || written < options.count; ++written) {
        if (written > 0) {
            const RecordSchedule::Next next = schedule.next(fileTimeNow());
            if (next.missed > 0)
                warnings << "gaugehost: log: " << next.missed << " record"
                         << (next.missed == 1 ? "" : "s") << " missed before " << isoTime(next.due)
                         << " (the computer slept or the clock moved); the log goes on\n";
            if (!waitUntil(next.due, options.simulatedTime))
                break;
            // Fresh instances: their first call always asks the driver, so a
            // record is never a text the throttle kept from the last one.
            readers.restartAll();
        }
        const uint64_t time = fileTimeNow();
        // Celsius without the degree sign: the values are numbers to be read back.
        const auto fields = recordFields(readers, readers.read("c", "no"), divisor, time);
        if (written == 0 && options.appendTo) {
            checkColumns(*options.appendTo, options.format, fields);
            if (options.appendTo->cut)
                out << "\n"; // the cut line stays alone; plot skips it
        }
        if (written == 0 && csv && !options.appendTo)
            out << csvHeader(fields);
        out << (csv ? csvRecord(fields) : jsonRecord(fields));
        out.flush();
        if (!out)
            throw std::runtime_error("log: the records could not be written");
        if (stopRequested())
            break;
    }
}

} // namespace gaugehost
