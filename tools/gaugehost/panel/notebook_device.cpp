// SPDX-License-Identifier: MIT
// notebook_device.cpp
//
// The panel's requests to the zephr device.
#include "tools/gaugehost/panel/notebook_device.h"

#include "common/report_lines.h"
#include "common/zephr_ioctl.h"

#include <vector>

namespace gaugehost {

NotebookDevice::NotebookDevice()
    : handle_(CreateFileA(ZEPHR_USER_PATH, GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                          0, nullptr))
{
}

NotebookDevice::~NotebookDevice()
{
    if (open())
        CloseHandle(handle_);
}

std::string NotebookDevice::modelName()
{
    if (!open())
        return "";
    std::vector<char> report(ZEPHR_SYSINFO_LENGTH, 0);
    DWORD returned = 0;
    ++requestsSent_;
    if (!DeviceIoControl(handle_, IOCTL_ZEPHR_GET_SYSINFO, nullptr, 0, report.data(),
                         DWORD(report.size()), &returned, nullptr))
        return "";
    report.back() = '\0';
    const char* name = nullptr;
    size_t length = 0;
    if (!ZephrFindReportValue(report.data(), ZEPHR_PRODUCT_NAME_KEY, &name, &length))
        return "";
    return std::string(name, length);
}

std::string NotebookDevice::driverVersion()
{
    if (!open())
        return "";
    DWORD version[2] = {0, 0};
    DWORD returned = 0;
    ++requestsSent_;
    if (!DeviceIoControl(handle_, IOCTL_ZEPHR_GET_VERSION, nullptr, 0, version, sizeof version,
                         &returned, nullptr) ||
        returned < sizeof version)
        return "";
    return std::to_string(version[0]) + "." + std::to_string(version[1]);
}

bool NotebookDevice::setFanState(unsigned fan, unsigned state)
{
    if (!open())
        return false;
    ZEPHR_REQUEST request = {static_cast<unsigned short>(fan), static_cast<unsigned short>(state)};
    DWORD answer = ZEPHR_NO_VALUE;
    DWORD returned = 0;
    ++requestsSent_;
    if (!DeviceIoControl(handle_, IOCTL_ZEPHR_SET_FAN_STATE, &request, sizeof request, &answer,
                         sizeof answer, &returned, nullptr))
        return false;
    return answer == 0;
}

std::optional<unsigned> NotebookDevice::fanState(unsigned fan)
{
    if (!open())
        return std::nullopt;
    ZEPHR_REQUEST request = {static_cast<unsigned short>(fan), 0};
    DWORD answer = ZEPHR_NO_VALUE;
    DWORD returned = 0;
    ++requestsSent_;
    if (!DeviceIoControl(handle_, IOCTL_ZEPHR_GET_FAN_STATE, &request, sizeof request, &answer,
                         sizeof answer, &returned, nullptr) ||
        returned < sizeof answer || answer == ZEPHR_NO_VALUE)
        return std::nullopt;
    return unsigned(answer);
}

} // namespace gaugehost
