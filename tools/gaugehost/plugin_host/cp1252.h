// SPDX-License-Identifier: MIT
// cp1252.h
//
// The plug-in's texts are 8-bit Windows-1252 (the degree sign is the byte
// 0xB0); a terminal wants UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace gaugehost {

// Each byte as the Unicode character Windows-1252 gives it, in UTF-8. The
// five bytes the code page leaves undefined (0x81, 0x8D, 0x8F, 0x90, 0x9D)
// become the C1 control characters of the same number, as Windows maps them.
std::string cp1252ToUtf8(std::string_view text);

// The text as a terminal may be given it: cp1252ToUtf8, but the bytes a
// terminal would act on (C0 controls, DEL, and the five undefined bytes that
// would become C1 controls) written as \xHH and a backslash as \\.
std::string cp1252ToDisplay(std::string_view text);

} // namespace gaugehost
