// SPDX-License-Identifier: MIT
// device_client.cpp
//
// zephrctl's handle on the zephr device and its requests.
#include "tools/zephrctl/device_client.h"

#include "common/zephr_ioctl.h"
#include "tools/zephrctl/nt_status.h"
#include "tools/zephrctl/request_codes.h"

#include <cstdio>
#include <stdexcept>

namespace zephrctl {

uint32_t Reply::word() const
{
    if (output.size() < 4) {
        return 0;
    }
    return uint32_t(output[0]) | uint32_t(output[1]) << 8 | uint32_t(output[2]) << 16 |
           uint32_t(output[3]) << 24;
}

std::string Reply::text() const
{
    std::string text;
    for (uint8_t byte : output) {
        if (byte == 0) {
            break;
        }
        text.push_back(char(byte));
    }
    return text;
}

DeviceClient::DeviceClient()
    : handle_(CreateFileA(ZEPHR_USER_PATH, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          0, nullptr))
{
    if (handle_ == INVALID_HANDLE_VALUE) {
        DWORD error = GetLastError();
        std::string why = error == ERROR_FILE_NOT_FOUND  ? "the zephr driver is not loaded"
                          : error == ERROR_ACCESS_DENIED ? "access denied (run as administrator)"
                                                         : "it could not be opened";
        throw std::runtime_error("cannot open the device " + std::string(ZEPHR_USER_PATH) + ": " +
                                 why + " (Win32 error " + std::to_string(error) + ")");
    }
}

DeviceClient::~DeviceClient()
{
    CloseHandle(handle_);
}

Reply DeviceClient::request(uint32_t code, const std::vector<uint8_t>& input,
                            uint32_t outputLength) const
{
    Reply reply;
    std::vector<uint8_t> in = input;
    std::vector<uint8_t> out(outputLength);
    DWORD bytes = 0;
    BOOL ok = DeviceIoControl(handle_, code, in.empty() ? nullptr : in.data(), DWORD(in.size()),
                              out.empty() ? nullptr : out.data(), outputLength, &bytes, nullptr);
    reply.ok = ok != FALSE;
    if (reply.ok) {
        reply.information = bytes;
        out.resize(bytes < outputLength ? bytes : outputLength);
        reply.output = std::move(out);
    } else {
        reply.error = GetLastError();
        reply.status = lastNtStatus();
    }
    return reply;
}

Reply DeviceClient::send(uint32_t code, uint16_t word0, uint16_t word1) const
{
    RequestCode lengths = requestCode(code);
    std::vector<uint8_t> input;
    if (lengths.inputLength != 0) {
        input = {uint8_t(word0), uint8_t(word0 >> 8), uint8_t(word1), uint8_t(word1 >> 8)};
        input.resize(lengths.inputLength, 0);
    }
    return request(code, input, lengths.outputLength);
}

std::string describeStatus(uint32_t status)
{
    char hex[16];
    std::snprintf(hex, sizeof hex, "0x%08X", status);
    switch (status) {
    case 0xC000000Du:
        return std::string("invalid parameter (") + hex +
               "): an unknown code, or a fan, state, sensor or duty out of range";
    case 0xC0000023u:
        return std::string("buffer too small (") + hex + ")";
    case 0xC0000022u:
        return std::string("access denied (") + hex + "): the handle has no write access";
    case 0xC0000010u:
        return std::string("invalid device request (") + hex + ")";
    default:
        return std::string("status ") + hex;
    }
}

} // namespace zephrctl
