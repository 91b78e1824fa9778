// SPDX-License-Identifier: MIT
// device_fan_hardware.cpp
//
// Temperature reads and fan settings as device control requests.
#include "tools/zephrctl/device_fan_hardware.h"

#include "common/zephr_ioctl.h"

#include <stdexcept>

namespace zephrctl {

namespace {

// Above this a BIOS answer is no CPU temperature (a BIOS that echoes the
// call answers 0x10A3).
constexpr uint32_t kHottestPlausible = 150;

} // namespace

bool DeviceFanHardware::open()
{
    if (device_)
        return true;
    try {
        device_ = std::make_unique<DeviceClient>();
        return true;
    } catch (const std::exception& e) {
        problem_ = e.what();
        return false;
    }
}

std::optional<uint32_t> DeviceFanHardware::answer(uint32_t code, uint16_t word0, uint16_t word1,
                                                  const char* what)
{
    if (!open())
        return std::nullopt;
    Reply reply = device_->send(code, word0, word1);
    if (!reply.ok) {
        // Refused, or the device is gone: it is opened again next time.
        problem_ = std::string("the device did not take the ") + what +
                   " request: " + describeStatus(reply.status);
        device_.reset();
        return std::nullopt;
    }
    return reply.word();
}

std::optional<unsigned> DeviceFanHardware::temperature(unsigned sensor)
{
    std::optional<uint32_t> word = answer(IOCTL_ZEPHR_GET_TEMP, uint16_t(sensor), 0, "temperature");
    if (!word)
        return std::nullopt;
    if (*word == ZEPHR_NO_VALUE) {
        problem_ = "the BIOS did not answer";
        return std::nullopt;
    }
    if (*word > kHottestPlausible) {
        problem_ = "the BIOS answered " + std::to_string(*word) + ", which is no temperature";
        return std::nullopt;
    }
    return unsigned(*word);
}

bool DeviceFanHardware::setFanState(unsigned fan, unsigned state)
{
    std::optional<uint32_t> word =
        answer(IOCTL_ZEPHR_SET_FAN_STATE, uint16_t(fan), uint16_t(state), "fan state");
    if (!word)
        return false;
    if (*word != 0) {
        problem_ = "the BIOS refused it";
        return false;
    }
    return true;
}

} // namespace zephrctl
