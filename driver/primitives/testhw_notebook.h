// SPDX-License-Identifier: MIT
/*
 * testhw_notebook.h
 *
 * The fixed notebook that zephr-testhw.sys answers from: what its SMM BIOS
 * returns for each function, and what its empty I/O bus reads. Plain
 * numbers only, so the Windows test programs include it too: they expect
 * exactly these values end to end.
 */
#ifndef ZEPHR_TESTHW_NOTEBOOK_H
#define ZEPHR_TESTHW_NOTEBOOK_H

/* Temperatures in degrees Celsius of sensors 0 to 3; other sensors are unknown. */
#define TESTHW_TEMP_SENSOR0 52u
#define TESTHW_TEMP_SENSOR1 47u
#define TESTHW_TEMP_SENSOR2 41u
#define TESTHW_TEMP_SENSOR3 38u
#define TESTHW_SENSOR_COUNT 4u

/* Fan speeds as the BIOS reports them (the driver multiplies by 30). */
#define TESTHW_FAN0_SPEED 110u /* 3300 */
#define TESTHW_FAN1_SPEED 0u   /* stopped: a valid 0 */

/* Fan states at load; SET_FAN_STATE changes them until unload. */
#define TESTHW_FAN0_INITIAL_STATE 1u /* Slow */
#define TESTHW_FAN1_INITIAL_STATE 0u /* Off */

/* What a port read answers: a bus with no device. */
#define TESTHW_EMPTY_BUS_BYTE 0xFFu

#endif /* ZEPHR_TESTHW_NOTEBOOK_H */
