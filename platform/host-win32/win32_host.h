// SPDX-License-Identifier: MIT
// win32_host.h
//
// The host Win32 layer's own interface: the clock behind
// GetSystemTimeAsFileTime (the real clock by default, a simulated one that
// tests and tools set and move), and the registration through which a
// library's DllMain reaches LoadLibraryA and FreeLibrary, as the Windows
// loader runs it.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>

namespace win32 {

// 100-nanosecond intervals per second, the FILETIME unit.
constexpr int64_t kTicksPerSecond = 10'000'000;

// The system clock as GetSystemTimeAsFileTime reads it.
class Clock {
  public:
    // Switches to the simulated clock, standing at the given FILETIME.
    static void useSimulated(uint64_t fileTime);
    // Back to the real clock.
    static void useReal();
    static bool simulated();
    // Sets the simulated clock (forwards or backwards).
    static void set(uint64_t fileTime);
    // Moves the simulated clock by a signed number of 100 ns ticks.
    static void advance(int64_t ticks);
    // What GetSystemTimeAsFileTime would give now.
    static uint64_t now();
};

using DllEntryRoutine = BOOL(WINAPI*)(HINSTANCE, DWORD, LPVOID);

// Called by the entry glue that the host build links into every library it
// makes: tells LoadLibraryA which DllMain the library being loaded has.
extern "C" void Win32RegisterDllEntry(DllEntryRoutine entry);

// Why the last LoadLibraryA of this thread failed (the loader's own text,
// such as the dlerror message); empty after a successful load. Host only.
std::string LastLoaderMessage();

} // namespace win32
