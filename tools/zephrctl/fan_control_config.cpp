// SPDX-License-Identifier: MIT
// fan_control_config.cpp
//
// The fan-control configuration: its defaults, its JSON form, and the
// checks that keep the thresholds in an order that cannot oscillate.
#include "tools/zephrctl/fan_control_config.h"

#include "common/json_document.h"
#include "plugin/vocabulary.h"

#include <cmath>
#include <set>
#include <sstream>

namespace zephrctl {

namespace {

using nlohmann::json;

// The temperatures a threshold may take: what a notebook BIOS reports.
constexpr int kLowestThreshold = 0;
constexpr int kHighestThreshold = 150;

[[noreturn]] void refuse(const std::string& source, const std::string& key, const std::string& why)
{
    throw ConfigError(source + ": " + key + ": " + why);
}

void onlyKeys(const json& object, const std::string& source, const std::string& where,
              std::initializer_list<const char*> known)
{
    if (!object.is_object())
        refuse(source, where.empty() ? "(top level)" : where, "must be an object");
    for (const auto& [key, value] : object.items()) {
        bool found = false;
        std::string names;
        for (const char* name : known) {
            found = found || key == name;
            names += std::string(names.empty() ? "" : ", ") + name;
        }
        if (!found)
            refuse(source, where.empty() ? key : where + "." + key,
                   "unknown key (known here: " + names + ")");
    }
}

double numberAt(const json& object, const char* key, const std::string& source,
                const std::string& where, double lowest, double highest, bool whole)
{
    const json& value = object.at(key);
    std::string name = where.empty() ? key : where + "." + key;
    if (!value.is_number())
        refuse(source, name, "must be a number");
    double number = value.get<double>();
    if (whole && number != std::floor(number))
        refuse(source, name, "must be a whole number");
    if (number < lowest || number > highest) {
        std::ostringstream range;
        range << "must be from " << lowest << " to " << highest << " (is " << number << ")";
        refuse(source, name, range.str());
    }
    return number;
}

// Reads key into target when the object has it.
template <typename T>
void readNumber(const json& object, const char* key, T& target, const std::string& source,
                const std::string& where, double lowest, double highest, bool whole)
{
    if (object.contains(key))
        target = static_cast<T>(numberAt(object, key, source, where, lowest, highest, whole));
}

void readThreshold(const json& fan, const char* state, const char* bound, int& target,
                   const std::string& source, const std::string& where)
{
    if (!fan.contains(state))
        return;
    const json& bounds = fan.at(state);
    std::string name = where + "." + state;
    if (std::string(state) == "off")
        onlyKeys(bounds, source, name, {"up"});
    else if (std::string(state) == "high")
        onlyKeys(bounds, source, name, {"down"});
    else
        onlyKeys(bounds, source, name, {"down", "up"});
    readNumber(bounds, bound, target, source, name, kLowestThreshold, kHighestThreshold, true);
}

FanThresholds readFan(const json& fan, const FanThresholds& defaults, const std::string& source,
                      const std::string& where)
{
    onlyKeys(fan, source, where, {"fan", "off", "slow", "high"});
    if (!fan.contains("fan"))
        refuse(source, where + ".fan",
               "missing (the fan's number, 0 to " + std::to_string(ZEPHR_MAX_FAN) + ")");
    FanThresholds thresholds = defaults;
    readNumber(fan, "fan", thresholds.fan, source, where, 0, ZEPHR_MAX_FAN, true);
    readThreshold(fan, "off", "up", thresholds.offUp, source, where);
    readThreshold(fan, "slow", "down", thresholds.slowDown, source, where);
    readThreshold(fan, "slow", "up", thresholds.slowUp, source, where);
    readThreshold(fan, "high", "down", thresholds.highDown, source, where);
    return thresholds;
}

void below(const std::string& source, const std::string& fan, const char* lowKey, int low,
           const char* highKey, int high, const char* why)
{
    if (low < high)
        return;
    refuse(source, fan + "." + lowKey,
           std::to_string(low) + " must be below " + fan + "." + highKey + " (" +
               std::to_string(high) + ")" + why);
}

} // namespace

const char* fanStateWord(unsigned state)
{
    return state < GAUGELET_FAN_STATE_COUNT ? GaugeletFanStateNames[state] : "unknown";
}

FanControlConfig defaultFanControlConfig()
{
    FanControlConfig config;
    for (unsigned fan : {0u, 1u})
        config.fans.push_back({fan, 60, 52, 70, 62});
    return config;
}

FanControlConfig parseFanControlConfig(const std::string& text, const FanControlConfig& defaults,
                                       const std::string& source)
{
    json document;
    try {
        // Comments (// and /* */) as in machine files.
        document = json_document::parse(text, /*ignoreComments=*/true);
    } catch (const json_document::ParseError& e) {
        throw ConfigError(source + ": " + (e.where().empty() ? "" : e.where() + ": ") +
                          "not JSON: " + e.what());
    }
    onlyKeys(document, source, "", {"sensor", "interval", "retry-after", "fans"});
    FanControlConfig config = defaults;
    readNumber(document, "sensor", config.sensor, source, "", 0, ZEPHR_MAX_SENSOR, true);
    readNumber(document, "interval", config.interval, source, "", kShortestInterval,
               kLongestInterval, false);
    readNumber(document, "retry-after", config.retryAfter, source, "", 0, 86400, false);
    if (document.contains("fans")) {
        const json& fans = document.at("fans");
        if (!fans.is_array() || fans.empty())
            refuse(source, "fans", "must be a list of one or two fans");
        FanThresholds base = defaults.fans.empty() ? FanThresholds{} : defaults.fans.front();
        config.fans.clear();
        std::set<unsigned> seen;
        for (size_t i = 0; i < fans.size(); ++i) {
            std::string where = "fans[" + std::to_string(i) + "]";
            FanThresholds fan = readFan(fans[i], base, source, where);
            if (!seen.insert(fan.fan).second)
                refuse(source, where + ".fan",
                       "fan " + std::to_string(fan.fan) + " is listed twice");
            config.fans.push_back(fan);
        }
    }
    checkFanControlConfig(config, source);
    return config;
}

void checkFanControlConfig(const FanControlConfig& config, const std::string& source)
{
    for (size_t i = 0; i < config.fans.size(); ++i) {
        const FanThresholds& fan = config.fans[i];
        std::string where = "fans[" + std::to_string(i) + "]";
        const char* hysteresis = ", or the fan would go up and down again at one temperature";
        below(source, where, "off.up", fan.offUp, "slow.up", fan.slowUp, "");
        below(source, where, "slow.down", fan.slowDown, "high.down", fan.highDown, "");
        below(source, where, "slow.down", fan.slowDown, "off.up", fan.offUp, hysteresis);
        below(source, where, "high.down", fan.highDown, "slow.up", fan.slowUp, hysteresis);
    }
}

std::string formatFanControlConfig(const FanControlConfig& config)
{
    std::ostringstream out;
    out << "{\n"
        << "  \"sensor\": " << config.sensor << ",\n"
        << "  \"interval\": " << config.interval << ",\n"
        << "  \"retry-after\": " << config.retryAfter << ",\n"
        << "  \"fans\": [\n";
    for (size_t i = 0; i < config.fans.size(); ++i) {
        const FanThresholds& fan = config.fans[i];
        out << "    {\"fan\": " << fan.fan << ", \"off\": {\"up\": " << fan.offUp
            << "}, \"slow\": {\"down\": " << fan.slowDown << ", \"up\": " << fan.slowUp
            << "}, \"high\": {\"down\": " << fan.highDown << "}}"
            << (i + 1 < config.fans.size() ? "," : "") << "\n";
    }
    out << "  ]\n}\n";
    return out.str();
}

} // namespace zephrctl
