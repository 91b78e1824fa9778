// SPDX-License-Identifier: MIT
// script_runner.h
//
// gaugehost's script mode: host actions read one per line, so a person or a
// test can watch instances, their refresh throttle and the simulated
// notebook at work. The actions:
//   create NAME READER          dllstartup, bound to a reader init lists
//   call NAME [PARAM...]        the reader once; prints "NAME: <text>"
//   advance SECONDS             the clock forwards (4.9 allowed)
//   setback SECONDS             the clock backwards
//   set temperature SENSOR VALUE
//   set fan FAN state|speed VALUE
//   set behaviour normal|ignore|echo-ax
//   requests                    prints "requests: N"
//   free NAME                   dllshutdown
// Instances still alive at the end are freed in the order they were made.
#pragma once

#include "tools/gaugehost/plugin_host/plugin_library.h"
#include "tools/gaugehost/plugin_host/reader_binding.h"

#include <istream>
#include <list>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace gaugehost {

// A script line that cannot be carried out: "SOURCE:LINE: what is wrong".
class ScriptError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

class ScriptRunner {
  public:
    ScriptRunner(const PluginLibrary& library, std::ostream& out);
    ~ScriptRunner();
    ScriptRunner(const ScriptRunner&) = delete;
    ScriptRunner& operator=(const ScriptRunner&) = delete;

    // Runs every line; stops at the first error with a ScriptError.
    void run(std::istream& in, const std::string& source);

  private:
    struct Instance {
        std::string name;
        ReaderBinding reader;
        PluginInstance instance;
    };

    void perform(const std::vector<std::string>& words);
    void create(const std::vector<std::string>& words);
    void call(const std::vector<std::string>& words);
    void moveClock(const std::vector<std::string>& words, int direction);
    void set(const std::vector<std::string>& words);
    void requests(const std::vector<std::string>& words);
    void free(const std::vector<std::string>& words);
    std::list<Instance>::iterator find(const std::string& name);

    const PluginLibrary& library_;
    std::ostream& out_;
    std::list<Instance> instances_; // in the order they were made
    // Each instance by its name (a view of the name its list element holds).
    std::unordered_map<std::string_view, std::list<Instance>::iterator> byName_;
};

} // namespace gaugehost
