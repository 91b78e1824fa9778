// SPDX-License-Identifier: MIT
// notebook.h
//
// What the benchmarks stand on: a simulated notebook (the built-in one or a
// firmware fixture) with the real driver image loaded on it and its device
// open, and the Gaugelet library loaded as the host loads it. Everything is
// released again when the objects go.
#pragma once

#include "sim/machine.h"

#include <windows.h>

#include <memory>
#include <string>

namespace bench {

// Where things are: set once by main from its options.
struct Paths {
    std::string fixtures;     // the folder holding firmware/<image>/memory
    std::string plugin;       // libGaugelet.so
    std::string zephrctl;     // build/bin/zephrctl
    std::string gaugehost;    // build/bin/gaugehost
    std::string dmidecode;    // the comparison tool
    std::string driverSys;    // build-windows/bin/zephr.sys
    std::string driverSys64;  // build-windows-x64/bin/zephr.sys
    std::string cxxStart;     // the smallest C++ program, built as the tools are
    std::string peakMemory;   // runs a program and tells its peak memory
    std::string emptyLibrary; // a library that does nothing when it loads
};
Paths& paths();

// The built-in notebook, or one whose memory is a fixture image (with the
// built-in notebook's SMM sensors and fans).
std::shared_ptr<sim::Machine> BuiltinNotebook();
std::shared_ptr<sim::Machine> FixtureNotebook(const std::string& image);
std::string FixtureFolder(const std::string& image);

// The fixture images the report figures are taken on.
extern const char* const kFixtureImages[3];

// A notebook installed with the driver loaded and "\\.\ZephrDev" open: the
// host build's driver module, or with driverImage the Windows build's
// zephr.sys under the CPU emulator. Throws std::runtime_error naming what
// failed.
class Notebook {
  public:
    explicit Notebook(std::shared_ptr<sim::Machine> machine, bool keepTrace = false,
                      const std::string& driverImage = {});
    ~Notebook();
    Notebook(const Notebook&) = delete;
    Notebook& operator=(const Notebook&) = delete;

    sim::Machine& machine()
    {
        return *machine_;
    }
    HANDLE device() const
    {
        return device_;
    }

  private:
    std::shared_ptr<sim::Machine> machine_;
    HANDLE device_ = INVALID_HANDLE_VALUE;
};

// One device request; false when the driver refused it.
bool Request(HANDLE device, DWORD code, const void* input, DWORD inputLength, void* output,
             DWORD outputLength);

using TemperatureReader = const char* (*)(void*, const char*, const char*, const char*);
using FanReader = const char* (*)(void*, const char*);

// libGaugelet.so loaded with LoadLibraryA, its DllMain attached.
class Plugin {
  public:
    Plugin();
    ~Plugin();
    Plugin(const Plugin&) = delete;
    Plugin& operator=(const Plugin&) = delete;

    void* startup();
    void shutdown(void* instance);
    TemperatureReader temperatureReader(const char* name);
    FanReader fanReader(const char* name);

  private:
    void* address(const char* name);
    HMODULE module_ = nullptr;
};

} // namespace bench
