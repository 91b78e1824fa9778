// SPDX-License-Identifier: MIT
// control_bytes.h
//
// Texts that come from firmware or a plug-in may hold bytes a terminal acts
// on instead of showing (ESC starts a sequence that sets colours or the
// window title, BEL rings, CR overwrites the line). The tools write such
// texts with those bytes escaped as \xHH, and a backslash as \\ so that an
// escape can be told from the same characters in the text.
#pragma once

#include <string>
#include <string_view>

namespace tools {

// C0 controls (0x00-0x1F), DEL (0x7F) and the C1 range (0x80-0x9F), which a
// terminal in 8-bit mode reads as controls too.
bool isControlByte(unsigned char byte);

// The text with every control byte written as \xHH (upper-case hex) and every
// backslash doubled; with keepLineBreaks a LF stays as it is. A character
// written in well-formed UTF-8 stays whole ("€" is E2 82 AC, and its 0x82 is
// no control there), unless it is a C1 control (U+0080 to U+009F, whose two
// bytes are escaped).
std::string escapeControlBytes(std::string_view text, bool keepLineBreaks = false);

// The same escape of one byte, for writers with their own idea of a control.
void appendEscapedByte(std::string& out, unsigned char byte);

} // namespace tools
