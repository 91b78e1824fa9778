// SPDX-License-Identifier: MIT
// fuzz_support.h
//
// What the fuzz targets share: the notebooks an input can choose (the
// built-in one, its SMM behaviours and Super I/O variants, the firmware
// fixtures), the driver loaded on one of them for one input, the rules every
// reply of the device must keep, and the counts printed when a campaign ends.
#pragma once

#include "common/zephr_ioctl.h"
#include "sim/machine.h"

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace fuzz {

// The firmware fixture images, by index (0 .. kFixtureCount - 1).
constexpr int kFixtureCount = 3;
const char* fixtureName(int index);
// The fixture's physical memory, read from the fixtures folder once per
// process. Throws std::runtime_error naming the folder when it is missing.
const sim::PhysicalMemory& fixtureMemory(int index);

// The driver, linked into the target, loaded on a notebook for one input and
// unloaded again at the end of it. The driver's globals are set as a fresh
// image would have them before each load.
class DriverOnNotebook {
  public:
    explicit DriverOnNotebook(std::shared_ptr<sim::Machine> machine);
    ~DriverOnNotebook();
    DriverOnNotebook(const DriverOnNotebook&) = delete;
    DriverOnNotebook& operator=(const DriverOnNotebook&) = delete;

    sim::Machine& machine()
    {
        return *machine_;
    }
    // Unloads now (the kernel told to run the unload with handles open and to
    // keep the device), so that later requests reach an unloaded driver.
    void unloadLeavingTheDevice();
    // Closes nothing; unloads if still loaded and checks that no mapping
    // outlives the driver.
    void finish();

  private:
    std::shared_ptr<sim::Machine> machine_;
    bool loaded_ = false;
    bool finished_ = false;
};

// A request as sent and its reply as the caller saw it.
struct Exchange {
    HANDLE handle = INVALID_HANDLE_VALUE;
    bool handleOpen = false;   // a handle of this input that is still open
    bool handleWrites = false; // opened with GENERIC_WRITE
    bool handleReads = false;  // opened with GENERIC_READ
    DWORD code = 0;
    std::vector<uint8_t> input;
    bool nullInput = false; // the input pointer was null (length as given)
    DWORD outputLength = 0;
    bool nullOutput = false;
    // The reply.
    BOOL ok = FALSE;
    DWORD error = 0;
    DWORD bytes = 0;
    std::vector<uint8_t> output; // the caller's buffer after the call
};

// The byte the caller's output buffer is filled with before each request.
constexpr uint8_t kCallerFill = 0xEE;

// Sends the request as described and fills in the reply.
void send(Exchange& exchange);

// Checks a reply against the request rules: the status (as the Win32 error)
// the request must get, Information, the caller's bytes past Information
// untouched, no stale system-buffer byte, texts terminated inside their
// output and followed by zeros, and the answer words in their ranges.
// Aborts, naming the request and the broken rule, on a violation.
// textsMayHoldAnyByte: firmware texts of a mutated image may carry any byte,
// so only the bytes past the text are checked for the stale value.
void check(const Exchange& exchange, bool textsMayHoldAnyByte);

// Counts for the campaign's closing line.
struct Counts {
    uint64_t inputs = 0;
    uint64_t requests = 0;
    uint64_t accepted = 0;
    uint64_t refused = 0;
    uint64_t mutants = 0;
};
Counts& counts();
// Prints "<target>: ... requests ..." when the process ends.
void printCountsAtExit(const char* target);

// A violation: prints it and aborts, so the fuzzer keeps the input.
[[noreturn]] void violation(const std::string& what);

} // namespace fuzz
