// SPDX-License-Identifier: MIT
// reader_set.h
//
// One instance of each reader init lists, called as the host calls them:
// the refresh period as the first parameter text, and for the temperature
// readers the unit and degree texts. Temperature instances can be started
// afresh, so that a new unit or degree sign shows at once (a new instance's
// first call always refreshes) instead of at the next refresh.
#pragma once

#include "tools/gaugehost/plugin_host/plugin_library.h"
#include "tools/gaugehost/plugin_host/reader_binding.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace gaugehost {

// The system clock the readers' throttle reads (GetSystemTimeAsFileTime),
// in 100 ns ticks: the clock the panel and the log schedule their reads on.
uint64_t fileTimeNow();

// The temperature readers take the unit and degree texts after the period.
bool isTemperatureReader(const ReaderBinding& binding);

class ReaderSet {
  public:
    // periodSeconds 0: each reader's getparam default.
    ReaderSet(const PluginLibrary& library, int periodSeconds);

    size_t size() const
    {
        return readers_.size();
    }
    const ReaderBinding& binding(size_t index) const
    {
        return readers_[index].binding;
    }
    // The period given, or the first reader's default ("5" for Gaugelet).
    int periodSeconds() const
    {
        return period_;
    }
    // getparam's defaults of the temperature readers' unit and degree texts.
    std::string defaultUnit() const;
    std::string defaultDegree() const;

    // Frees the temperature readers' instances and makes new ones.
    void restartTemperatureReaders();
    // The same for every reader.
    void restartAll();
    // Calls every reader once; its 8-bit text, or "(reason)" when the call
    // could not be made.
    std::vector<std::string> read(const std::string& unit, const std::string& degree);

  private:
    void restart(bool temperaturesOnly);
    struct Reader {
        ReaderBinding binding;
        std::unique_ptr<PluginInstance> instance;
    };
    const PluginLibrary& library_;
    int period_;
    std::vector<Reader> readers_;
};

} // namespace gaugehost
