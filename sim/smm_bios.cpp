// SPDX-License-Identifier: MIT
// smm_bios.cpp
//
// The notebook BIOS's SMM handler for the fan and temperature functions
// (the command byte in AL, the function number in AH).
#include "sim/machine.h"

#include "common/smm_interface.h"

namespace sim {

namespace {

constexpr uint16_t kFailure = SMM_FAILED_AX;

} // namespace

// The handler changes AX only. When a successful answer happens to equal the
// AX that was sent (a fan speed of 0x02A3, say) it also flips bit 0 of DX,
// as the real handler leaves some register changed after every call it
// serves; otherwise the caller could not tell the answer from an ignored SMI.
void SmmBios::handle(SmmRegisters& registers)
{
    if ((registers.ax & 0xFF) != SMM_COMMAND_BYTE)
        return;
    if (beforeCall)
        beforeCall();
    const uint16_t sent = registers.ax;
    switch (behaviour) {
    case SmmBehaviour::Ignore:
        return;
    case SmmBehaviour::EchoAx:
        registers.dx ^= 0x0001;
        return;
    case SmmBehaviour::Normal:
        break;
    }
    if (custom) {
        custom(registers);
        return;
    }

    uint16_t answer = kFailure;
    switch (static_cast<uint8_t>(sent >> 8)) {
    case SMM_GET_FAN_STATE:
        if (registers.bx < fans.size())
            answer = fans[registers.bx].state;
        break;
    case SMM_SET_FAN_STATE: {
        const uint8_t fan = registers.bx & 0xFF;
        const uint8_t state = registers.bx >> 8;
        if (fan < fans.size() && state <= SMM_HIGHEST_FAN_STATE) {
            fans[fan].state = state;
            answer = 0;
        }
        break;
    }
    case SMM_GET_FAN_SPEED:
        if (registers.bx < fans.size())
            answer = fans[registers.bx].speed;
        break;
    case SMM_GET_TEMPERATURE:
        if (const auto sensor = temperatures.find(registers.bx); sensor != temperatures.end())
            answer = sensor->second;
        break;
    default:
        break;
    }
    registers.ax = answer;
    if (answer == sent)
        registers.dx ^= 0x0001;
}

} // namespace sim
