// SPDX-License-Identifier: MIT
/*
 * testhw_responder.h
 *
 * The SMI responder of zephr-testhw.sys: the routine that stands in for the
 * SMM BIOS in the test build's SmmExchange.
 */
#ifndef ZEPHR_TESTHW_RESPONDER_H
#define ZEPHR_TESTHW_RESPONDER_H

#include "driver/primitives/hw_primitives.h"
#include "driver/primitives/testhw_notebook.h"

#include "common/smm_interface.h"

#ifdef __cplusplus
extern "C" {
#endif

/*
 * Answers one SMI as the BIOS would: AX (the command byte 0xA3 and the
 * function in AH), BX the argument. Known functions leave the result in AX;
 * an unknown function, fan or sensor leaves AX = 0xFFFF; a block without the
 * command byte is ignored like the real BIOS ignores it (nothing changes).
 */
VOID TestHwAnswerSmi(PSMM_REGISTERS Registers);

#ifdef __cplusplus
}
#endif

#endif /* ZEPHR_TESTHW_RESPONDER_H */
