// SPDX-License-Identifier: MIT
/*
 * readers.h
 *
 * The eight reader exports the host calls again and again: four
 * temperatures, two fan speeds and two fan states, each returning a short
 * text that stays valid until the next call on the same instance.
 */
#ifndef GAUGELET_READERS_H
#define GAUGELET_READERS_H

#include "plugin/instance_record.h"

#ifdef __cplusplus
extern "C" {
#endif

const char* GetCPUTemp(InstanceRecord* instance, const char* refresh, const char* unit,
                       const char* degree);
const char* GetGPUTemp(InstanceRecord* instance, const char* refresh, const char* unit,
                       const char* degree);
const char* GetDIMMTemp(InstanceRecord* instance, const char* refresh, const char* unit,
                        const char* degree);
const char* GetOTHERTemp(InstanceRecord* instance, const char* refresh, const char* unit,
                         const char* degree);
const char* GetFAN1RPM(InstanceRecord* instance, const char* refresh);
const char* GetFAN2RPM(InstanceRecord* instance, const char* refresh);
const char* GetFAN1Speed(InstanceRecord* instance, const char* refresh);
const char* GetFAN2Speed(InstanceRecord* instance, const char* refresh);

#ifdef __cplusplus
}
#endif

/* One fan-speed request into the instance's Value; FALSE when there is no value. */
BOOL ReadFanSpeed(InstanceRecord* instance, int fan);

#endif /* GAUGELET_READERS_H */
