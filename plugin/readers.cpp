// SPDX-License-Identifier: MIT
/*
 * readers.cpp
 *
 * The eight readers: each checks the driver connection, asks the refresh
 * throttle whether its instance is due, and if so sends one device request
 * and turns the 32-bit answer into the instance's text. Between refreshes it
 * returns the previous text unchanged.
 */
#include "plugin/readers.h"

#include "common/zephr_ioctl.h"
#include "plugin/driver_connection.h"
#include "plugin/plain_text.h"
#include "plugin/vocabulary.h"

/* The degree sign of the Windows-1252 code page. */
#define DEGREE_SIGN "\xB0"

typedef enum ReaderStart { ReaderReturnNow, ReaderRefresh } ReaderStart;

/*
 * The common start: the constant text while no driver is open, the instance's
 * text while its period runs, a refresh otherwise.
 */
static ReaderStart StartReader(InstanceRecord* instance, const char* refresh, const char** result)
{
    if (DriverLoaded == 0) {
        *result = GAUGELET_DRIVER_MISSING_TEXT;
        return ReaderReturnNow;
    }
    if (instance == NULL) {
        *result = NoInstanceText;
        return ReaderReturnNow;
    }
    if (!IsRefreshDue(instance, ReadRefreshSeconds(refresh))) {
        *result = instance->Text;
        return ReaderReturnNow;
    }
    return ReaderRefresh;
}

/*
 * One request with a 4-byte input and the instance's Value as output. A
 * request that fails outright leaves no value, never a stale or undefined one.
 */
static void SendRequest(InstanceRecord* instance, DWORD code, DWORD input)
{
    DWORD returned = 0;
    if (!DeviceIoControl(DeviceHandle, code, &input, sizeof(input), &instance->Value,
                         sizeof(instance->Value), &returned, NULL))
        instance->Value = ZEPHR_NO_VALUE;
}

static void SetText(InstanceRecord* instance, const char* text)
{
    CopyText(instance->Text, INSTANCE_TEXT_SIZE, text);
}

/* The instance's Value as a signed decimal number, then suffix. */
static void SetNumberText(InstanceRecord* instance, const char* suffix)
{
    char number[DECIMAL_TEXT_SIZE];

    SetText(instance, DecimalText(number, (int)instance->Value));
    AppendText(instance->Text, INSTANCE_TEXT_SIZE, suffix);
}

static const char* ReadTemperature(InstanceRecord* instance, int sensor, const char* refresh,
                                   const char* unit, const char* degree)
{
    const char* result;

    if (StartReader(instance, refresh, &result) == ReaderReturnNow)
        return result;
    SendRequest(instance, IOCTL_ZEPHR_GET_TEMP, (DWORD)sensor);
    if (instance->Value == ZEPHR_NO_VALUE) {
        SetText(instance, GAUGELET_NO_VALUE_TEXT);
        return instance->Text;
    }
    if (unit != NULL && unit[0] == 'f')
        instance->Value = (DWORD)GaugeletFahrenheit((long)instance->Value);
    SetNumberText(instance, degree != NULL && degree[0] == 'y' ? DEGREE_SIGN : "");
    return instance->Text;
}

BOOL ReadFanSpeed(InstanceRecord* instance, int fan)
{
    SendRequest(instance, IOCTL_ZEPHR_GET_FAN_SPEED, (DWORD)fan);
    if (instance->Value == ZEPHR_NO_VALUE)
        return FALSE;
    instance->Value /= Profile.FanDivisor;
    return TRUE;
}

static const char* ReadFanRpm(InstanceRecord* instance, int fan, const char* refresh)
{
    const char* result;

    if (StartReader(instance, refresh, &result) == ReaderReturnNow)
        return result;
    if (!ReadFanSpeed(instance, fan))
        SetText(instance, GAUGELET_NO_VALUE_TEXT);
    else
        SetNumberText(instance, "");
    return instance->Text;
}

static const char* ReadFanState(InstanceRecord* instance, int fan, const char* refresh)
{
    const char* result;

    if (StartReader(instance, refresh, &result) == ReaderReturnNow)
        return result;
    SendRequest(instance, IOCTL_ZEPHR_GET_FAN_STATE, (DWORD)fan);
    SetText(instance, instance->Value < GAUGELET_FAN_STATE_COUNT
                          ? GaugeletFanStateNames[instance->Value]
                          : GAUGELET_NO_VALUE_TEXT);
    return instance->Text;
}

extern "C" {

const char* GetCPUTemp(InstanceRecord* instance, const char* refresh, const char* unit,
                       const char* degree)
{
    return ReadTemperature(instance, Profile.Sensor[GaugeletCpu], refresh, unit, degree);
}

const char* GetGPUTemp(InstanceRecord* instance, const char* refresh, const char* unit,
                       const char* degree)
{
    return ReadTemperature(instance, Profile.Sensor[GaugeletGpu], refresh, unit, degree);
}

const char* GetDIMMTemp(InstanceRecord* instance, const char* refresh, const char* unit,
                        const char* degree)
{
    return ReadTemperature(instance, Profile.Sensor[GaugeletDimm], refresh, unit, degree);
}

const char* GetOTHERTemp(InstanceRecord* instance, const char* refresh, const char* unit,
                         const char* degree)
{
    return ReadTemperature(instance, Profile.Sensor[GaugeletOther], refresh, unit, degree);
}

const char* GetFAN1RPM(InstanceRecord* instance, const char* refresh)
{
    return ReadFanRpm(instance, 0, refresh);
}

const char* GetFAN2RPM(InstanceRecord* instance, const char* refresh)
{
    return ReadFanRpm(instance, 1, refresh);
}

const char* GetFAN1Speed(InstanceRecord* instance, const char* refresh)
{
    return ReadFanState(instance, 0, refresh);
}

const char* GetFAN2Speed(InstanceRecord* instance, const char* refresh)
{
    return ReadFanState(instance, 1, refresh);
}

} /* extern "C" */
