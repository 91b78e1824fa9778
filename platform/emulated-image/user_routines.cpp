// SPDX-License-Identifier: MIT
// user_routines.cpp
//
// The routines an emulated plug-in may import, one table row each: the
// module, the name, the calling convention with the arguments' bytes (stdcall
// for KERNEL32: the routine takes them off the stack; cdecl for msvcrt: the
// caller does) and what runs for it. The file routines go to the host Win32
// layer, so the plug-in's requests reach whichever driver serves the device
// (the host-build driver or an emulated image); the clock is the host Win32
// layer's, real or simulated; malloc and free use the heap in emulated
// memory. A misuse (a pointer to nothing, a free of no block) is a CpuFault,
// which stops the plug-in.
#include "platform/emulated-image/emulated_plugin.h"
#include "platform/emulated-image/stand_ins.h"

#include <windows.h>

#include <cstdio>
#include <vector>

namespace emulated {

namespace {

constexpr uint32_t kInvalidHandle = 0xFFFFFFFF;
// The longest file name CreateFileA takes (MAX_PATH).
constexpr size_t kLongestPath = 260;

// A handle of the host Win32 layer as the 32-bit plug-in holds it, and back.
// The layer's handles are small numbers; INVALID_HANDLE_VALUE is all ones.
uint32_t toPluginHandle(HANDLE handle)
{
    if (handle == INVALID_HANDLE_VALUE)
        return kInvalidHandle;
    const auto value = reinterpret_cast<uintptr_t>(handle);
    if (value > 0x7FFFFFFF)
        throw CpuFault("the host Win32 layer gave a handle (" + std::to_string(value) +
                           ") a 32-bit process cannot hold",
                       0);
    return static_cast<uint32_t>(value);
}

HANDLE toHostHandle(uint32_t handle)
{
    return reinterpret_cast<HANDLE>(static_cast<intptr_t>(static_cast<int32_t>(handle)));
}

} // namespace

const std::vector<EmulatedPlugin::ImportedRoutine>& EmulatedPlugin::importedRoutines()
{
    static const std::vector<ImportedRoutine> routines = {
        {"kernel32.dll", "CreateFileA", Convention::Stdcall, 28, &EmulatedPlugin::createFileA},
        {"kernel32.dll", "DeviceIoControl", Convention::Stdcall, 32,
         &EmulatedPlugin::deviceIoControl},
        {"kernel32.dll", "CloseHandle", Convention::Stdcall, 4, &EmulatedPlugin::closeHandle},
        {"kernel32.dll", "GetSystemTimeAsFileTime", Convention::Stdcall, 4,
         &EmulatedPlugin::getSystemTimeAsFileTime},
        {"msvcrt.dll", "malloc", Convention::Cdecl, 4, &EmulatedPlugin::mallocRoutine},
        {"msvcrt.dll", "free", Convention::Cdecl, 4, &EmulatedPlugin::freeRoutine},
    };
    return routines;
}

void EmulatedPlugin::returnFromStub(uint32_t value)
{
    cpu_->setReg(UC_X86_REG_EAX, value);
}

// HANDLE CreateFileA(LPCSTR FileName, DWORD DesiredAccess, DWORD ShareMode,
//                    LPSECURITY_ATTRIBUTES, DWORD CreationDisposition,
//                    DWORD FlagsAndAttributes, HANDLE TemplateFile)
void EmulatedPlugin::createFileA()
{
    const uint32_t nameAddress = cpu_->argument(0);
    if (nameAddress == 0)
        throw CpuFault("CreateFileA was given no file name", 0);
    if (cpu_->argument(3) != 0 || cpu_->argument(6) != 0)
        throw CpuFault("CreateFileA was given security attributes or a template file, which "
                       "the emulated process does not carry over",
                       0);
    const std::string name = cpu_->readText(nameAddress, kLongestPath);
    const HANDLE handle = CreateFileA(name.c_str(), cpu_->argument(1), cpu_->argument(2), nullptr,
                                      cpu_->argument(4), cpu_->argument(5), nullptr);
    returnFromStub(toPluginHandle(handle));
}

// BOOL DeviceIoControl(HANDLE, DWORD IoControlCode, LPVOID InBuffer, DWORD InBufferSize,
//                      LPVOID OutBuffer, DWORD OutBufferSize, LPDWORD BytesReturned,
//                      LPOVERLAPPED)
void EmulatedPlugin::deviceIoControl()
{
    const HANDLE handle = toHostHandle(cpu_->argument(0));
    const DWORD code = cpu_->argument(1);
    const uint32_t inAddress = cpu_->argument(2);
    const DWORD inLength = cpu_->argument(3);
    const uint32_t outAddress = cpu_->argument(4);
    const DWORD outLength = cpu_->argument(5);
    const uint32_t returnedAddress = cpu_->argument(6);
    if (cpu_->argument(7) != 0)
        throw CpuFault("DeviceIoControl was given an OVERLAPPED structure, which the emulated "
                       "process does not carry over",
                       0);
    if (inLength > kUserHeapSize || outLength > kUserHeapSize)
        throw CpuFault("DeviceIoControl was given buffers of " + std::to_string(inLength) +
                           " and " + std::to_string(outLength) + " bytes",
                       0);
    // The plug-in's buffers, carried over as the caller's own memory.
    std::vector<uint8_t> input(inLength), output(outLength);
    if (inAddress != 0)
        cpu_->read(inAddress, input.data(), input.size());
    DWORD returned = 0;
    const BOOL ok =
        DeviceIoControl(handle, code, inAddress != 0 ? input.data() : nullptr, inLength,
                        outAddress != 0 ? output.data() : nullptr, outLength, &returned, nullptr);
    if (ok && returned > 0)
        cpu_->write(outAddress, output.data(), returned);
    if (returnedAddress != 0)
        cpu_->write32(returnedAddress, returned);
    returnFromStub(ok ? 1 : 0);
}

// BOOL CloseHandle(HANDLE)
void EmulatedPlugin::closeHandle()
{
    returnFromStub(CloseHandle(toHostHandle(cpu_->argument(0))) ? 1 : 0);
}

// VOID GetSystemTimeAsFileTime(LPFILETIME)
void EmulatedPlugin::getSystemTimeAsFileTime()
{
    const uint32_t destination = cpu_->argument(0);
    FILETIME now;
    GetSystemTimeAsFileTime(&now);
    cpu_->write32(destination, now.dwLowDateTime);
    cpu_->write32(destination + 4, now.dwHighDateTime);
}

// void* __cdecl malloc(size_t)
void EmulatedPlugin::mallocRoutine()
{
    returnFromStub(heap_.allocate(cpu_->argument(0)).value_or(0));
}

// void __cdecl free(void*)
void EmulatedPlugin::freeRoutine()
{
    const uint32_t block = cpu_->argument(0);
    if (block != 0 && !heap_.release(block))
        throw CpuFault("free of " + hexAddress(block) +
                           ", which is no block malloc gave (freed twice, or never given)",
                       0);
}

} // namespace emulated
