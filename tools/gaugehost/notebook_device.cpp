// notebook_device.cpp
//
// The panel's requests to the zephr device.
#include "tools/gaugehost/notebook_device.h"

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
    std::string text(report.data());
    const std::string key = "Product name:";
    auto at = text.find(key);
    if (at == std::string::npos)
        return "";
    auto end = text.find_first_of("\r\n", at);
    std::string value =
        text.substr(at + key.size(), end == std::string::npos ? end : end - at - key.size());
    auto first = value.find_first_not_of(" \t");
    auto last = value.find_last_not_of(" \t");
    return first == std::string::npos ? "" : value.substr(first, last - first + 1);
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

} // namespace gaugehost
