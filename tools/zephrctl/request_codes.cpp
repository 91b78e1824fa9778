// SPDX-License-Identifier: MIT
// request_codes.cpp
//
// The driver's control codes as zephrctl sees them: rows of the protocol
// table.
#include "tools/zephrctl/request_codes.h"

#include "common/zephr_ioctl.h"

#include <stdexcept>

namespace zephrctl {

std::optional<RequestCode> findRequestCode(uint32_t code)
{
    const ZEPHR_CONTROL_CODE_ROW* row = ZephrFindControlCode(code);
    if (row == nullptr) {
        return std::nullopt;
    }
    return RequestCode{row->Code, row->Name, row->MinInputLength, row->MinOutputLength};
}

RequestCode requestCode(uint32_t code)
{
    auto known = findRequestCode(code);
    if (!known) {
        throw std::logic_error("code " + std::to_string(code) + " is not in the protocol table");
    }
    return *known;
}

} // namespace zephrctl
