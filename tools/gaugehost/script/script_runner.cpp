// SPDX-License-Identifier: MIT
// script_runner.cpp
//
// Carrying out gaugehost script actions on the plug-in, the clock and the
// simulated notebook.
#include "tools/gaugehost/script/script_runner.h"

#include "tools/gaugehost/plugin_host/cp1252.h"
#include "tools/gaugehost/plugin_host/notebook_controls.h"
#include "tools/gaugehost/script/script_words.h"

#include "common/bounded_file.h"

namespace gaugehost {

namespace {

// A script line is an action and a few words.
constexpr size_t kLongestScriptLine = 64 * 1024;

void expectWords(const std::vector<std::string>& words, size_t count, const char* usage)
{
    if (words.size() != count)
        throw std::runtime_error(std::string("expected '") + usage + "'");
}

} // namespace

ScriptRunner::ScriptRunner(const PluginLibrary& library, std::ostream& out)
    : library_(library), out_(out)
{
}

ScriptRunner::~ScriptRunner()
{
    // Free in creation order, as the actions would have.
    byName_.clear();
    while (!instances_.empty())
        instances_.pop_front();
}

void ScriptRunner::run(std::istream& in, const std::string& source)
{
    std::string line;
    for (int number = 1;; ++number) {
        try {
            if (!bounded::readLine(in, line, kLongestScriptLine))
                break;
            std::vector<std::string> words = splitScriptWords(line);
            if (!words.empty())
                perform(words);
        } catch (const std::exception& error) {
            out_.flush();
            throw ScriptError(source + ":" + std::to_string(number) + ": " + error.what());
        }
    }
    out_.flush();
}

void ScriptRunner::perform(const std::vector<std::string>& words)
{
    const std::string& action = words[0];
    if (action == "create")
        create(words);
    else if (action == "call")
        call(words);
    else if (action == "advance")
        moveClock(words, +1);
    else if (action == "setback")
        moveClock(words, -1);
    else if (action == "set")
        set(words);
    else if (action == "requests")
        requests(words);
    else if (action == "free")
        free(words);
    else
        throw std::runtime_error("unknown action '" + action +
                                 "' (create, call, advance, setback, set, requests, free)");
}

void ScriptRunner::create(const std::vector<std::string>& words)
{
    expectWords(words, 3, "create NAME READER");
    const std::string& name = words[1];
    if (byName_.contains(name))
        throw std::runtime_error("an instance named '" + name + "' exists already");
    ReaderBinding reader = bindReader(library_, words[2]);
    instances_.push_back({name, std::move(reader), library_.startInstance()});
    byName_.emplace(instances_.back().name, std::prev(instances_.end()));
}

void ScriptRunner::call(const std::vector<std::string>& words)
{
    if (words.size() < 2)
        throw std::runtime_error("expected 'call NAME [PARAM...]'");
    Instance& instance = *find(words[1]);
    std::vector<std::string> given(words.begin() + 2, words.end());
    std::string text =
        callBoundReader(library_, instance.reader, instance.instance.handle(), given);
    out_ << instance.name << ": " << cp1252ToDisplay(text) << "\n";
}

void ScriptRunner::moveClock(const std::vector<std::string>& words, int direction)
{
    expectWords(words, 2, direction > 0 ? "advance SECONDS" : "setback SECONDS");
    gaugehost::moveClock(direction * parseSeconds(words[1]));
}

void ScriptRunner::set(const std::vector<std::string>& words)
{
    const std::string what = words.size() > 1 ? words[1] : "";
    if (what == "temperature") {
        expectWords(words, 4, "set temperature SENSOR VALUE");
        setTemperature(parseUnsigned(words[2], "sensor"), parseUnsigned(words[3], "temperature"));
    } else if (what == "fan") {
        expectWords(words, 5, "set fan FAN state|speed VALUE");
        unsigned fan = parseUnsigned(words[2], "fan");
        if (words[3] == "state")
            setFanState(fan, parseUnsigned(words[4], "fan state"));
        else if (words[3] == "speed")
            setFanSpeed(fan, parseUnsigned(words[4], "fan speed"));
        else
            throw std::runtime_error("expected state or speed after 'set fan " + words[2] +
                                     "', not '" + words[3] + "'");
    } else if (what == "behaviour") {
        expectWords(words, 3, "set behaviour normal|ignore|echo-ax");
        setBehaviour(words[2]);
    } else {
        throw std::runtime_error("expected 'set temperature', 'set fan' or 'set behaviour'");
    }
}

void ScriptRunner::requests(const std::vector<std::string>& words)
{
    expectWords(words, 1, "requests");
    out_ << "requests: " << deviceRequestCount() << "\n";
}

void ScriptRunner::free(const std::vector<std::string>& words)
{
    expectWords(words, 2, "free NAME");
    const auto instance = find(words[1]);
    byName_.erase(instance->name);
    instances_.erase(instance);
}

std::list<ScriptRunner::Instance>::iterator ScriptRunner::find(const std::string& name)
{
    if (const auto found = byName_.find(name); found != byName_.end())
        return found->second;
    throw std::runtime_error("no instance named '" + name + "' (create it first)");
}

} // namespace gaugehost
