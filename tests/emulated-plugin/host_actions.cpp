// SPDX-License-Identifier: MIT
// host_actions.cpp
//
// The comparison cases' host actions and their log lines.
#include "host_actions.h"

#include "platform/host-win32/win32_host.h"
#include "sim/machine.h"

#include <cstdio>
#include <stdexcept>

namespace plugin_comparison {

namespace {

std::string hexBytes(const std::vector<uint8_t>& bytes)
{
    std::string text;
    char pair[4];
    for (uint8_t byte : bytes) {
        std::snprintf(pair, sizeof pair, "%02x", byte);
        text += pair;
    }
    return text;
}

std::string quoted(const std::string& text)
{
    std::string out = "\"";
    char escape[8];
    for (unsigned char c : text) {
        if (c < 0x20 || c >= 0x7F || c == '"' || c == '\\') {
            std::snprintf(escape, sizeof escape, "\\x%02x", c);
            out += escape;
        } else {
            out += static_cast<char>(c);
        }
    }
    return out + "\"";
}

} // namespace

std::string describeRequest(const nt::DeviceControlRecord& record)
{
    char head[64];
    std::snprintf(head, sizeof head, "request %08x in ", static_cast<unsigned>(record.code));
    char tail[48];
    std::snprintf(tail, sizeof tail,
                  " out %u -> %08x: ", static_cast<unsigned>(record.outputLength),
                  static_cast<unsigned>(record.status));
    // The system information report is long; its first bytes say enough,
    // its length the rest.
    std::vector<uint8_t> output = record.output;
    const size_t length = output.size();
    if (output.size() > 64)
        output.resize(64);
    return head + hexBytes(record.input) + tail + hexBytes(output) + " (" + std::to_string(length) +
           " bytes)";
}

HostActions::HostActions(const gaugehost::PluginLibrary& library, std::vector<std::string>& log)
    : library_(library), log_(log)
{
}

HostActions::~HostActions()
{
    for (auto& instance : instances_)
        instance.reset();
}

void HostActions::init()
{
    log_.push_back("init -> " + quoted(library_.init()));
}

void HostActions::getparam(const std::string& reader)
{
    log_.push_back("getparam " + quoted(reader) + " -> " + quoted(library_.getparam(reader)));
}

void HostActions::dlltype()
{
    log_.push_back("dlltype -> " + std::to_string(library_.dlltype()));
}

void HostActions::getinfo(uint32_t index)
{
    log_.push_back("getinfo " + std::to_string(index) + " -> " + quoted(library_.getinfo(index)));
}

size_t HostActions::start()
{
    instances_.push_back(std::make_unique<gaugehost::PluginInstance>(library_.startInstance()));
    const bool made = instances_.back()->handle() != nullptr;
    log_.push_back("dllstartup #" + std::to_string(instances_.size() - 1) +
                   (made ? " -> an instance" : " -> null"));
    return instances_.size() - 1;
}

void HostActions::read(size_t instance, const std::string& reader,
                       const std::vector<std::string>& texts)
{
    const gaugehost::ReaderAddress address = library_.findReader(reader);
    if (!address)
        throw std::runtime_error("the plug-in does not export " + reader);
    std::string call = reader + " #" + std::to_string(instance) + "(";
    for (size_t i = 0; i < texts.size(); ++i)
        call += (i > 0 ? ", " : "") + quoted(texts[i]);
    const std::string text =
        library_.callReader(reader, address, instances_.at(instance)->handle(), texts);
    log_.push_back(call + ") -> " + quoted(text));
}

void HostActions::stop(size_t instance)
{
    instances_.at(instance).reset();
    log_.push_back("dllshutdown #" + std::to_string(instance));
}

void HostActions::stopNull()
{
    log_.push_back("dllshutdown null -> " + std::to_string(library_.shutdownInstance(nullptr)));
}

void HostActions::advance(int64_t milliseconds)
{
    win32::Clock::advance(milliseconds * (win32::kTicksPerSecond / 1000));
    log_.push_back("clock " + std::to_string(milliseconds) + " ms");
}

void HostActions::setTemperature(uint16_t sensor, uint16_t degrees)
{
    sim::currentMachine().smm.temperatures[sensor] = degrees;
    log_.push_back("sensor " + std::to_string(sensor) + " at " + std::to_string(degrees));
}

void HostActions::setFan(size_t fan, uint16_t state, uint16_t speed)
{
    sim::currentMachine().smm.fans.at(fan) = sim::Fan{state, speed};
    log_.push_back("fan " + std::to_string(fan) + " state " + std::to_string(state) + " speed " +
                   std::to_string(speed));
}

} // namespace plugin_comparison
