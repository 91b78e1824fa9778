// SPDX-License-Identifier: MIT
// kernel_state.cpp
//
// The one kernel of the process, the driver-fault report, and the name and
// string helpers the kernel routines share.
#include "platform/host-nt/kernel_state.h"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cwctype>

namespace nt {

namespace {

// Holds the kernel without ever destroying it: records that outlive main
// (a driver never unloaded, a handle never closed) stay valid while the
// process exits.
union KernelHolder {
    Kernel kernel;
    KernelHolder() : kernel() {}
    ~KernelHolder() {}
};

} // namespace

Kernel& kernel()
{
    static KernelHolder holder;
    return holder.kernel;
}

DriverRecord::~DriverRecord()
{
    if (image != nullptr)
        dlclose(image);
}

void driverFault(const std::string& message)
{
    std::fprintf(stderr, "host NT kernel: driver fault: %s\n", message.c_str());
    std::fflush(stderr);
    std::abort();
}

std::wstring foldName(const std::wstring& name)
{
    static const std::wstring dosDevices = L"\\DOSDEVICES\\";
    std::wstring folded;
    folded.reserve(name.size());
    for (wchar_t c : name)
        folded.push_back(static_cast<wchar_t>(std::towupper(static_cast<wint_t>(c))));
    if (folded.compare(0, dosDevices.size(), dosDevices) == 0)
        folded.replace(0, dosDevices.size(), L"\\??\\");
    return folded;
}

std::wstring toWString(PUNICODE_STRING string, const char* routine)
{
    if (string == nullptr)
        return {};
    if (string->Length % sizeof(WCHAR) != 0 || string->Length > string->MaximumLength ||
        (string->Length > 0 && string->Buffer == nullptr))
        driverFault(std::string(routine) + " was given a malformed UNICODE_STRING (Length " +
                    std::to_string(string->Length) + ", MaximumLength " +
                    std::to_string(string->MaximumLength) + ")");
    return std::wstring(string->Buffer, string->Length / sizeof(WCHAR));
}

std::string hex32(uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08X", value);
    return text;
}

std::string narrow(const std::wstring& text)
{
    std::string result;
    result.reserve(text.size());
    for (wchar_t c : text)
        result.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
    return result;
}

} // namespace nt
