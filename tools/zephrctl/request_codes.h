// SPDX-License-Identifier: MIT
// request_codes.h
//
// What zephrctl knows of the driver's control codes, taken from the
// protocol table in common/zephr_ioctl.h: each code's name, the buffer
// lengths it needs, so the named commands and the raw request send the
// right lengths and messages can name the code.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace zephrctl {

struct RequestCode {
    uint32_t code;
    const char* name;
    uint32_t inputLength;
    uint32_t outputLength;
};

std::optional<RequestCode> findRequestCode(uint32_t code);

// The row of a code of the table; throws std::logic_error for any other.
RequestCode requestCode(uint32_t code);

} // namespace zephrctl
