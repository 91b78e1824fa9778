// SPDX-License-Identifier: MIT
// reader_set.cpp
//
// The readers' instances and their calls.
#include "tools/gaugehost/plugin_host/reader_set.h"

#include <cstdlib>

#include <windows.h>

namespace gaugehost {

uint64_t fileTimeNow()
{
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    return (uint64_t(now.dwHighDateTime) << 32) | now.dwLowDateTime;
}

bool isTemperatureReader(const ReaderBinding& binding)
{
    return binding.parameters.size() == 3;
}

ReaderSet::ReaderSet(const PluginLibrary& library, int periodSeconds)
    : library_(library), period_(periodSeconds)
{
    for (const std::string& name : splitReaderList(library.init())) {
        ReaderBinding binding = bindReader(library, name);
        readers_.push_back(
            {std::move(binding), std::make_unique<PluginInstance>(library.startInstance())});
    }
    if (period_ <= 0) {
        period_ = 5;
        for (const Reader& reader : readers_)
            if (!reader.binding.parameters.empty()) {
                period_ = std::atoi(reader.binding.parameters[0].defaultValue.c_str());
                break;
            }
        if (period_ < 1)
            period_ = 1; // a plug-in's default of 0 would have the panel call without pause
    }
}

std::string ReaderSet::defaultUnit() const
{
    for (const Reader& reader : readers_)
        if (isTemperatureReader(reader.binding))
            return reader.binding.parameters[1].defaultValue;
    return "c";
}

std::string ReaderSet::defaultDegree() const
{
    for (const Reader& reader : readers_)
        if (isTemperatureReader(reader.binding))
            return reader.binding.parameters[2].defaultValue;
    return "no";
}

void ReaderSet::restartTemperatureReaders()
{
    restart(true);
}

void ReaderSet::restartAll()
{
    restart(false);
}

void ReaderSet::restart(bool temperaturesOnly)
{
    for (Reader& reader : readers_) {
        if (temperaturesOnly && !isTemperatureReader(reader.binding))
            continue;
        reader.instance.reset(); // dllshutdown before the new dllstartup
        reader.instance = std::make_unique<PluginInstance>(library_.startInstance());
    }
}

std::vector<std::string> ReaderSet::read(const std::string& unit, const std::string& degree)
{
    std::vector<std::string> texts;
    const std::string period = std::to_string(period_);
    for (Reader& reader : readers_) {
        std::vector<std::string> given;
        if (!reader.binding.parameters.empty())
            given.push_back(period);
        if (isTemperatureReader(reader.binding))
            given.insert(given.end(), {unit, degree});
        try {
            texts.push_back(
                callBoundReader(library_, reader.binding, reader.instance->handle(), given));
        } catch (const std::exception& error) {
            texts.push_back(std::string("(") + error.what() + ")");
        }
    }
    return texts;
}

} // namespace gaugehost
