// SPDX-License-Identifier: MIT
// cpu.h
//
// One x86 processor under the Unicorn engine, in 32-bit protected mode or in
// 64-bit long mode, as the emulated-image loaders run an image on it (a
// kernel driver, or a user-mode library): its
// memory, its registers, the hooks that hand the image's port instructions
// and its calls of imported routines to the loader, and calls of the image's
// routines with an instruction budget. What goes wrong inside the image (an
// access outside mapped memory, an invalid or privileged instruction, a
// processor exception, a stack overflow, a runaway) ends the call with a
// CpuFault that says what and where.
#pragma once

#include <unicorn/unicorn.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace emulated {

// The emulated address space beside the image and the physical mappings.
// System-space records lie above 0x80000000, as on 32-bit Windows; a 64-bit
// image finds them at the same addresses (its pointers are 8 bytes, their
// upper halves zero): everything the processor maps lies below 4 GiB.
constexpr uint32_t kPageSize = 0x1000;
constexpr uint32_t kKernelPool = 0x80000000; // driver object, device objects, strings
constexpr uint32_t kKernelPoolSize = 0x00100000;
constexpr uint32_t kStubPage = 0x80100000; // one entry per kernel routine
constexpr uint32_t kStubSlot = 16;
constexpr uint32_t kReturnTrap = kStubPage + kPageSize - kStubSlot; // routines return here
constexpr uint32_t kRequestPage = 0x80200000; // the IRP and its stack location
constexpr uint32_t kThreadPage = 0x80300000;  // the thread every routine runs on
constexpr uint32_t kStackTop = 0x80400000;
constexpr uint32_t kStackSize = 0x3000;   // 12 KiB, the x86 kernel stack
constexpr uint32_t kStackSize64 = 0x6000; // 24 KiB, the x64 kernel stack
constexpr uint32_t kStackGuard = 0x10000; // unmapped below the stack
constexpr uint32_t kSystemBuffers = 0x81000000;
constexpr uint32_t kLargestSystemBuffer = 0x04000000; // 64 MiB
constexpr uint32_t kSystemBufferSpace = 0x10000000;   // where the buffers' pages go

// A fault of the emulated driver. what says what happened; address is the
// instruction it happened at (0 when none).
class CpuFault : public std::runtime_error {
  public:
    CpuFault(const std::string& what, uint32_t address)
        : std::runtime_error(what), address_(address)
    {
    }
    uint32_t address() const
    {
        return address_;
    }

  private:
    uint32_t address_;
};

// Where a processor keeps what is not the image: the page of import stubs
// (the last slot is where routines called from outside return to) and the
// stack with an unmapped guard region below it, and what the image may do.
struct CpuLayout {
    uint32_t stubPage = kStubPage;
    uint32_t stackTop = kStackTop;
    uint32_t stackSize = kStackSize;
    uint32_t stackGuard = kStackGuard;
    // User mode: in and out are privileged too (no I/O permission).
    bool userMode = false;
    // 64-bit long mode (an x86-64 image): the Microsoft x64 calling
    // convention for calls in and out, 8-byte return addresses.
    bool longMode = false;
    // How messages name the imported routines and the stack.
    std::string routines = "kernel routine";
    std::string stack = "kernel stack";

    uint32_t returnTrap() const
    {
        return stubPage + kPageSize - kStubSlot;
    }
};

// How a 32-bit routine takes its arguments, and who takes them off the stack
// when it returns. In long mode every routine has the one x64 convention
// (the first four in RCX, RDX, R8 and R9, the rest on the stack above 32
// bytes of shadow space, the caller cleans up).
enum class Convention {
    Stdcall,  // on the stack; the routine takes them off (ret n)
    Cdecl,    // on the stack; the caller takes them off
    Fastcall, // the first two in ECX and EDX, the rest as stdcall
};

// What the processor hands to the loader.
struct CpuDevices {
    // A byte read or write of an I/O port (in and out instructions; never
    // called in user mode).
    std::function<uint8_t(uint16_t port)> portIn;
    std::function<void(uint16_t port, uint8_t value)> portOut;
    // A call of the imported routine with this index (the processor is at
    // its stub; the routine reads its arguments from the stack and
    // registers). Throws CpuFault when the image called it wrongly.
    std::function<void(uint32_t index)> importCall;
};

class Cpu {
  public:
    explicit Cpu(CpuDevices devices, CpuLayout layout = {});
    ~Cpu();
    Cpu(const Cpu&) = delete;
    Cpu& operator=(const Cpu&) = delete;

    // Memory; addresses and sizes of maps are page multiples. Throws
    // std::runtime_error naming the range when the engine refuses.
    void map(uint32_t address, uint32_t size, uint32_t perms);
    void mapHost(uint32_t address, uint32_t size, uint32_t perms, void* host);
    void unmap(uint32_t address, uint32_t size);
    // Of the mapped pages from pageStart (pageBytes), only length bytes
    // from begin may be read: a read of the rest of those pages is a fault
    // as a read of unmapped memory is, so a mapping's bounds hold to the
    // byte. The limit goes with unmap of the pages.
    void limitReads(uint32_t pageStart, uint32_t pageBytes, uint32_t begin, uint32_t length);
    void protect(uint32_t address, uint32_t size, uint32_t perms);
    // Reads and writes of emulated memory; each throws CpuFault for memory
    // that is not mapped, and a write for memory that is not writable (the
    // driver handed over a bad address).
    void read(uint32_t address, void* bytes, size_t length) const;
    void write(uint32_t address, const void* bytes, size_t length);
    uint32_t read32(uint32_t address) const;
    uint16_t read16(uint32_t address) const;
    uint8_t read8(uint32_t address) const;
    void write32(uint32_t address, uint32_t value);
    void write16(uint32_t address, uint16_t value);
    void write8(uint32_t address, uint8_t value);
    // A NUL-terminated 8-bit text (at most limit bytes) and a counted UTF-16
    // text of length bytes.
    std::string readText(uint32_t address, size_t limit = 4096) const;
    std::u16string readUtf16(uint32_t address, uint16_t length) const;

    // The engine itself, for what this class does not wrap.
    uc_engine* engine()
    {
        return uc_;
    }

    // A register's low 32 bits (EAX in long mode is RAX's low half), and a
    // whole 64-bit register (long mode only).
    uint32_t reg(int id) const;
    void setReg(int id, uint32_t value);
    uint64_t reg64(int id) const;
    void setReg64(int id, uint64_t value);
    // The stack argument n (0 the first) of a 32-bit imported routine at its
    // stub.
    uint32_t argument(unsigned n) const;
    // The stack pointer and instruction pointer, in either mode.
    uint32_t stackPointer() const;
    uint32_t instructionPointer() const;
    // Sets what an imported routine returns (EAX, or all of RAX).
    void setResult(uint64_t value);

    const CpuLayout& layout() const
    {
        return layout_;
    }
    // Maps the stub page with one stub per imported routine, each a return
    // that takes the routine's argument bytes off the stack (none for a
    // cdecl routine, which leaves them to its caller, and none in long mode,
    // where the caller always does).
    void installStubs(const std::vector<uint16_t>& stackBytes);
    // The code range whose instructions are checked and counted.
    void setDriverCode(uint32_t begin, uint32_t end, const uint8_t* bytes);
    // Calls a routine of the image with the arguments; gives EAX. At most
    // budget instructions of the image run. Throws CpuFault, also when the
    // stack pointer does not come back where the convention puts it. In long
    // mode the convention is x64's, whatever convention says.
    uint32_t call(uint32_t routine, const std::vector<uint32_t>& arguments, uint64_t budget,
                  Convention convention = Convention::Stdcall);
    // Writes over the image's code whatever its rights, and drops what the
    // engine translated of it (tests that make an image misbehave).
    void overwriteCode(uint32_t address, const std::vector<uint8_t>& bytes);
    // Instructions of the image that the last call ran.
    uint64_t instructions() const
    {
        return executed_;
    }

  private:
    struct CheckedBlock {
        uint32_t size = 0; // 0: not checked yet
        uint32_t instructions = 0;
    };
    static void onBlock(uc_engine*, uint64_t address, uint32_t size, void* self);
    bool checkBlock(uint32_t begin, uint32_t size, CheckedBlock& block);
    uint32_t currentInstruction() const;
    static void onStub(uc_engine*, uint64_t address, uint32_t size, void* self);
    static bool onMemory(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t value,
                         void* self);
    static void onLimitedRead(uc_engine*, uc_mem_type type, uint64_t address, int size,
                              int64_t value, void* limit);
    static bool onInvalid(uc_engine*, void* self);
    static void onInterrupt(uc_engine*, uint32_t number, void* self);
    static uint32_t onIn(uc_engine*, uint32_t port, int size, void* self);
    static void onOut(uc_engine*, uint32_t port, int size, uint32_t value, void* self);
    void stop(const std::string& what, uint32_t address);
    bool writable(uint32_t address, size_t length) const;

    struct Region {
        uint32_t size;
        uint32_t perms;
    };
    std::map<uint32_t, Region> regions_; // by start address
    struct ReadLimit {
        Cpu* cpu;
        uint32_t begin, end; // the bytes that may be read: [begin, end)
        uint32_t pagesEnd;   // the end of the pages the limit covers
        uc_hook hook;
    };
    // The end of the bytes that may be read from address on: a limited
    // mapping's end inside its pages, else the end of the address space.
    uint64_t readableEnd(uint32_t address) const;
    std::map<uint32_t, std::unique_ptr<ReadLimit>> readLimits_; // by page start
    uc_engine* uc_ = nullptr;
    CpuDevices devices_;
    CpuLayout layout_;
    uint32_t codeBegin_ = 0, codeEnd_ = 0;
    const uint8_t* code_ = nullptr;
    std::vector<CheckedBlock> checkedBlocks_;     // by offset of the block's start in the code
    uint32_t lastInstruction_ = 0, blockEnd_ = 0; // the block that ran last
    uint64_t executed_ = 0, budget_ = 0;
    std::optional<CpuFault> fault_;
};

// The parameters of an imported routine at its stub, read in order by the
// processor's mode and the routine's convention: on x86 from the stack (a
// 64-bit value takes two slots; a fastcall routine's first two from ECX and
// EDX), on x86-64 from RCX, RDX, R8 and R9, then from the stack above the
// 32 bytes of shadow space, one 8-byte slot each. Throws CpuFault for an
// unmapped stack slot or a pointer outside the emulated address space.
class Arguments {
  public:
    Arguments(const Cpu& cpu, Convention convention) : cpu_(cpu), convention_(convention) {}
    // A value of 32 bits or fewer (ULONG, BOOLEAN, an enum; the low half of
    // its slot on x86-64).
    uint32_t word();
    // A pointer: on x86-64 its upper half must be zero.
    uint32_t pointer();
    // A pointer-sized integer (SIZE_T, ULONG_PTR): 32 or 64 bits.
    uint64_t natural();
    // A 64-bit value (PHYSICAL_ADDRESS, LONGLONG).
    uint64_t wide();
    // The bytes of a pointer or a pointer-sized integer: 4 or 8.
    uint32_t pointerBytes() const
    {
        return cpu_.layout().longMode ? 8 : 4;
    }

  private:
    uint64_t slot(); // the next slot: 4 bytes on x86, 8 on x86-64

    const Cpu& cpu_;
    Convention convention_;
    unsigned next_ = 0;
};

} // namespace emulated
