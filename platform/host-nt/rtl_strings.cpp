// SPDX-License-Identifier: MIT
// rtl_strings.cpp
//
// RtlInitUnicodeString: a counted string over a NUL-terminated one, as the
// kernel builds it (the buffer is borrowed, not copied).
#include <ntddk.h>

#include <cwchar>

extern "C" VOID NTAPI RtlInitUnicodeString(PUNICODE_STRING DestinationString, PCWSTR SourceString)
{
    // The longest count that still leaves room for the terminator in 16 bits.
    constexpr size_t kMaxLength = (0xFFFF / sizeof(WCHAR) - 1) * sizeof(WCHAR);

    DestinationString->Buffer = const_cast<PWSTR>(SourceString);
    if (SourceString == nullptr) {
        DestinationString->Length = 0;
        DestinationString->MaximumLength = 0;
        return;
    }
    size_t length = std::wcslen(SourceString) * sizeof(WCHAR);
    if (length > kMaxLength)
        length = kMaxLength;
    DestinationString->Length = static_cast<USHORT>(length);
    DestinationString->MaximumLength = static_cast<USHORT>(length + sizeof(WCHAR));
}
