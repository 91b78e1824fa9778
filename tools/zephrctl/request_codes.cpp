// request_codes.cpp
//
// The table of the driver's control codes as zephrctl sees them.
#include "tools/zephrctl/request_codes.h"

#include "common/zephr_ioctl.h"

namespace zephrctl {

namespace {

const RequestCode kCodes[] = {
    {IOCTL_ZEPHR_SET_FAN_STATE, "IOCTL_ZEPHR_SET_FAN_STATE", 4, 4},
    {IOCTL_ZEPHR_GET_FAN_STATE, "IOCTL_ZEPHR_GET_FAN_STATE", 4, 4},
    {IOCTL_ZEPHR_GET_FAN_SPEED, "IOCTL_ZEPHR_GET_FAN_SPEED", 4, 4},
    {IOCTL_ZEPHR_GET_CPU_SPEED, "IOCTL_ZEPHR_GET_CPU_SPEED", 0, ZEPHR_CPU_SPEED_LENGTH},
    {IOCTL_ZEPHR_DETECT_SUPERIO, "IOCTL_ZEPHR_DETECT_SUPERIO", 0, 4},
    {IOCTL_ZEPHR_SET_PWM, "IOCTL_ZEPHR_SET_PWM", 4, 4},
    {IOCTL_ZEPHR_GET_PWM, "IOCTL_ZEPHR_GET_PWM", 4, 4},
    {IOCTL_ZEPHR_GET_TEMP, "IOCTL_ZEPHR_GET_TEMP", 4, 4},
    {IOCTL_ZEPHR_GET_VERSION, "IOCTL_ZEPHR_GET_VERSION", 0, 8},
    {IOCTL_ZEPHR_GET_SYSINFO, "IOCTL_ZEPHR_GET_SYSINFO", 0, ZEPHR_SYSINFO_LENGTH},
    {IOCTL_ZEPHR_GET_ACPI_REPORT, "IOCTL_ZEPHR_GET_ACPI_REPORT", 0, ZEPHR_ACPI_REPORT_LENGTH},
};

} // namespace

std::optional<RequestCode> findRequestCode(uint32_t code)
{
    for (const RequestCode& entry : kCodes) {
        if (entry.code == code) {
            return entry;
        }
    }
    return std::nullopt;
}

} // namespace zephrctl
