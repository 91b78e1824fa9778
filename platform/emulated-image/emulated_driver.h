// SPDX-License-Identifier: MIT
// emulated_driver.h
//
// The emulated-image driver loader: runs a shipped kernel driver image, the
// 32-bit (build-windows/bin/zephr.sys) or the x64 one
// (build-windows-x64/bin/zephr.sys), instruction by instruction on the
// simulated notebook. The image is laid out in a CPU emulator in the mode of
// its machine, its imports go to stand-ins for the kernel routines, its
// DriverEntry runs with a driver object in the layout of its machine
// (nt_layout.h), and the device and link it creates join the
// host NT layer's name space, so CreateFileA and DeviceIoControl of the host
// Win32 layer reach it as they reach the host-built driver. Its in and out
// instructions go to the simulated notebook's port bus, an out to port 0xB2
// runs the notebook's SMM BIOS on the emulated registers, and its physical
// mappings are the notebook's. A fault of the driver ends the request that
// met it with kStatusDriverFault and a message naming the instruction and
// the nearest symbol of the image's map file; later requests are refused.
#pragma once

#include "platform/emulated-image/cpu.h"
#include "platform/emulated-image/map_symbols.h"
#include "platform/emulated-image/nt_layout.h"
#include "platform/emulated-image/pe_image.h"

#include <ntddk.h>

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace emulated {

// The status of a request that met a fault of the emulated driver, and of
// every request after it (STATUS_DRIVER_INTERNAL_ERROR).
constexpr NTSTATUS kStatusDriverFault = static_cast<NTSTATUS>(0xC0000183L);

struct LoadOptions {
    // Where the image goes; its own image base when empty. Any other base
    // makes the loader apply the image's base relocations.
    std::optional<uint32_t> base;
    // Instructions of the driver one routine call may run before it counts
    // as a runaway.
    uint64_t instructionBudget = 20'000'000;
};

class EmulatedDriver {
  public:
    // Reads and lays out the image; throws ImageError naming the image and
    // what is wrong (the format, or an import the loader does not offer).
    EmulatedDriver(const std::filesystem::path& image, const LoadOptions& options);
    ~EmulatedDriver();
    EmulatedDriver(const EmulatedDriver&) = delete;
    EmulatedDriver& operator=(const EmulatedDriver&) = delete;

    // The fault that stopped the driver, if one did.
    std::optional<std::string> fault() const;
    uint32_t base() const
    {
        return base_;
    }
    // An x86-64 image (run in long mode); else an i386 one.
    bool is64() const
    {
        return pe_.is64();
    }
    // Where a symbol of the map file lies in the emulated image.
    std::optional<uint32_t> symbolAddress(const std::string& name) const;
    // "0x00014830 (SmmExchange+0x4)": an emulated address with the nearest
    // symbol of the map file.
    std::string describe(uint32_t address) const;
    // Writes bytes over the image's code at an emulated address (tests that
    // make the driver misbehave).
    void patch(uint32_t address, const std::vector<uint8_t>& bytes);
    // Driver instructions run by the last routine call (DriverEntry, a
    // dispatch or the unload routine).
    uint64_t lastInstructions() const;

    // The routines the host NT layer calls (internal to the loader).
    NTSTATUS runEntry(PDRIVER_OBJECT hostDriver, PUNICODE_STRING registryPath);
    NTSTATUS dispatch(PDEVICE_OBJECT hostDevice, PIRP irp);
    void runUnload();

    // The kernel routines the image imports, called at their stubs.
    void kernelCall(uint32_t index);

  private:
    struct Device {
        uint32_t emulated = 0;
        PDEVICE_OBJECT host = nullptr;
    };
    struct Mapping {
        uint32_t pageStart = 0, pageBytes = 0;
        void* host = nullptr;
        uint32_t length = 0;
    };

    struct KernelRoutine {
        const char* module; // the image the routine comes from, lower case
        const char* name;
        Convention convention; // on x86; on x86-64 every routine has x64's
        uint16_t stackBytes;   // argument bytes a stdcall routine takes off the stack
        void (EmulatedDriver::*run)();
    };
    static const std::vector<KernelRoutine>& kernelRoutines();

    uint32_t resolveImport(const Import& import);
    uint32_t allocate(uint32_t bytes); // zeroed kernel pool, 8-byte aligned
    uint32_t makeUnicodeString(const std::u16string& text);
    std::wstring readUnicodeString(uint32_t address, const char* routine) const;
    // Pointer-sized fields of the records (4 or 8 bytes by the image's
    // machine); a pointer read must lie below 4 GiB, where everything the
    // processor maps lies.
    uint32_t readPointer(uint32_t address) const;
    uint64_t readNatural(uint32_t address) const;
    void writePointer(uint32_t address, uint64_t value);
    // The parameters of the kernel routine being called, by its convention.
    Arguments arguments() const
    {
        return Arguments(*cpu_, callConvention_);
    }
    // Runs a driver routine; a fault is kept, reported and rethrown.
    uint32_t run(uint32_t routine, std::initializer_list<uint32_t> arguments, const char* what);
    void recordFault(const CpuFault& fault, const char* what);
    uint32_t systemBufferFor(uint32_t length);

    // The kernel routines (kernel_routines.cpp).
    void returnFromStub(uint64_t value);
    void rtlInitUnicodeString();
    void ioCreateDevice();
    void ioDeleteDevice();
    void ioCreateSymbolicLink();
    void ioDeleteSymbolicLink();
    void iofCompleteRequest();
    void mmMapIoSpace();
    void mmUnmapIoSpace();
    void dbgPrint();
    void keInitializeMutex();
    void keWaitForSingleObject();
    void keReleaseMutex();
    void memcpyRoutine();
    void memsetRoutine();
    // The text of a printf format and the variable arguments that follow.
    std::string formatArguments(uint32_t format, Arguments& arguments) const;

    mutable std::recursive_mutex lock_; // one processor: one routine at a time
    std::string imageName_;
    PeImage pe_;
    const NtLayout& nt_; // the records' layout for the image's machine
    MapSymbols symbols_;
    LoadOptions options_;
    uint32_t base_ = 0;
    std::vector<uint8_t> image_; // the image as the processor sees it
    std::unique_ptr<Cpu> cpu_;
    std::vector<uint32_t> stubRoutines_;              // stub index -> routine index
    Convention callConvention_ = Convention::Stdcall; // of the routine being called
    uint32_t poolNext_ = kKernelPool;

    PDRIVER_OBJECT hostDriver_ = nullptr;
    uint32_t driverObject_ = 0;
    std::vector<Device> devices_;
    std::vector<std::wstring> links_;            // links the driver created and has not deleted
    std::map<uint32_t, Mapping> mappings_;       // by emulated address
    std::map<uint32_t, uint32_t> bufferRegions_; // system buffer pages: bytes -> address
    uint32_t bufferRegionsEnd_ = kSystemBuffers;
    uint32_t currentIrp_ = 0;
    unsigned completions_ = 0;
    uint64_t lastInstructions_ = 0;
    std::optional<std::string> fault_;
};

// Loads an image under the emulator as the driver of the host NT layer and
// runs its DriverEntry; gives the status it returned (kStatusDriverFault
// when it faulted). Throws ImageError or std::runtime_error when the image
// cannot be loaded at all.
NTSTATUS loadDriverImage(const std::filesystem::path& image, const LoadOptions& options = {});

// The emulated driver loaded now (null when the loaded driver, if any, is
// not an emulated one).
std::shared_ptr<EmulatedDriver> loadedImage();

} // namespace emulated
