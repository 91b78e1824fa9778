// SPDX-License-Identifier: MIT
// firmware_fuzzer.cpp
//
// libFuzzer target for the firmware readers. An input takes a firmware
// fixture (or the built-in notebook) and mutates it: bytes and fields of the
// SMBIOS entry point and structure table, of the RSDP, the RSDT or XSDT and
// the tables they list, bytes anywhere in the first MiB, and ranges made
// unmappable. The system information, CPU speed and ACPI requests then run
// over it (the ACPI report twice, so the first report's mappings are
// released by the second). The mapping arena's guard pages and poisoning
// catch every read outside a mapping; every reply is held to the request
// rules, and no mapping may outlive the driver.
#include "fuzz/fuzz_support.h"

#include <fuzzer/FuzzedDataProvider.h>

#include <cstring>
#include <optional>

namespace {

// Where a notebook's firmware structures lie.
struct Landmarks {
    uint64_t smbiosEntry = 0;
    uint64_t smbiosTable = 0;
    uint64_t rsdp = 0;
    uint64_t rootTable = 0;
    std::vector<uint64_t> tables;
};

uint32_t read32(const sim::PhysicalMemory& memory, uint64_t at)
{
    uint8_t b[4];
    memory.read(at, b, 4);
    return uint32_t(b[0]) | uint32_t(b[1]) << 8 | uint32_t(b[2]) << 16 | uint32_t(b[3]) << 24;
}

std::optional<uint64_t> findAnchor(const sim::PhysicalMemory& memory, uint64_t from, uint64_t to,
                                   const char* anchor)
{
    std::vector<uint8_t> area(to - from);
    memory.read(from, area.data(), area.size());
    const size_t length = std::strlen(anchor);
    for (size_t at = 0; at + length <= area.size(); at += 16)
        if (std::memcmp(&area[at], anchor, length) == 0)
            return from + at;
    return std::nullopt;
}

Landmarks landmarksOf(const sim::PhysicalMemory& memory)
{
    Landmarks marks;
    if (auto entry = findAnchor(memory, 0xF0000, 0x100000, "_SM_")) {
        marks.smbiosEntry = *entry;
        marks.smbiosTable = read32(memory, *entry + 0x18);
    } else if (auto entry3 = findAnchor(memory, 0xF0000, 0x100000, "_SM3_")) {
        marks.smbiosEntry = *entry3;
        marks.smbiosTable = read32(memory, *entry3 + 0x10);
    }
    auto rsdp = findAnchor(memory, 0xE0000, 0x100000, "RSD PTR ");
    if (!rsdp)
        rsdp = findAnchor(memory, 0x9FC00, 0xA0000, "RSD PTR ");
    if (rsdp) {
        marks.rsdp = *rsdp;
        uint8_t revision = 0;
        memory.read(*rsdp + 15, &revision, 1);
        marks.rootTable = read32(memory, *rsdp + (revision >= 2 ? 24 : 16));
        const uint32_t rootLength = read32(memory, marks.rootTable + 4);
        const uint32_t width = revision >= 2 ? 8 : 4;
        for (uint32_t at = 36; at + width <= rootLength && marks.tables.size() < 16; at += width)
            marks.tables.push_back(read32(memory, marks.rootTable + at));
    }
    return marks;
}

struct Base {
    sim::PhysicalMemory memory;
    Landmarks marks;
};

const Base& base(int index)
{
    static std::vector<std::optional<Base>> bases(fuzz::kFixtureCount + 1);
    auto& slot = bases[index];
    if (!slot) {
        Base made;
        if (index < fuzz::kFixtureCount) {
            made.memory = fuzz::fixtureMemory(index);
        } else {
            made.memory = sim::Machine::builtin()->memory;
        }
        made.marks = landmarksOf(made.memory);
        slot = std::move(made);
    }
    return *slot;
}

// Mutates one structure: a field of 1, 2 or 4 bytes at an offset near it
// gets a value, or a run of bytes gets the input's bytes.
void mutate(FuzzedDataProvider& in, sim::PhysicalMemory& memory, const Landmarks& marks)
{
    uint64_t at = 0;
    uint32_t span = 64;
    switch (in.ConsumeIntegralInRange(0, 7)) {
    case 0:
        at = marks.smbiosEntry;
        span = 32;
        break;
    case 1:
        at = marks.smbiosTable;
        span = 1024;
        break;
    case 2:
        at = marks.rsdp;
        span = 36;
        break;
    case 3:
        at = marks.rootTable;
        span = 36 + 16 * 8;
        break;
    case 4:
        at = marks.tables.empty()
                 ? marks.rootTable
                 : marks.tables[in.ConsumeIntegralInRange<size_t>(0, marks.tables.size() - 1)];
        span = 40;
        break;
    case 5:
        at = in.ConsumeIntegralInRange<uint64_t>(0, 0xFFFFF);
        break;
    case 6: {
        // A range that cannot be mapped, around one of the structures.
        const uint64_t around[] = {marks.smbiosTable, marks.rootTable, 0xE0000, 0x9FC00,
                                   marks.tables.empty() ? 0 : marks.tables[0]};
        const uint64_t start = around[in.ConsumeIntegralInRange<size_t>(0, 4)] +
                               in.ConsumeIntegralInRange<int64_t>(-64, 64);
        memory.markUnmappable(start, in.ConsumeIntegralInRange<uint64_t>(1, 0x2000));
        return;
    }
    default:
        at = marks.smbiosTable + in.ConsumeIntegralInRange<uint32_t>(0, 0x4000);
        break;
    }
    at += in.ConsumeIntegralInRange<uint32_t>(0, span - 1);
    std::vector<uint8_t> bytes;
    switch (in.ConsumeIntegralInRange(0, 3)) {
    case 0:
        bytes = {in.ConsumeIntegral<uint8_t>()};
        break;
    case 1: {
        const uint16_t value = in.ConsumeIntegral<uint16_t>();
        bytes = {uint8_t(value), uint8_t(value >> 8)};
        break;
    }
    case 2: {
        // Lengths and addresses: small, large, near the top, or any.
        const uint32_t picks[] = {0,
                                  1,
                                  35,
                                  36,
                                  37,
                                  0xFFFF,
                                  0x10000,
                                  0xFFFFFFFFu,
                                  0xE0000,
                                  0xFFFF0,
                                  in.ConsumeIntegral<uint32_t>()};
        const uint32_t value = picks[in.ConsumeIntegralInRange<size_t>(0, 10)];
        bytes = {uint8_t(value), uint8_t(value >> 8), uint8_t(value >> 16), uint8_t(value >> 24)};
        break;
    }
    default:
        bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(1, 32));
        break;
    }
    if (!bytes.empty())
        memory.load(at, bytes);
}

struct Handle {
    HANDLE value;
    ~Handle()
    {
        CloseHandle(value);
    }
};

void request(HANDLE device, DWORD code, DWORD outputLength)
{
    fuzz::Exchange e;
    e.handle = device;
    e.handleOpen = true;
    e.handleWrites = true;
    e.code = code;
    e.outputLength = outputLength;
    fuzz::send(e);
    fuzz::check(e, true);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    fuzz::printCountsAtExit("firmware_fuzzer");
    FuzzedDataProvider in(data, size);
    const Base& start = base(in.ConsumeIntegralInRange(0, fuzz::kFixtureCount));

    auto machine = std::make_shared<sim::Machine>();
    machine->name = "mutant";
    machine->memory = start.memory;
    const int mutations = in.ConsumeIntegralInRange(1, 8);
    for (int i = 0; i < mutations && in.remaining_bytes() > 0; ++i)
        mutate(in, machine->memory, start.marks);
    ++fuzz::counts().inputs;
    ++fuzz::counts().mutants;

    fuzz::DriverOnNotebook driver(machine);
    {
        Handle device{
            CreateFileA(ZEPHR_USER_PATH, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr)};
        if (device.value == INVALID_HANDLE_VALUE)
            fuzz::violation("the device did not open");
        request(device.value, IOCTL_ZEPHR_GET_SYSINFO, ZEPHR_SYSINFO_LENGTH);
        request(device.value, IOCTL_ZEPHR_GET_CPU_SPEED, ZEPHR_CPU_SPEED_LENGTH);
        request(device.value, IOCTL_ZEPHR_GET_ACPI_REPORT, ZEPHR_ACPI_REPORT_LENGTH);
        request(device.value, IOCTL_ZEPHR_GET_ACPI_REPORT, ZEPHR_ACPI_REPORT_LENGTH);
        request(device.value, IOCTL_ZEPHR_GET_SYSINFO, ZEPHR_SYSINFO_LENGTH);
    }
    driver.finish();
    return 0;
}
