// SPDX-License-Identifier: MIT
// request_fuzzer.cpp
//
// libFuzzer target for the request path. An input chooses a notebook (the
// built-in one with each SMM behaviour, with Super I/O chips that answer,
// misbehave or are absent, or a firmware fixture) and a sequence of requests
// on handles opened for writing, for reading only, or already closed: valid
// codes and codes near them (other access and method bits, neighbouring
// functions), random codes, lengths from 0 to 64 KiB, null buffers, and now
// and then an unload that leaves the device behind. Every reply is held to
// the request rules; at the end no mapping may outlive the driver.
#include "fuzz/fuzz_support.h"

#include "sim/superio_chip.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <array>

namespace {

// Lengths at and around the codes' minimums, and larger ones.
const std::array<DWORD, 14> kLengths = {0,
                                        1,
                                        2,
                                        3,
                                        4,
                                        5,
                                        7,
                                        8,
                                        100,
                                        ZEPHR_SYSINFO_LENGTH - 1,
                                        ZEPHR_SYSINFO_LENGTH,
                                        ZEPHR_ACPI_REPORT_LENGTH - 1,
                                        ZEPHR_ACPI_REPORT_LENGTH,
                                        65536};

constexpr int kNotebookKinds = 10;
constexpr int kMaxRequests = 64;

std::shared_ptr<sim::Machine> notebook(FuzzedDataProvider& in)
{
    const int kind = in.ConsumeIntegralInRange(0, kNotebookKinds - 1);
    std::shared_ptr<sim::Machine> machine;
    if (kind < fuzz::kFixtureCount) {
        machine = std::make_shared<sim::Machine>();
        machine->name = fuzz::fixtureName(kind);
        machine->memory = fuzz::fixtureMemory(kind);
        machine->smm.temperatures = {{0, 50}, {1, 41}};
        machine->smm.fans = {sim::Fan{1, 100}, sim::Fan{2, 140}};
    } else {
        machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    }
    machine->smm.behaviour = static_cast<sim::SmmBehaviour>(in.ConsumeIntegralInRange(0, 2));

    sim::SuperIoSettings chip;
    switch (kind) {
    case 4: // none
        return machine;
    case 5:
        chip.configPort = 0x4E;
        break;
    case 6:
        chip.echo = true;
        break;
    case 7:
        chip.stuckRegisters = {{0x92, in.ConsumeIntegral<uint8_t>()}};
        break;
    case 8:
        chip.revision = in.ConsumeIntegral<uint8_t>();
        chip.deviceId = in.ConsumeBool() ? 0x0E : in.ConsumeIntegral<uint8_t>();
        break;
    case 9:
        chip.runtimeBase =
            in.ConsumeBool() ? 0 : uint16_t(0x100 + in.ConsumeIntegral<uint8_t>() * 8);
        break;
    default:
        break;
    }
    machine->attach(std::make_shared<sim::SuperIoChip>(chip));
    return machine;
}

DWORD requestCode(FuzzedDataProvider& in, DWORD valid)
{
    switch (in.ConsumeIntegralInRange(0, 9)) {
    case 0: // other access or method bits
        return valid ^ (in.ConsumeIntegralInRange<DWORD>(1, 3) << (in.ConsumeBool() ? 14 : 0));
    case 1: // a neighbouring function
        return valid + 4 * in.ConsumeIntegralInRange<int>(-3, 3);
    case 2: // one bit of the device type or function
        return valid ^ (1u << in.ConsumeIntegralInRange(2, 31));
    case 3:
        return in.ConsumeIntegral<DWORD>();
    default:
        return valid;
    }
}

// Mostly the code's own length, else one near a boundary or any.
DWORD length(FuzzedDataProvider& in, DWORD own)
{
    const int choice = in.ConsumeIntegralInRange(0, 9);
    if (choice < 5)
        return own;
    if (choice == 5)
        return own + in.ConsumeIntegralInRange<DWORD>(1, 64);
    if (choice == 6)
        return in.ConsumeIntegralInRange<DWORD>(0, 65536);
    return kLengths[in.ConsumeIntegralInRange<size_t>(0, kLengths.size() - 1)];
}

struct Handle {
    HANDLE value = INVALID_HANDLE_VALUE;
    bool open = false;
    bool writes = false;
    bool reads = false;
};

Handle openHandle(DWORD access)
{
    Handle handle;
    handle.value = CreateFileA(ZEPHR_USER_PATH, access, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    handle.open = handle.value != INVALID_HANDLE_VALUE;
    handle.writes = (access & GENERIC_WRITE) != 0;
    handle.reads = (access & GENERIC_READ) != 0;
    return handle;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::printCountsAtExit("request_fuzzer");
    FuzzedDataProvider in(data, size);
    fuzz::DriverOnNotebook driver(notebook(in));
    ++fuzz::counts().inputs;

    std::array<Handle, 4> handles = {openHandle(GENERIC_WRITE), openHandle(GENERIC_READ),
                                     openHandle(GENERIC_WRITE | GENERIC_READ),
                                     openHandle(GENERIC_WRITE)};
    for (int i = 0; i < 3; ++i)
        if (!handles[i].open)
            fuzz::violation("the device did not open");
    CloseHandle(handles[3].value); // a handle used after its close
    handles[3].open = false;

    for (int n = 0; n < kMaxRequests && in.remaining_bytes() > 0; ++n) {
        if (in.ConsumeIntegralInRange(0, 63) == 0) {
            driver.unloadLeavingTheDevice();
            continue;
        }
        // Mostly the write handle; now and then read-only, read-write, closed.
        const size_t pick = in.ConsumeIntegralInRange<size_t>(0, 8);
        const Handle& handle = handles[pick < 5 ? 0 : pick - 5];
        fuzz::Exchange e;
        e.handle = handle.value;
        e.handleOpen = handle.open;
        e.handleWrites = handle.writes;
        e.handleReads = handle.reads;
        // The codes with their shortest input and output, so that most
        // requests pass the length test and reach the operations.
        const ZEPHR_CONTROL_CODE_ROW& code =
            ZephrControlCodes[in.ConsumeIntegralInRange<size_t>(0, ZEPHR_CONTROL_CODE_COUNT - 1)];
        e.code = requestCode(in, code.Code);
        // Words in bounds most of the time, so the operations run.
        std::vector<uint8_t> head = in.ConsumeBytes<uint8_t>(4);
        if (head.size() == 4 && in.ConsumeBool()) {
            head[0] &= 1;
            head[1] = 0;
            head[2] &= 0x3F;
            head[3] = 0;
        }
        e.input.assign(length(in, code.MinInputLength), 0x5A);
        std::copy(head.begin(), head.begin() + std::min(head.size(), e.input.size()),
                  e.input.begin());
        e.outputLength = length(in, code.MinOutputLength);
        const int nulls = in.ConsumeIntegralInRange(0, 15);
        e.nullInput = nulls == 1;
        e.nullOutput = nulls == 2;
        fuzz::send(e);
        fuzz::check(e, false);
    }

    for (int i = 0; i < 3; ++i)
        CloseHandle(handles[i].value);
    driver.finish();
    return 0;
}
