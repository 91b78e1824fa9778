// SPDX-License-Identifier: MIT
// notebook_device.h
//
// The panel's own handle on the zephr device, beside the plug-in's: it reads
// the notebook's model name from the system information report once and
// sets the fans' states through the BIOS when a key asks for it.
#pragma once

#include <windows.h>

#include <optional>
#include <string>

namespace gaugehost {

class NotebookDevice {
  public:
    // Opens "\\.\ZephrDev" with write access; open() tells whether it did.
    NotebookDevice();
    ~NotebookDevice();
    NotebookDevice(const NotebookDevice&) = delete;
    NotebookDevice& operator=(const NotebookDevice&) = delete;

    bool open() const
    {
        return handle_ != INVALID_HANDLE_VALUE;
    }
    // The report's "Product name:" value, "" when there is none.
    std::string modelName();
    // IOCTL_ZEPHR_GET_VERSION as "major.minor"; "" when it was not answered.
    std::string driverVersion();
    // IOCTL_ZEPHR_SET_FAN_STATE; false when the request or the BIOS refused it.
    bool setFanState(unsigned fan, unsigned state);
    // IOCTL_ZEPHR_GET_FAN_STATE; nothing when the request or the BIOS refused it.
    std::optional<unsigned> fanState(unsigned fan);
    // Requests this handle has sent (the plug-in's are counted apart).
    unsigned requestsSent() const
    {
        return requestsSent_;
    }

  private:
    HANDLE handle_;
    unsigned requestsSent_ = 0;
};

} // namespace gaugehost
