// SPDX-License-Identifier: MIT
// machine.h
//
// The simulated notebook that the host build runs the driver against: its
// physical memory (ranges loaded from firmware images, some marked
// unmappable), the system-space mappings MmMapIoSpace hands out, the I/O
// port bus with the devices on it (the SMI command port and its SMM BIOS,
// the POST port 0x84, a Super I/O chip when the machine has one), and a
// trace of every hardware access. One machine is installed per process at a
// time.
#pragma once

#include "sim/trace.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace sim {

// A machine file that cannot be used. The message names the file, the key and
// what is wrong with it.
class MachineFileError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

struct SmmRegisters {
    uint16_t ax = 0, bx = 0, cx = 0, dx = 0;
    // ESI and EDI, which an SMM handler may change too. Only the processor
    // emulator that runs the shipped driver image hands them over (and takes
    // them back); the host build's exchange leaves them 0 and unused.
    uint32_t esi = 0, edi = 0;
    // The upper halves of EAX to EDX, which the driver leaves as they were
    // and a handler may read or change. Only the processor emulator hands
    // them over; the host build's exchange has no wider registers (0).
    uint16_t eaxHigh = 0, ebxHigh = 0, ecxHigh = 0, edxHigh = 0;
    bool operator==(const SmmRegisters&) const = default;
};

// What the SMM handler does with a call.
enum class SmmBehaviour {
    Normal, // answers the fan and temperature functions
    Ignore, // changes no register
    EchoAx, // AX comes back as sent while DX changes
};

struct Fan {
    uint16_t state = 0; // 0 off, 1 slow, 2 high
    uint16_t speed = 0; // the raw BIOS value; the driver multiplies it by 30
};

// The BIOS's SMM fan and temperature functions behind port 0xB2.
class SmmBios {
  public:
    SmmBehaviour behaviour = SmmBehaviour::Normal;
    std::map<uint16_t, uint16_t> temperatures; // sensor number -> degrees Celsius
    std::vector<Fan> fans;                     // fan index -> state and speed
    // A handler of a test's own: when set, it runs in place of the functions
    // above for every call with 0xA3 in AL (behaviour still applies first).
    // Exchanges the caller does not serialize run it at the same time.
    std::function<void(SmmRegisters&)> custom;
    // Runs first at every call with 0xA3 in AL, whatever the behaviour: the
    // living notebook catches up there with the time that has passed.
    std::function<void()> beforeCall;

    // Runs the handler for one SMI: 0x00A3 fan state, 0x01A3 set fan state
    // (BH state, BL fan), 0x02A3 fan speed, 0x10A3 temperature; AX 0xFFFF for
    // an unknown function, sensor or fan. Commands other than 0xA3 in AL
    // leave every register alone.
    void handle(SmmRegisters& registers);
};

// Physical memory: what firmware images put where.
class PhysicalMemory {
  public:
    PhysicalMemory();
    ~PhysicalMemory();
    // A copy has the same ranges and a backing file of its own.
    PhysicalMemory(const PhysicalMemory& other);
    PhysicalMemory& operator=(const PhysicalMemory& other);

    // Places bytes at a physical base (later ranges overwrite earlier ones).
    void load(uint64_t base, const std::vector<uint8_t>& bytes);
    // Loads an image folder of the fixtures' format: memory/XXXXXXXX.bin, one
    // file per captured range, named by its physical base in hex.
    void loadImageFolder(const std::filesystem::path& folder);
    void markUnmappable(uint64_t base, uint64_t length);
    // False when any byte of the range is marked unmappable.
    bool mappable(uint64_t base, uint64_t length) const;
    // Copies the range out; bytes no image covers read as 0xFF (open bus).
    void read(uint64_t base, void* out, size_t length) const;
    // The range's bytes where one image gives all of them (no later image
    // overlapping it), else null.
    const uint8_t* wholeIn(uint64_t base, size_t length) const;
    // Puts a read-only view of the whole pages [pageBase, pageBase + bytes)
    // at `at`, in place of what was mapped there: one shared mapping of the
    // memory's backing file, a sparse file that holds each page at its
    // physical offset as read() gives it (written the first time a view
    // covers it, rewritten when a load changes it). False, with nothing
    // mapped, when the pages lie beyond the file or it cannot be made.
    bool viewPagesAt(void* at, uint64_t pageBase, size_t bytes) const;

  private:
    struct Backing;
    // The file, made on the first view; the pages written to it so far.
    Backing& backing() const;
    // Rewrites the file's written pages that [base, base + length) touches.
    void refreshBacking(uint64_t base, uint64_t length);

    // The bytes of one range: a copy the machine owns, or a read-only private
    // mapping of an image file, whose pages are read only when touched.
    class RangeBytes {
      public:
        explicit RangeBytes(const std::vector<uint8_t>& copy);
        // Throws std::runtime_error naming the file when it cannot be read.
        static RangeBytes fromFile(const std::filesystem::path& file, size_t size);
        const uint8_t* data() const
        {
            return data_.get();
        }
        size_t size() const
        {
            return size_;
        }

      private:
        RangeBytes(std::shared_ptr<const uint8_t> data, size_t size);
        std::shared_ptr<const uint8_t> data_;
        size_t size_ = 0;
    };
    struct Range {
        uint64_t base;
        RangeBytes bytes;
    };
    std::vector<Range> ranges_;
    std::vector<std::pair<uint64_t, uint64_t>> unmappable_;
    mutable std::mutex backingLock_;
    mutable std::unique_ptr<Backing> backing_;
};

// A mapping handed out by MmMapIoSpace.
struct Mapping {
    uint64_t physical = 0;
    size_t length = 0;
    uintptr_t virtualAddress = 0;
};

// System-space mappings of physical memory. Each mapping gets an address
// that depends only on the order of mappings made (so reports are
// reproducible), keeps the physical page offset, lies below 4 GiB, is a
// read-only view of the memory's pages (a copy where the memory cannot give
// a view), and is fenced by inaccessible guard pages; under
// AddressSanitizer the bytes of the mapped pages outside the requested range
// are poisoned too. A read outside a mapping so fails loudly.
class MappingArena {
  public:
    MappingArena();
    ~MappingArena();
    MappingArena(const MappingArena&) = delete;
    MappingArena& operator=(const MappingArena&) = delete;

    // Null when the range is empty or not mappable.
    void* map(const PhysicalMemory& memory, uint64_t physical, size_t length);
    // Releases a mapping; address and length must be those it was made with.
    // Anything else is a driver fault: throws std::logic_error.
    void unmap(void* address, size_t length);
    std::vector<Mapping> live() const;

  private:
    struct State;
    std::unique_ptr<State> state_;
};

// A device on the I/O port bus.
class PortDevice {
  public:
    virtual ~PortDevice() = default;
    virtual bool claims(uint16_t port) const = 0;
    virtual uint8_t in(uint16_t port) = 0;
    virtual void out(uint16_t port, uint8_t value) = 0;
};

class Machine {
  public:
    Machine();
    ~Machine();

    // The built-in notebook: an Inspiron 8600 with plausible values.
    static std::unique_ptr<Machine> builtin();
    // A notebook described by a machine file (JSON). Throws MachineFileError.
    static std::unique_ptr<Machine> fromFile(const std::filesystem::path& file);

    std::string name;
    PhysicalMemory memory;
    SmmBios smm;
    Trace trace;

    // MmMapIoSpace and MmUnmapIoSpace, traced as
    // "map 0x000e0000 131072 -> 0x30000000" and "unmap 0x30000000 131072".
    void* mapIoSpace(uint64_t physical, size_t length);
    void unmapIoSpace(void* address, size_t length);
    std::vector<Mapping> liveMappings() const;

    // Byte port access, traced as "in 0x002f -> 0x0e" and "out 0x0084 0x34".
    // A port no device claims reads 0xFF and ignores writes.
    uint8_t portIn(uint16_t port);
    void portOut(uint16_t port, uint8_t value);
    void attach(std::shared_ptr<PortDevice> device);

    // The SMI, as a write of AL to port 0xB2 raises it: the SMM BIOS runs on
    // the registers, traced as "smi ax=10a3 bx=0000 cx=0000 dx=0000 ->
    // ax=0034 bx=0000 cx=0000 dx=0000". The port 0x84 write that follows in
    // the driver's exchange is the driver's own (its primitive's).
    void smi(SmmRegisters& registers);

    // Last byte written to port 0x84 (the POST code port), if any.
    std::optional<uint8_t> lastPostCode() const;
    // SMIs triggered since the machine was made.
    uint64_t smiCount() const;

  private:
    mutable std::recursive_mutex lock_;
    MappingArena arena_;
    std::vector<std::shared_ptr<PortDevice>> devices_;
    std::optional<uint8_t> postCode_;
    uint64_t smiCount_ = 0;
};

// The machine the driver's primitives and MmMapIoSpace act on.
void installMachine(std::shared_ptr<Machine> machine);
// Throws std::logic_error when no machine is installed.
Machine& currentMachine();
std::shared_ptr<Machine> currentMachinePtr();

} // namespace sim
