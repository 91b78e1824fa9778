// SPDX-License-Identifier: MIT
// device_client.h
//
// zephrctl's handle on the zephr device: opened through CreateFileA as
// "\\.\ZephrDev" with write access, closed at the end, and one method that
// sends a device control request and tells what came back, with the NT
// status of a refused request.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

namespace zephrctl {

struct Reply {
    bool ok = false;
    uint32_t status = 0;         // the NT status: 0 on success
    uint32_t error = 0;          // the Win32 error of a refused request
    uint32_t information = 0;    // bytes the driver gave back
    std::vector<uint8_t> output; // exactly those bytes

    uint32_t word() const;    // the 32-bit answer at offset 0 (0 when shorter)
    std::string text() const; // the NUL-terminated text at offset 0
};

class DeviceClient {
  public:
    // Throws std::runtime_error saying why the device did not open.
    DeviceClient();
    ~DeviceClient();
    DeviceClient(const DeviceClient&) = delete;
    DeviceClient& operator=(const DeviceClient&) = delete;

    Reply request(uint32_t code, const std::vector<uint8_t>& input, uint32_t outputLength) const;
    // A request of the protocol table with the code's own minimum lengths:
    // the two 16-bit words as input when the code reads any.
    Reply send(uint32_t code, uint16_t word0 = 0, uint16_t word1 = 0) const;

  private:
    HANDLE handle_;
};

// What a refused request's status means, for a message.
std::string describeStatus(uint32_t status);

} // namespace zephrctl
