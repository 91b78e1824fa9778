// SPDX-License-Identifier: MIT
// debug_print.cpp
//
// DbgPrint: printf formatting into one debug message, handed without its
// trailing newline to the sink the I/O manager was given, or by default to
// the simulated notebook's trace as "dbg <message>".
#include "platform/host-nt/kernel_state.h"
#include "sim/machine.h"

#include <cstdio>

namespace {

std::string format(PCSTR text, va_list arguments)
{
    va_list counting;
    va_copy(counting, arguments);
    int length = std::vsnprintf(nullptr, 0, text, counting);
    va_end(counting);
    if (length < 0)
        return std::string("(unprintable message: ") + text + ")";
    std::string message(static_cast<size_t>(length), '\0');
    std::vsnprintf(message.data(), message.size() + 1, text, arguments);
    return message;
}

void toMachineTrace(const std::string& message)
{
    if (auto machine = sim::currentMachinePtr())
        machine->trace.line("dbg " + message);
}

} // namespace

namespace nt {

void IoManager::setDebugSink(std::function<void(const std::string&)> sink)
{
    std::lock_guard guard(state_->kernel.sinkLock);
    state_->kernel.sink = std::move(sink);
}

} // namespace nt

extern "C" ULONG DbgPrint(PCSTR Format, ...)
{
    if (Format == nullptr)
        return STATUS_SUCCESS;
    va_list arguments;
    va_start(arguments, Format);
    std::string message = format(Format, arguments);
    va_end(arguments);
    if (!message.empty() && message.back() == '\n')
        message.pop_back();

    std::function<void(const std::string&)> sink;
    {
        std::lock_guard guard(nt::kernel().sinkLock);
        sink = nt::kernel().sink;
    }
    if (sink)
        sink(message);
    else
        toMachineTrace(message);
    return STATUS_SUCCESS;
}
