// SPDX-License-Identifier: MIT
// superio_chip.cpp
//
// The simulated Super I/O chip: its configuration mode and keys, the
// configuration and runtime registers behind their index/data pairs, the
// injected faults, and the count of interleaved accesses.
#include "sim/superio_chip.h"

#include <cstdio>
#include <stdexcept>
#include <string>
#include <utility>

namespace sim {

namespace {

constexpr uint8_t kLogicalDeviceRegister = 0x07;
constexpr uint8_t kDeviceIdRegister = 0x20;
constexpr uint8_t kRevisionRegister = 0x21;
constexpr uint8_t kBaseHighRegister = 0x60;
constexpr uint8_t kBaseLowRegister = 0x61;
// Registers below this one are global; from it on each logical device has its own.
constexpr uint8_t kFirstDeviceRegister = 0x30;
// What the chip drives for a register it does not implement.
constexpr uint8_t kUnimplemented = 0x00;
// What a port reads when the chip does not drive it.
constexpr uint8_t kOpenBus = 0xFF;

std::string hex(unsigned value)
{
    char text[8];
    std::snprintf(text, sizeof text, "0x%x", value);
    return text;
}

bool overlaps(uint16_t base, uint16_t configPort)
{
    // Two two-port pairs overlap when their starts are less than two apart.
    return base + 1 >= configPort && base <= configPort + 1;
}

} // namespace

SuperIoChip::SuperIoChip(SuperIoSettings settings)
    : settings_(std::move(settings)), runtimeRegisters_(settings_.runtimeRegisters)
{
    if (settings_.configPort != 0x2E && settings_.configPort != 0x4E)
        throw std::invalid_argument(hex(settings_.configPort) +
                                    " is not a configuration port (0x2e or 0x4e)");
    if (settings_.runtimeBase != 0 && overlaps(settings_.runtimeBase, settings_.configPort))
        throw std::invalid_argument(
            "runtime base " + hex(settings_.runtimeBase) + " overlaps the configuration ports " +
            hex(settings_.configPort) + " and " + hex(settings_.configPort + 1u));
    for (const auto& [index, value] : settings_.stuckRegisters)
        runtimeRegisters_[index] = value;
    deviceRegisters_[kRuntimeDevice * 256 + kBaseHighRegister] =
        static_cast<uint8_t>(settings_.runtimeBase >> 8);
    deviceRegisters_[kRuntimeDevice * 256 + kBaseLowRegister] =
        static_cast<uint8_t>(settings_.runtimeBase & 0xFF);
}

uint16_t SuperIoChip::currentRuntimeBase() const
{
    auto byteAt = [this](uint8_t index) -> unsigned {
        auto found = deviceRegisters_.find(kRuntimeDevice * 256 + index);
        return found == deviceRegisters_.end() ? 0u : found->second;
    };
    return static_cast<uint16_t>(byteAt(kBaseHighRegister) << 8 | byteAt(kBaseLowRegister));
}

bool SuperIoChip::decodesRuntime(uint16_t port) const
{
    // A base of 0 turns the block off; one of 0xFFFF would put its data port
    // past the top of the port space, so the chip decodes nothing there either.
    const uint16_t base = currentRuntimeBase();
    return base != 0 && base != 0xFFFF && (port == base || port == base + 1);
}

bool SuperIoChip::claims(uint16_t port) const
{
    std::lock_guard guard(lock_);
    return port == settings_.configPort || port == settings_.configPort + 1 || decodesRuntime(port);
}

uint8_t SuperIoChip::in(uint16_t port)
{
    std::lock_guard guard(lock_);
    if (port == settings_.configPort)
        return readConfigIndex();
    if (port == settings_.configPort + 1)
        return readConfigData();
    if (!decodesRuntime(port))
        return kOpenBus;
    return port == currentRuntimeBase() ? runtime_.index : readRuntimeData();
}

void SuperIoChip::out(uint16_t port, uint8_t value)
{
    std::lock_guard guard(lock_);
    if (port == settings_.configPort) {
        lastConfigWrite_ = value;
        writeConfigIndex(value);
    } else if (port == settings_.configPort + 1) {
        writeConfigData(value);
    } else if (!decodesRuntime(port)) {
        return;
    } else if (port == currentRuntimeBase()) {
        noteIndexWrite(runtime_);
        runtime_.index = value;
    } else {
        writeRuntimeData(value);
    }
}

void SuperIoChip::noteIndexWrite(IndexLatch& latch)
{
    if (latch.pending)
        ++interleaved_;
    latch.pending = true;
}

void SuperIoChip::writeConfigIndex(uint8_t value)
{
    if (!configMode_) {
        // Outside configuration mode the chip listens for the enter key only.
        if (value == kEnterKey)
            configMode_ = true;
        return;
    }
    // A key in the middle of another sequence's register access disturbs it
    // as much as an index does.
    if (config_.pending)
        ++interleaved_;
    if (value == kExitKey) {
        configMode_ = false;
        config_.pending = false;
        return;
    }
    config_.index = value;
    // The enter key again selects no register: it only reads back.
    config_.pending = value != kEnterKey;
}

uint8_t SuperIoChip::readConfigIndex() const
{
    if (settings_.echo)
        return lastConfigWrite_;
    return configMode_ ? config_.index : kOpenBus;
}

uint8_t SuperIoChip::readConfigData()
{
    if (!configMode_)
        return settings_.restingValue;
    config_.pending = false;
    switch (config_.index) {
    case kLogicalDeviceRegister:
        return logicalDevice_;
    case kDeviceIdRegister:
        return settings_.deviceId;
    case kRevisionRegister:
        return settings_.revision;
    default:
        break;
    }
    if (config_.index < kFirstDeviceRegister)
        return kUnimplemented;
    return deviceRegister(logicalDevice_, config_.index);
}

void SuperIoChip::writeConfigData(uint8_t value)
{
    if (!configMode_)
        return;
    config_.pending = false;
    if (config_.index == kLogicalDeviceRegister)
        logicalDevice_ = value;
    else if (config_.index >= kFirstDeviceRegister)
        deviceRegister(logicalDevice_, config_.index) = value;
    // The ID and revision registers are read-only; other global ones are not modelled.
}

uint8_t& SuperIoChip::deviceRegister(uint8_t device, uint8_t index)
{
    return deviceRegisters_.try_emplace(static_cast<uint16_t>(device * 256 + index), kUnimplemented)
        .first->second;
}

uint8_t SuperIoChip::readRuntimeData()
{
    runtime_.pending = false;
    auto found = runtimeRegisters_.find(runtime_.index);
    return found == runtimeRegisters_.end() ? kUnimplemented : found->second;
}

void SuperIoChip::writeRuntimeData(uint8_t value)
{
    runtime_.pending = false;
    if (settings_.stuckRegisters.count(runtime_.index) != 0)
        return;
    runtimeRegisters_[runtime_.index] = value;
}

bool SuperIoChip::inConfigurationMode() const
{
    std::lock_guard guard(lock_);
    return configMode_;
}

uint8_t SuperIoChip::logicalDevice() const
{
    std::lock_guard guard(lock_);
    return logicalDevice_;
}

uint16_t SuperIoChip::runtimeBase() const
{
    std::lock_guard guard(lock_);
    return currentRuntimeBase();
}

uint8_t SuperIoChip::runtimeRegister(uint8_t index) const
{
    std::lock_guard guard(lock_);
    auto found = runtimeRegisters_.find(index);
    return found == runtimeRegisters_.end() ? kUnimplemented : found->second;
}

uint64_t SuperIoChip::interleavedAccesses() const
{
    std::lock_guard guard(lock_);
    return interleaved_;
}

} // namespace sim
