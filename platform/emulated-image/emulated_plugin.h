// SPDX-License-Identifier: MIT
// emulated_plugin.h
//
// The emulated plug-in loader: runs a shipped 32-bit plug-in library
// (build-windows/bin/Gaugelet.dll) instruction by instruction in user mode,
// as a Windows process would load it. The DLL is laid out in a CPU emulator
// (moved, with its base relocations, when it must), its imports go to
// stand-ins with their real calling conventions (CreateFileA,
// DeviceIoControl and CloseHandle to the host Win32 layer, so its requests
// reach whichever driver serves the device; GetSystemTimeAsFileTime to the
// host Win32 layer's clock; malloc and free to a heap in emulated memory),
// DllMain runs with process attach at load and detach at unload, and its
// exports are called with their arguments (numbers, or texts copied into
// emulated memory) and give back numbers or the texts they point at.
//
// Port instructions and every other privileged instruction are faults, as
// in user mode. A fault stops the plug-in: the call that met it and every
// later call give no result, and the message names the instruction with
// the nearest symbol of the DLL's map file.
#pragma once

#include "platform/emulated-image/cpu.h"
#include "platform/emulated-image/map_symbols.h"
#include "platform/emulated-image/pe_image.h"
#include "platform/emulated-image/user_heap.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace emulated {

// The plug-in process's own pages, above where a DLL is placed.
constexpr uint32_t kUserHeap = 0x7C000000; // malloc's blocks
constexpr uint32_t kUserHeapSize = 0x02000000;
constexpr uint32_t kUserTexts = 0x7E000000; // the caller's parameter texts
constexpr uint32_t kUserTextsSize = 0x00010000;
constexpr uint32_t kUserStubPage = 0x7FFD0000; // one entry per imported routine
constexpr uint32_t kUserStackTop = 0x7FF00000;
constexpr uint32_t kUserStackSize = 0x00100000; // 1 MiB, a thread's default
constexpr uint32_t kUserStackGuard = 0x00010000;

struct PluginLoadOptions {
    // Where the DLL goes; its own image base when empty. Any other base
    // makes the loader apply the DLL's base relocations.
    std::optional<uint32_t> base;
    // Instructions of the plug-in one call may run before it counts as a
    // runaway.
    uint64_t instructionBudget = 20'000'000;
};

// An argument of an export: a 32-bit number (an instance handle, an index)
// or a text the caller owns (copied in, NUL-terminated, for the call).
using PluginArgument = std::variant<uint32_t, std::string>;

class EmulatedPlugin {
  public:
    // Reads, lays out and places the DLL and runs its entry point with
    // process attach. Throws ImageError naming the file and what is wrong
    // (the format, an import the loader does not offer, a place it cannot
    // go) and std::runtime_error when DllMain refuses the attach or faults.
    EmulatedPlugin(const std::filesystem::path& image, const PluginLoadOptions& options = {});
    // Runs the entry point with process detach (unless the plug-in stopped).
    ~EmulatedPlugin();
    EmulatedPlugin(const EmulatedPlugin&) = delete;
    EmulatedPlugin& operator=(const EmulatedPlugin&) = delete;

    const std::string& name() const
    {
        return imageName_;
    }
    uint32_t base() const
    {
        return base_;
    }
    // Where an export lies in emulated memory; none when the DLL does not
    // export the name.
    std::optional<uint32_t> exportAddress(const std::string& name) const;
    // The name an export at an emulated address has; none for another
    // address.
    std::optional<std::string> exportAt(uint32_t address) const;
    // Calls a routine of the plug-in (cdecl for the host's exports); gives
    // EAX, or none when the plug-in faulted now or before (see fault()).
    std::optional<uint32_t> call(uint32_t routine, const std::vector<PluginArgument>& arguments,
                                 Convention convention, const std::string& what);
    // The NUL-terminated text a routine returned a pointer to; none when the
    // pointer leads to no text (which stops the plug-in, as the host would
    // have crashed reading it) or the plug-in has stopped.
    std::optional<std::string> text(uint32_t address, const std::string& what);

    // The fault that stopped the plug-in, if one did.
    std::optional<std::string> fault() const;
    // Where a symbol of the map file lies in emulated memory.
    std::optional<uint32_t> symbolAddress(const std::string& name) const;
    // "0x662c1480 (GetCPUTemp+0x10)": an emulated address with the nearest
    // symbol of the map file.
    std::string describe(uint32_t address) const;
    // Writes bytes over the DLL's code at an emulated address (tests that
    // make the plug-in misbehave).
    void patch(uint32_t address, const std::vector<uint8_t>& bytes);
    // Instructions the last call ran; live heap blocks.
    uint64_t lastInstructions() const;
    size_t liveBlocks() const;

    // The imported routines, called at their stubs (user_routines.cpp).
    void importCall(uint32_t index);

  private:
    struct ImportedRoutine {
        const char* module; // lower case
        const char* name;
        Convention convention;
        uint16_t stackBytes; // the arguments' bytes
        void (EmulatedPlugin::*run)();
    };
    static const std::vector<ImportedRoutine>& importedRoutines();

    uint32_t resolveImport(const Import& import) const;
    void recordFault(const CpuFault& fault, const std::string& what);

    // The imported routines (user_routines.cpp).
    void returnFromStub(uint32_t value);
    void createFileA();
    void deviceIoControl();
    void closeHandle();
    void getSystemTimeAsFileTime();
    void mallocRoutine();
    void freeRoutine();

    mutable std::recursive_mutex lock_; // one processor: one call at a time
    std::string imageName_;
    PeImage pe_;
    MapSymbols symbols_;
    PluginLoadOptions options_;
    uint32_t base_ = 0;
    std::vector<uint8_t> image_; // the DLL as the processor sees it
    std::unique_ptr<Cpu> cpu_;
    UserHeap heap_{kUserHeap, kUserHeapSize};
    bool attached_ = false;
    uint64_t lastInstructions_ = 0;
    std::optional<std::string> fault_;
};

} // namespace emulated
