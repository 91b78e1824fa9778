// SPDX-License-Identifier: MIT
/*
 * vocabulary.h
 *
 * What Gaugelet offers and says, for everything that shows or checks it: the
 * host functions and the eight readers it exports (each reader's label, log
 * key, kind and sensor role or fan), the texts a reader gives instead of a
 * value, the fan state names, the Fahrenheit rule, the fan-speed divisor and
 * the model profile chosen from the notebook's product name. The plug-in
 * answers with these; gaugehost, zephrctl, the benchmarks, the fuzz targets
 * and the tests take them from here. C++ needing nothing but the compiler,
 * as the plug-in does.
 */
#ifndef GAUGELET_VOCABULARY_H
#define GAUGELET_VOCABULARY_H

#include "common/smm_interface.h"

/* The texts a reader gives instead of a value. */
#define GAUGELET_DRIVER_MISSING_TEXT "ERROR: Could not load zephr driver."
#define GAUGELET_NO_VALUE_TEXT "ERROR: No value was present."
/* A reader called with no instance record (the host's dllstartup failed). */
#define GAUGELET_NO_INSTANCE_TEXT "ERROR: No instance was created."

/* The functions the host application calls besides the readers. */
#define GAUGELET_HOST_FUNCTION_COUNT 6
constexpr const char* GaugeletHostFunctions[GAUGELET_HOST_FUNCTION_COUNT] = {
    "init", "getparam", "dllstartup", "dllshutdown", "dlltype", "getinfo"};

enum GaugeletReaderKind { GaugeletTemperature, GaugeletFanSpeed, GaugeletFanState };

/* A temperature reader's role; the model profile gives each a sensor number. */
enum GaugeletSensorRole { GaugeletCpu, GaugeletGpu, GaugeletDimm, GaugeletOther };
#define GAUGELET_SENSOR_ROLE_COUNT 4

struct GaugeletReader {
    const char* Export; /* the exported name, "GetCPUTemp" */
    const char* Label;  /* what it shows, "CPU temperature" */
    const char* LogKey; /* its column in a log, "cpu_temp_c" */
    GaugeletReaderKind Kind;
    int Index; /* the sensor role of a temperature, else the fan (0 or 1) */
};

#define GAUGELET_READER_COUNT 8
constexpr GaugeletReader GaugeletReaders[GAUGELET_READER_COUNT] = {
    {"GetCPUTemp", "CPU temperature", "cpu_temp_c", GaugeletTemperature, GaugeletCpu},
    {"GetGPUTemp", "GPU temperature", "gpu_temp_c", GaugeletTemperature, GaugeletGpu},
    {"GetDIMMTemp", "Memory temperature", "memory_temp_c", GaugeletTemperature, GaugeletDimm},
    {"GetOTHERTemp", "Other temperature", "other_temp_c", GaugeletTemperature, GaugeletOther},
    {"GetFAN1RPM", "Fan 0 speed", "fan1_rpm", GaugeletFanSpeed, 0},
    {"GetFAN2RPM", "Fan 1 speed", "fan2_rpm", GaugeletFanSpeed, 1},
    {"GetFAN1Speed", "Fan 0 state", "fan1_state", GaugeletFanState, 0},
    {"GetFAN2Speed", "Fan 1 state", "fan2_state", GaugeletFanState, 1},
};

/* The reader list init() gives the host: the exported names joined by '|'. */
#define GAUGELET_READER_LIST                                                                       \
    "GetCPUTemp|GetGPUTemp|GetDIMMTemp|GetOTHERTemp|GetFAN1RPM|GetFAN2RPM|GetFAN1Speed|"           \
    "GetFAN2Speed"

/* True when the list names the table's readers in its order, nothing else. */
constexpr bool GaugeletListMatchesReaders(const char* List)
{
    for (int reader = 0; reader < GAUGELET_READER_COUNT; ++reader) {
        const char* name = GaugeletReaders[reader].Export;
        while (*name != '\0' && *List == *name) {
            ++name;
            ++List;
        }
        if (*name != '\0')
            return false;
        if (*List != (reader + 1 < GAUGELET_READER_COUNT ? '|' : '\0'))
            return false;
        if (*List == '|')
            ++List;
    }
    return true;
}
static_assert(GaugeletListMatchesReaders(GAUGELET_READER_LIST),
              "the reader list and the reader table disagree");

/* A fan state reader's texts, by the state the BIOS gives (0, 1, 2). */
#define GAUGELET_FAN_STATE_COUNT 3
constexpr const char* GaugeletFanStateNames[GAUGELET_FAN_STATE_COUNT] = {"Off", "Slow", "High"};

/* A fan speed of a divided profile is shown divided by this: in the BIOS's
   own units. */
#define GAUGELET_FAN_SPEED_DIVISOR SMM_FAN_SPEED_FACTOR

/* Fahrenheit as a temperature reader gives it: whole degrees Celsius times
   9, divided by 5 with the fraction dropped, plus 32. */
constexpr long GaugeletFahrenheit(long Celsius)
{
    return Celsius * 9 / 5 + 32;
}

/* The model profile: the sensor number of each role, and the divisor of the
   fan speeds (1, or GAUGELET_FAN_SPEED_DIVISOR). */
struct GaugeletProfile {
    int Sensor[GAUGELET_SENSOR_ROLE_COUNT];
    unsigned FanDivisor;
};

/* The profile of every notebook no rule names. */
constexpr GaugeletProfile GaugeletDefaultProfile = {{0, 1, 2, 3}, 1};

/* The profile for a notebook's product name (plugin/model_profile.cpp). */
GaugeletProfile GaugeletProfileFor(const char* ProductName);

#endif /* GAUGELET_VOCABULARY_H */
