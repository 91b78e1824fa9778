// request_codes.h
//
// What zephrctl knows of the driver's control codes: each code's name and
// the buffer lengths it needs, so the raw request can default its lengths and
// messages can name the code.
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

} // namespace zephrctl
