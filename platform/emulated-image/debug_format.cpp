// SPDX-License-Identifier: MIT
// debug_format.cpp
//
// The printf formatting of DbgPrint for an emulated driver: the format text
// and its arguments are read from emulated memory by the calling convention
// (on x86 32-bit stack slots, two for a 64-bit argument; on x86-64 one
// 8-byte slot each; "%s" texts from their addresses) and each conversion is
// printed as the host C library prints it.
#include "platform/emulated-image/emulated_driver.h"

#include <cstdio>

namespace emulated {

std::string EmulatedDriver::formatArguments(uint32_t format, Arguments& arguments) const
{
    const std::string text = cpu_->readText(format);
    auto argument = [&]() { return arguments.word(); };
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out.push_back(text[i]);
            continue;
        }
        // One conversion: %[flags][width][.precision][length]kind.
        std::string conversion = "%";
        size_t j = i + 1;
        while (j < text.size() && std::string("-+ #0").find(text[j]) != std::string::npos)
            conversion.push_back(text[j++]);
        auto number = [&]() {
            if (j < text.size() && text[j] == '*') {
                conversion += std::to_string(static_cast<int32_t>(argument()));
                ++j;
                return;
            }
            while (j < text.size() && text[j] >= '0' && text[j] <= '9')
                conversion.push_back(text[j++]);
        };
        number();
        if (j < text.size() && text[j] == '.') {
            conversion.push_back(text[j++]);
            number();
        }
        bool wide64 = false;
        if (text.compare(j, 2, "ll") == 0 || text.compare(j, 3, "I64") == 0) {
            wide64 = true;
            j += text[j] == 'I' ? 3 : 2;
        } else {
            while (j < text.size() && (text[j] == 'l' || text[j] == 'h' || text[j] == 'z'))
                ++j; // 32 bits in a 32-bit driver, printed as such
        }
        if (j >= text.size()) {
            out += text.substr(i);
            break;
        }
        const char kind = text[j];
        char piece[512];
        switch (kind) {
        case '%':
            out.push_back('%');
            break;
        case 'd':
        case 'i':
            if (wide64) {
                const uint64_t value = arguments.wide();
                std::snprintf(piece, sizeof piece, (conversion + "lld").c_str(),
                              static_cast<long long>(value));
            } else {
                std::snprintf(piece, sizeof piece, (conversion + "d").c_str(),
                              static_cast<int32_t>(argument()));
            }
            out += piece;
            break;
        case 'u':
        case 'x':
        case 'X':
        case 'o':
            if (wide64) {
                const uint64_t value = arguments.wide();
                std::snprintf(piece, sizeof piece, (conversion + "ll" + kind).c_str(),
                              static_cast<unsigned long long>(value));
            } else {
                std::snprintf(piece, sizeof piece, (conversion + kind).c_str(),
                              static_cast<unsigned>(argument()));
            }
            out += piece;
            break;
        case 'c':
            std::snprintf(piece, sizeof piece, (conversion + "c").c_str(),
                          static_cast<int>(argument() & 0xFF));
            out += piece;
            break;
        case 'p':
            // As the kernel prints a pointer: all its digits.
            std::snprintf(piece, sizeof piece, "%0*llX", int(2 * arguments.pointerBytes()),
                          static_cast<unsigned long long>(arguments.natural()));
            out += piece;
            break;
        case 's': {
            const uint32_t address = arguments.pointer();
            const std::string value = address != 0 ? cpu_->readText(address) : "(null)";
            std::string valueConversion = conversion + "s";
            const int length = std::snprintf(nullptr, 0, valueConversion.c_str(), value.c_str());
            std::string printed(static_cast<size_t>(std::max(length, 0)), '\0');
            std::snprintf(printed.data(), printed.size() + 1, valueConversion.c_str(),
                          value.c_str());
            out += printed;
            break;
        }
        default:
            // A conversion the kernel's DbgPrint would print is not one the
            // driver uses; it is shown as written.
            out += text.substr(i, j - i + 1);
            break;
        }
        i = j;
    }
    return out;
}

} // namespace emulated
