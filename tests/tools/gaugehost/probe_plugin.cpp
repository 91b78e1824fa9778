// SPDX-License-Identifier: MIT
// probe_plugin.cpp
//
// A plug-in for gaugehost's tests: Gaugelet's host functions and refresh
// throttle with readers of its own that show the throttle at work.
//   GetCPUTemp   counts its refreshes: "refresh N (unit U, degree D)",
//                followed by the degree sign byte 0xB0 when D begins with y.
//   GetOTHERTemp asks the device for sensor 0's temperature on every
//                refresh: "N degrees", or "no device".
//   GetFAN1RPM   counts its refreshes: "refresh N".
// The other readers init lists are not exported, as in a library whose
// readers have not all landed.
#include "common/zephr_ioctl.h"
#include "plugin/host_interface.h"
#include "plugin/instance_record.h"

#include <windows.h>

#include <stdio.h>

static HANDLE Device = INVALID_HANDLE_VALUE;

extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD reason, LPVOID)
{
    if (reason == DLL_PROCESS_ATTACH)
        Device = CreateFileA(ZEPHR_USER_PATH, GENERIC_WRITE, FILE_SHARE_WRITE, NULL, OPEN_EXISTING,
                             0, NULL);
    else if (reason == DLL_PROCESS_DETACH && Device != INVALID_HANDLE_VALUE)
        CloseHandle(Device);
    return TRUE;
}

// The refresh count kept in Value, which a fresh instance holds as all ones.
static DWORD CountRefresh(InstanceRecord* instance)
{
    instance->Value = instance->Value == ZEPHR_NO_VALUE ? 1 : instance->Value + 1;
    return instance->Value;
}

extern "C" const char* GetCPUTemp(InstanceRecord* instance, const char* refresh, const char* unit,
                                  const char* degree)
{
    if (instance == NULL)
        return NoInstanceText;
    if (!IsRefreshDue(instance, ReadRefreshSeconds(refresh)))
        return instance->Text;
    snprintf(instance->Text, INSTANCE_TEXT_SIZE, "refresh %u (unit %s, degree %s)%s",
             (unsigned)CountRefresh(instance), unit, degree, degree[0] == 'y' ? "\xB0" : "");
    return instance->Text;
}

extern "C" const char* GetOTHERTemp(InstanceRecord* instance, const char* refresh, const char*,
                                    const char*)
{
    if (instance == NULL)
        return NoInstanceText;
    if (Device == INVALID_HANDLE_VALUE)
        return "no device";
    if (!IsRefreshDue(instance, ReadRefreshSeconds(refresh)))
        return instance->Text;
    DWORD sensor = 0;
    DWORD bytes = 0;
    DeviceIoControl(Device, IOCTL_ZEPHR_GET_TEMP, &sensor, sizeof sensor, &instance->Value,
                    sizeof instance->Value, &bytes, NULL);
    snprintf(instance->Text, INSTANCE_TEXT_SIZE, "%u degrees", (unsigned)instance->Value);
    return instance->Text;
}

extern "C" const char* GetFAN1RPM(InstanceRecord* instance, const char* refresh)
{
    if (instance == NULL)
        return NoInstanceText;
    if (IsRefreshDue(instance, ReadRefreshSeconds(refresh)))
        snprintf(instance->Text, INSTANCE_TEXT_SIZE, "refresh %u",
                 (unsigned)CountRefresh(instance));
    return instance->Text;
}
