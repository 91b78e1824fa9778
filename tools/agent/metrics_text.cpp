// SPDX-License-Identifier: MIT
// metrics_text.cpp
//
// The metric families, each written from a table row: name, type, help and
// the samples the snapshot gives. A reading without a value has no sample
// (Prometheus then sees the series go stale) and counts as a read error.
#include "tools/agent/metrics_text.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <sstream>

namespace agent {

namespace {

constexpr const char* kSensorLabels[GAUGELET_SENSOR_ROLE_COUNT] = {"cpu", "gpu", "memory", "other"};

// A label value as the exposition format writes it: backslash, quote and
// line feed escaped. A firmware text may hold any byte: controls and bytes
// from 0x80 up (no sure UTF-8) become '?'.
std::string labelValue(const std::string& text)
{
    std::string out;
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (c == '\\' || c == '"')
            out += '\\';
        if (c == '\n')
            out += "\\n";
        else if (byte < 0x20 || byte >= 0x7F)
            out += '?';
        else
            out += c;
    }
    return out;
}

std::string number(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.17g", value);
    return text;
}

void family(std::ostringstream& out, const char* name, const char* type, const char* help)
{
    out << "# HELP " << name << ' ' << help << "\n# TYPE " << name << ' ' << type << '\n';
}

template <size_t N>
void perItem(std::ostringstream& out, const char* name, const char* label,
             const std::array<std::optional<uint32_t>, N>& values, const char* (*labelOf)(int))
{
    for (size_t i = 0; i < N; ++i)
        if (values[i])
            out << name << '{' << label << "=\"" << labelOf(int(i)) << "\"} " << *values[i] << '\n';
}

const char* fanLabel(int fan)
{
    return fan == 0 ? "0" : "1";
}

} // namespace

const char* sensorLabel(int role)
{
    return kSensorLabels[role];
}

std::string prometheusText(const Snapshot& s)
{
    std::ostringstream out;
    family(out, "zephr_up", "gauge",
           "Whether the last poll reached the zephr device (1) or not (0).");
    out << "zephr_up " << (s.up ? 1 : 0) << '\n';
    family(out, "zephr_info", "gauge",
           "The notebook's model, the plug-in's profile for it and the driver's version.");
    out << "zephr_info{model=\"" << labelValue(s.model) << "\",profile=\"" << labelValue(s.profile)
        << "\",driver_version=\"" << labelValue(s.driverVersion) << "\"} 1\n";
    family(out, "zephr_temperature_celsius", "gauge",
           "A temperature sensor of the notebook's BIOS, by the model's profile.");
    perItem(out, "zephr_temperature_celsius", "sensor", s.temperatures, sensorLabel);
    family(out, "zephr_fan_speed_rpm", "gauge", "A fan's speed in revolutions per minute.");
    perItem(out, "zephr_fan_speed_rpm", "fan", s.fanSpeeds, fanLabel);
    family(out, "zephr_fan_state", "gauge", "A fan's state: 0 off, 1 slow, 2 high.");
    perItem(out, "zephr_fan_state", "fan", s.fanStates, fanLabel);
    family(out, "zephr_fan_control_fail_safe", "gauge",
           "1 while the fan control holds every fan High because the temperature is unreadable.");
    out << "zephr_fan_control_fail_safe " << (s.failSafe ? 1 : 0) << '\n';
    family(out, "zephr_polls_total", "counter", "Polls of the notebook since the agent started.");
    out << "zephr_polls_total " << s.polls << '\n';
    family(out, "zephr_smm_requests_total", "counter",
           "Device requests the agent sent that reach the BIOS's SMM functions (one SMI each).");
    out << "zephr_smm_requests_total " << s.smmRequests << '\n';
    family(out, "zephr_read_errors_total", "counter", "Readings that gave no value.");
    out << "zephr_read_errors_total " << s.readErrors << '\n';
    family(out, "zephr_fan_state_changes_total", "counter",
           "Fan states the agent's fan control set.");
    out << "zephr_fan_state_changes_total " << s.fanStateChanges << '\n';
    family(out, "zephr_last_poll_timestamp_seconds", "gauge",
           "When the last poll ran, in seconds since 1970.");
    out << "zephr_last_poll_timestamp_seconds " << number(s.pollTime) << '\n';
    return out.str();
}

std::string dataJson(const Snapshot& s)
{
    using nlohmann::json;
    auto value = [](const std::optional<uint32_t>& v) { return v ? json(*v) : json(nullptr); };
    json temperatures = json::object();
    for (int role = 0; role < GAUGELET_SENSOR_ROLE_COUNT; ++role)
        temperatures[sensorLabel(role)] = value(s.temperatures[size_t(role)]);
    json fans = json::array();
    for (size_t fan = 0; fan < 2; ++fan)
        fans.push_back({{"fan", fan},
                        {"speed_rpm", value(s.fanSpeeds[fan])},
                        {"state", value(s.fanStates[fan])}});
    const json data = {{"up", s.up},
                       {"time", s.pollTime},
                       {"model", s.model},
                       {"profile", s.profile},
                       {"driver_version", s.driverVersion},
                       {"temperatures_celsius", temperatures},
                       {"fans", fans},
                       {"fan_control", s.fanControl},
                       {"fail_safe", s.failSafe},
                       {"polls", s.polls},
                       {"smm_requests", s.smmRequests},
                       {"read_errors", s.readErrors},
                       {"fan_state_changes", s.fanStateChanges}};
    // Firmware texts may hold bytes that are no UTF-8: replaced, not thrown.
    return data.dump(2, ' ', false, json::error_handler_t::replace) + "\n";
}

} // namespace agent
