// SPDX-License-Identifier: MIT
// fuzz_support.cpp
//
// The fuzz targets' shared part: fixture memories, the driver on a notebook
// for one input, sending a request through the Win32 layer, the request
// rules every reply is held to, and the closing counts.
#include "fuzz/fuzz_support.h"

#include "driver/zephr.h"
#include "platform/host-nt/nt_host.h"

#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <stdexcept>

namespace fuzz {

namespace {

const char* const kFixtures[kFixtureCount] = {"i440fx-inspiron-8600", "q35-latitude-d810",
                                              "i440fx-smbios3-only"};

// What each code answers, as the device promises it; its lengths and the
// words it reads come from the shared control-code table.
enum class Answer { Result, FanState, FanSpeed, Duty, Temperature, Version, Text };

Answer answerOf(DWORD code)
{
    switch (code) {
    case IOCTL_ZEPHR_GET_FAN_STATE:
        return Answer::FanState;
    case IOCTL_ZEPHR_GET_FAN_SPEED:
        return Answer::FanSpeed;
    case IOCTL_ZEPHR_GET_PWM:
        return Answer::Duty;
    case IOCTL_ZEPHR_GET_TEMP:
        return Answer::Temperature;
    case IOCTL_ZEPHR_GET_VERSION:
        return Answer::Version;
    case IOCTL_ZEPHR_GET_CPU_SPEED:
    case IOCTL_ZEPHR_GET_SYSINFO:
    case IOCTL_ZEPHR_GET_ACPI_REPORT:
        return Answer::Text;
    default:
        return Answer::Result;
    }
}

using Row = ZEPHR_CONTROL_CODE_ROW;

uint16_t wordAt(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint16_t(bytes[at] | bytes[at + 1] << 8);
}

// A word the code does not read is not looked at: the input may end before it.
bool inBounds(ZEPHR_FIELD field, const std::vector<uint8_t>& input, size_t at)
{
    return field == ZephrFieldNone || wordAt(input, at) <= ZephrFieldBound[field];
}

uint32_t dwordAt(const std::vector<uint8_t>& bytes, size_t at)
{
    return uint32_t(bytes[at]) | uint32_t(bytes[at + 1]) << 8 | uint32_t(bytes[at + 2]) << 16 |
           uint32_t(bytes[at + 3]) << 24;
}

std::string describe(const Exchange& e)
{
    char text[256];
    std::snprintf(text, sizeof text,
                  "code 0x%08X, input %zu bytes%s, output %u bytes%s, handle %s%s%s -> %s, "
                  "error %u, %u bytes",
                  unsigned(e.code), e.input.size(), e.nullInput ? " (null)" : "",
                  unsigned(e.outputLength), e.nullOutput ? " (null)" : "",
                  e.handleOpen ? "open" : "not open", e.handleWrites ? " write" : "",
                  e.handleReads ? " read" : "", e.ok ? "TRUE" : "FALSE", unsigned(e.error),
                  unsigned(e.bytes));
    return text;
}

// The Win32 error the request must end with; 0 for success.
DWORD expectedError(const Exchange& e, const Row*& row)
{
    row = nullptr;
    if (!e.handleOpen)
        return ERROR_INVALID_HANDLE;
    const DWORD access = (e.code >> 14) & 3;
    if (((access & FILE_READ_ACCESS) != 0 && !e.handleReads) ||
        ((access & FILE_WRITE_ACCESS) != 0 && !e.handleWrites))
        return ERROR_ACCESS_DENIED;
    if ((e.nullInput && !e.input.empty()) || (e.nullOutput && e.outputLength > 0))
        return 998; // ERROR_NOACCESS
    row = ZephrFindControlCode(e.code);
    if (row == nullptr)
        return ERROR_INVALID_PARAMETER;
    if (e.input.size() < row->MinInputLength || e.outputLength < row->MinOutputLength)
        return ERROR_INSUFFICIENT_BUFFER;
    if (!inBounds(row->Word0, e.input, 0) || !inBounds(row->Word1, e.input, 2))
        return ERROR_INVALID_PARAMETER;
    return 0;
}

bool answerInRange(Answer answer, uint32_t value, const std::vector<uint8_t>& output)
{
    switch (answer) {
    case Answer::Result:
        return value == 0 || value == ZEPHR_NO_VALUE;
    case Answer::FanState:
    case Answer::Temperature:
        return value <= 0xFFFE || value == ZEPHR_NO_VALUE;
    case Answer::FanSpeed:
        return value == ZEPHR_NO_VALUE ||
               (value % SMM_FAN_SPEED_FACTOR == 0 && value <= 0xFFFEu * SMM_FAN_SPEED_FACTOR);
    case Answer::Duty:
        return value <= 63 || value == ZEPHR_NO_VALUE;
    case Answer::Version:
        return value == ZEPHR_VERSION_MAJOR && dwordAt(output, 4) == ZEPHR_VERSION_MINOR;
    case Answer::Text:
        return true;
    }
    return false;
}

} // namespace

const char* fixtureName(int index)
{
    return kFixtures[index];
}

const sim::PhysicalMemory& fixtureMemory(int index)
{
    static std::mutex lock;
    static std::map<int, sim::PhysicalMemory> loaded;
    std::lock_guard guard(lock);
    auto found = loaded.find(index);
    if (found != loaded.end())
        return found->second;
    sim::PhysicalMemory memory;
    memory.loadImageFolder(std::string(ZEPHR_FIXTURES_DIR) + "/firmware/" + kFixtures[index]);
    return loaded.emplace(index, std::move(memory)).first->second;
}

DriverOnNotebook::DriverOnNotebook(std::shared_ptr<sim::Machine> machine)
    : machine_(std::move(machine))
{
    machine_->trace.setKeep(false);
    sim::installMachine(machine_);
    auto& io = nt::IoManager::instance();
    io.setFaults({});
    io.setDebugSink([](const std::string&) {});
    // What a fresh image holds: the Super I/O globals are the only ones that
    // no unload clears.
    SioConfigPort = 0;
    SioRuntimeBase = 0;
    NTSTATUS status = io.loadDriver(&DriverEntry);
    if (!NT_SUCCESS(status))
        violation("the driver did not load on notebook " + machine_->name);
    loaded_ = true;
}

void DriverOnNotebook::unloadLeavingTheDevice()
{
    if (!loaded_)
        return;
    auto& io = nt::IoManager::instance();
    io.setFaults({.deleteLink = static_cast<NTSTATUS>(0xC0000022L), .unloadWithHandlesOpen = true});
    io.unloadDriver();
    io.setFaults({});
    loaded_ = false;
}

void DriverOnNotebook::finish()
{
    auto& io = nt::IoManager::instance();
    if (loaded_)
        io.unloadDriver();
    loaded_ = false;
    io.discardUnloadedDevices();
    finished_ = true;
    if (io.driverLoaded())
        violation("the driver is still loaded after its unload");
    auto live = machine_->liveMappings();
    if (!live.empty()) {
        char text[128];
        std::snprintf(text, sizeof text,
                      "%zu mappings outlive the driver (first: physical 0x%llx, "
                      "%zu bytes)",
                      live.size(), static_cast<unsigned long long>(live[0].physical),
                      live[0].length);
        violation(text);
    }
}

DriverOnNotebook::~DriverOnNotebook()
{
    if (!finished_)
        finish();
    sim::installMachine(nullptr);
}

void send(Exchange& e)
{
    e.output.assign(e.outputLength, kCallerFill);
    std::vector<uint8_t> input = e.input;
    void* in = e.nullInput || input.empty() ? nullptr : input.data();
    void* out = e.nullOutput || e.output.empty() ? nullptr : e.output.data();
    DWORD bytes = 0xDEADBEEF;
    SetLastError(0);
    e.ok = DeviceIoControl(e.handle, e.code, in, DWORD(input.size()), out, e.outputLength, &bytes,
                           nullptr);
    e.error = e.ok ? 0 : GetLastError();
    e.bytes = bytes;
    ++counts().requests;
    if (e.ok)
        ++counts().accepted;
    else
        ++counts().refused;
}

void check(const Exchange& e, bool textsMayHoldAnyByte)
{
    const Row* row = nullptr;
    const DWORD error = expectedError(e, row);
    if (error != 0) {
        if (e.ok || e.error != error)
            violation("expected error " + std::to_string(error) + ": " + describe(e));
        // A handle that is not open never reaches the I/O manager, and the
        // byte count is left as the caller had it.
        if (e.handleOpen && e.bytes != 0)
            violation("a refused request returned bytes: " + describe(e));
        for (uint8_t byte : e.output)
            if (byte != kCallerFill)
                violation("a refused request wrote the caller's buffer: " + describe(e));
        return;
    }
    if (!e.ok)
        violation("an accepted request failed: " + describe(e));
    if (e.bytes != row->MinOutputLength)
        violation("Information is not the code's output length: " + describe(e));
    for (size_t i = e.bytes; i < e.output.size(); ++i)
        if (e.output[i] != kCallerFill)
            violation("a byte past Information reached the caller: " + describe(e));

    const Answer answer = answerOf(row->Code);
    if (answer != Answer::Text) {
        for (size_t i = 0; i < e.bytes; ++i)
            if (e.output[i] == nt::kStaleByte)
                violation("a stale system-buffer byte was returned: " + describe(e));
        if (!answerInRange(answer, dwordAt(e.output, 0), e.output))
            violation("the answer is out of its range: " + describe(e));
        return;
    }
    const void* end = std::memchr(e.output.data(), 0, e.bytes);
    if (end == nullptr)
        violation("a text answer is not terminated inside its output: " + describe(e));
    const size_t length = static_cast<const uint8_t*>(end) - e.output.data();
    for (size_t i = 0; i < length && !textsMayHoldAnyByte; ++i)
        if (e.output[i] == nt::kStaleByte)
            violation("a stale system-buffer byte is in a text answer: " + describe(e));
    for (size_t i = length; i < e.bytes; ++i)
        if (e.output[i] != 0)
            violation("bytes behind a text answer are not zero: " + describe(e));
}

Counts& counts()
{
    static Counts value;
    return value;
}

void printCountsAtExit(const char* target)
{
    static const char* name = target;
    static bool registered = false;
    if (registered)
        return;
    registered = true;
    std::atexit([] {
        const Counts& c = counts();
        std::fprintf(stderr,
                     "%s: %llu inputs, %llu requests (%llu accepted, %llu refused), %llu firmware "
                     "mutants, 0 protocol violations\n",
                     name, static_cast<unsigned long long>(c.inputs),
                     static_cast<unsigned long long>(c.requests),
                     static_cast<unsigned long long>(c.accepted),
                     static_cast<unsigned long long>(c.refused),
                     static_cast<unsigned long long>(c.mutants));
    });
}

void violation(const std::string& what)
{
    std::fprintf(stderr, "zephr fuzz: protocol violation: %s\n", what.c_str());
    std::fflush(stderr);
    std::abort();
}

} // namespace fuzz
