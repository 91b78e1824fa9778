// SPDX-License-Identifier: MIT
/*
 * smm_interface.h
 *
 * The notebook BIOS's SMM fan and temperature interface: the port whose
 * write raises the SMI, the POST code port the exchange writes after it, the
 * command byte in AL, the function numbers in AH, the failure answer and the
 * fan states. The driver calls it, the test-hardware driver and the
 * simulated notebook answer it; all three take the numbers from here. C++
 * needing nothing but the compiler (it builds in the freestanding driver).
 */
#ifndef ZEPHR_SMM_INTERFACE_H
#define ZEPHR_SMM_INTERFACE_H

/* A byte written here raises the SMI; the BIOS handler runs on AX..DX. */
#define SMM_COMMAND_PORT 0xB2u
/* AL as the BIOS left it is written here at once, as the BIOS's own code does. */
#define SMM_POST_CODE_PORT 0x84u

/* AL of every call; AH is the function. */
#define SMM_COMMAND_BYTE 0xA3u

/* The functions (AH). BX carries the fan or sensor number; for
   SMM_SET_FAN_STATE BL is the fan and BH the state. */
#define SMM_GET_FAN_STATE 0x00u
#define SMM_SET_FAN_STATE 0x01u
#define SMM_GET_FAN_SPEED 0x02u
#define SMM_GET_TEMPERATURE 0x10u

/* AX when the BIOS refuses a call it took. */
#define SMM_FAILED_AX 0xFFFFu
/* Fan states: 0 off, 1 slow, 2 high. */
#define SMM_HIGHEST_FAN_STATE 2u
/* The BIOS gives a fan speed in units of this many revolutions per minute. */
#define SMM_FAN_SPEED_FACTOR 30u

/* AX for a function: the command byte in AL, the function in AH. */
#define SMM_FUNCTION(Number) ((unsigned short)(((Number) << 8) | SMM_COMMAND_BYTE))

#endif /* ZEPHR_SMM_INTERFACE_H */
