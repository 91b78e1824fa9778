// SPDX-License-Identifier: MIT
// device_fan_hardware.h
//
// The fan-control loop's hardware over the zephr device: one
// IOCTL_ZEPHR_GET_TEMP per temperature read, one IOCTL_ZEPHR_SET_FAN_STATE
// per setting. The device is opened at the first use and opened again after
// a request fails (the driver was stopped and started again).
#pragma once

#include "tools/zephrctl/device_client.h"
#include "tools/zephrctl/fan_controller.h"

#include <memory>

namespace zephrctl {

class DeviceFanHardware : public FanHardware {
  public:
    std::optional<unsigned> temperature(unsigned sensor) override;
    bool setFanState(unsigned fan, unsigned state) override;
    std::string problem() const override
    {
        return problem_;
    }
    // Opens the device now; false (with problem()) when it does not open.
    bool open();

  private:
    std::optional<uint32_t> answer(uint32_t code, uint16_t word0, uint16_t word1, const char* what);

    std::unique_ptr<DeviceClient> device_;
    std::string problem_;
};

} // namespace zephrctl
