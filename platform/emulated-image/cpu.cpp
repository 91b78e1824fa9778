// SPDX-License-Identifier: MIT
// cpu.cpp
//
// The Unicorn engine behind Cpu: memory, registers, the hooks (each block of
// the image's code checked once and counted every time it runs, the stub
// page, port instructions, memory and instruction faults, processor
// exceptions) and calls of the image's routines that return to a trap
// address.
#include "platform/emulated-image/cpu.h"
#include "platform/emulated-image/message_text.h"
#include "platform/emulated-image/unicorn_library.h"
#include "platform/emulated-image/x86_instruction.h"

#include <algorithm>
#include <cstdio>

namespace emulated {

namespace {

// Where the x64 calling convention passes the first four arguments.
constexpr int kX64ArgumentRegisters[] = {UC_X86_REG_RCX, UC_X86_REG_RDX, UC_X86_REG_R8,
                                         UC_X86_REG_R9};

void check(uc_err error, const std::string& what)
{
    if (error != UC_ERR_OK)
        throw std::runtime_error("CPU emulator: " + what + ": " + unicorn().strerror(error));
}

const char* accessName(uc_mem_type type)
{
    switch (type) {
    case UC_MEM_READ_UNMAPPED:
        return "a read of unmapped memory";
    case UC_MEM_WRITE_UNMAPPED:
        return "a write to unmapped memory";
    case UC_MEM_FETCH_UNMAPPED:
        return "a jump to unmapped memory";
    case UC_MEM_WRITE_PROT:
        return "a write to read-only memory";
    case UC_MEM_READ_PROT:
        return "a read of memory that cannot be read";
    case UC_MEM_FETCH_PROT:
        return "a jump into memory that holds no code";
    default:
        return "an access outside mapped memory";
    }
}

} // namespace

Cpu::Cpu(CpuDevices devices, CpuLayout layout)
    : devices_(std::move(devices)), layout_(std::move(layout))
{
    // The engine's 64-bit mode starts in long mode with flat segments and the
    // address space identity-mapped: nothing more to set up.
    if (layout_.longMode)
        check(unicorn().open(UC_ARCH_X86, UC_MODE_64, &uc_), "cannot open an x86-64 engine");
    else
        check(unicorn().open(UC_ARCH_X86, UC_MODE_32, &uc_), "cannot open a 32-bit x86 engine");
    uc_hook hook;
    check(unicorn().hookAdd(uc_, &hook, UC_HOOK_CODE, reinterpret_cast<void*>(&Cpu::onStub), this,
                            layout_.stubPage, layout_.stubPage + kPageSize - 1),
          "stub hook");
    check(unicorn().hookAdd(uc_, &hook, UC_HOOK_MEM_INVALID,
                            reinterpret_cast<void*>(&Cpu::onMemory), this, 1, 0),
          "memory hook");
    check(unicorn().hookAdd(uc_, &hook, UC_HOOK_INSN_INVALID,
                            reinterpret_cast<void*>(&Cpu::onInvalid), this, 1, 0),
          "instruction hook");
    check(unicorn().hookAdd(uc_, &hook, UC_HOOK_INTR, reinterpret_cast<void*>(&Cpu::onInterrupt),
                            this, 1, 0),
          "interrupt hook");
    check(unicorn().hookAdd(uc_, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(&Cpu::onIn), this, 1,
                            0, UC_X86_INS_IN),
          "in hook");
    check(unicorn().hookAdd(uc_, &hook, UC_HOOK_INSN, reinterpret_cast<void*>(&Cpu::onOut), this, 1,
                            0, UC_X86_INS_OUT),
          "out hook");
}

Cpu::~Cpu()
{
    if (uc_ != nullptr)
        unicorn().close(uc_);
}

void Cpu::map(uint32_t address, uint32_t size, uint32_t perms)
{
    check(unicorn().memMap(uc_, address, size, perms),
          "cannot map " + hexAddress(address) + "+" + hexAddress(size));
    regions_[address] = Region{size, perms};
}

void Cpu::mapHost(uint32_t address, uint32_t size, uint32_t perms, void* host)
{
    check(unicorn().memMapPtr(uc_, address, size, perms, host),
          "cannot map " + hexAddress(address) + "+" + hexAddress(size));
    regions_[address] = Region{size, perms};
}

void Cpu::unmap(uint32_t address, uint32_t size)
{
    check(unicorn().memUnmap(uc_, address, size),
          "cannot unmap " + hexAddress(address) + "+" + hexAddress(size));
    regions_.erase(address); // the loader unmaps whole regions only
    if (auto limit = readLimits_.find(address); limit != readLimits_.end()) {
        unicorn().hookDel(uc_, limit->second->hook);
        readLimits_.erase(limit);
    }
}

void Cpu::limitReads(uint32_t pageStart, uint32_t pageBytes, uint32_t begin, uint32_t length)
{
    auto limit = std::make_unique<ReadLimit>(
        ReadLimit{this, begin, begin + length, pageStart + pageBytes, 0});
    check(unicorn().hookAdd(uc_, &limit->hook, UC_HOOK_MEM_READ,
                            reinterpret_cast<void*>(&Cpu::onLimitedRead), limit.get(), pageStart,
                            pageStart + pageBytes - 1),
          "read limit of " + hexAddress(begin) + "+" + hexAddress(length));
    readLimits_[pageStart] = std::move(limit);
}

void Cpu::onLimitedRead(uc_engine*, uc_mem_type, uint64_t address, int size, int64_t, void* limit)
{
    const auto& bounds = *static_cast<ReadLimit*>(limit);
    if (address >= bounds.begin && address + size <= bounds.end)
        return;
    bounds.cpu->stop("a read past a mapping at " + hexAddress(static_cast<uint32_t>(address)) +
                         " (" + std::to_string(size) + " bytes; the mapping is " +
                         hexAddress(bounds.begin) + " of " +
                         std::to_string(bounds.end - bounds.begin) + " bytes)",
                     bounds.cpu->currentInstruction());
}

void Cpu::protect(uint32_t address, uint32_t size, uint32_t perms)
{
    check(unicorn().memProtect(uc_, address, size, perms),
          "cannot protect " + hexAddress(address) + "+" + hexAddress(size));
    // Split the region record so each part keeps its own rights.
    auto containing = regions_.upper_bound(address);
    if (containing == regions_.begin())
        return;
    --containing;
    const uint32_t start = containing->first;
    const Region whole = containing->second;
    if (uint64_t(address) + size > uint64_t(start) + whole.size)
        return;
    regions_.erase(containing);
    if (address > start)
        regions_[start] = Region{address - start, whole.perms};
    regions_[address] = Region{size, perms};
    if (address + size < start + whole.size)
        regions_[address + size] = Region{start + whole.size - address - size, whole.perms};
}

bool Cpu::writable(uint32_t address, size_t length) const
{
    uint64_t at = address;
    const uint64_t end = uint64_t(address) + length;
    while (at < end) {
        auto region = regions_.upper_bound(static_cast<uint32_t>(at));
        if (region == regions_.begin())
            return false;
        --region;
        const uint64_t regionEnd = uint64_t(region->first) + region->second.size;
        if (at >= regionEnd || (region->second.perms & UC_PROT_WRITE) == 0)
            return false;
        at = regionEnd;
    }
    return true;
}

uint64_t Cpu::readableEnd(uint32_t address) const
{
    auto limit = readLimits_.upper_bound(address);
    if (limit == readLimits_.begin())
        return uint64_t(1) << 32;
    --limit;
    if (address >= limit->second->pagesEnd)
        return uint64_t(1) << 32;
    return address < limit->second->end ? limit->second->end : address;
}

void Cpu::read(uint32_t address, void* bytes, size_t length) const
{
    if (length == 0)
        return;
    // A routine reads a mapping to the byte as the driver's own code does.
    for (const auto& [pageStart, limit] : readLimits_)
        if (uint64_t(address) < limit->pagesEnd && uint64_t(address) + length > pageStart &&
            (address < limit->begin || uint64_t(address) + length > limit->end))
            throw CpuFault("a " + layout_.routines + " was given " + hexAddress(address) + " (" +
                               std::to_string(length) + " bytes), a read past a mapping (" +
                               hexAddress(limit->begin) + " of " +
                               std::to_string(limit->end - limit->begin) + " bytes)",
                           0);
    if (unicorn().memRead(uc_, address, bytes, length) != UC_ERR_OK)
        throw CpuFault("a " + layout_.routines + " was given " + hexAddress(address) + " (" +
                           std::to_string(length) + " bytes), which is not mapped",
                       0);
}

void Cpu::write(uint32_t address, const void* bytes, size_t length)
{
    if (length == 0)
        return;
    if (!writable(address, length) || unicorn().memWrite(uc_, address, bytes, length) != UC_ERR_OK)
        throw CpuFault("a " + layout_.routines + " was given " + hexAddress(address) + " (" +
                           std::to_string(length) + " bytes) to write, which is not mapped",
                       0);
}

uint32_t Cpu::read32(uint32_t address) const
{
    uint32_t value;
    read(address, &value, 4);
    return value;
}

uint16_t Cpu::read16(uint32_t address) const
{
    uint16_t value;
    read(address, &value, 2);
    return value;
}

uint8_t Cpu::read8(uint32_t address) const
{
    uint8_t value;
    read(address, &value, 1);
    return value;
}

void Cpu::write32(uint32_t address, uint32_t value)
{
    write(address, &value, 4);
}

void Cpu::write16(uint32_t address, uint16_t value)
{
    write(address, &value, 2);
}

void Cpu::write8(uint32_t address, uint8_t value)
{
    write(address, &value, 1);
}

std::string Cpu::readText(uint32_t address, size_t limit) const
{
    std::string text;
    for (;;) {
        char chunk[64];
        // Read up to the next 64-byte boundary, so no read crosses into a
        // page the text does not reach, nor past the end of a mapping.
        const size_t length = std::min<uint64_t>(
            64 - (address % 64), std::max<uint64_t>(readableEnd(address) - address, 1));
        read(address, chunk, length);
        for (size_t i = 0; i < length; ++i) {
            if (chunk[i] == '\0')
                return text;
            if (text.size() == limit)
                throw CpuFault("a " + layout_.routines + " was given a text at " +
                                   hexAddress(address) + " with no end in " +
                                   std::to_string(limit) + " bytes",
                               0);
            text.push_back(chunk[i]);
        }
        address += static_cast<uint32_t>(length);
    }
}

std::u16string Cpu::readUtf16(uint32_t address, uint16_t length) const
{
    std::u16string text(length / 2, u'\0');
    read(address, text.data(), text.size() * 2);
    return text;
}

uint32_t Cpu::reg(int id) const
{
    uint32_t value = 0;
    unicorn().regRead(uc_, id, &value);
    return value;
}

void Cpu::setReg(int id, uint32_t value)
{
    unicorn().regWrite(uc_, id, &value);
}

uint64_t Cpu::reg64(int id) const
{
    uint64_t value = 0;
    unicorn().regRead(uc_, id, &value);
    return value;
}

void Cpu::setReg64(int id, uint64_t value)
{
    unicorn().regWrite(uc_, id, &value);
}

uint32_t Cpu::stackPointer() const
{
    return layout_.longMode ? static_cast<uint32_t>(reg64(UC_X86_REG_RSP)) : reg(UC_X86_REG_ESP);
}

uint32_t Cpu::instructionPointer() const
{
    return layout_.longMode ? static_cast<uint32_t>(reg64(UC_X86_REG_RIP)) : reg(UC_X86_REG_EIP);
}

void Cpu::setResult(uint64_t value)
{
    if (layout_.longMode)
        setReg64(UC_X86_REG_RAX, value);
    else
        setReg(UC_X86_REG_EAX, static_cast<uint32_t>(value));
}

uint32_t Cpu::argument(unsigned n) const
{
    return read32(reg(UC_X86_REG_ESP) + 4 + 4 * n);
}

uint64_t Arguments::slot()
{
    const unsigned n = next_++;
    if (cpu_.layout().longMode) {
        if (n < 4)
            return cpu_.reg64(kX64ArgumentRegisters[n]);
        // Above the return address: the shadow space of the four, then the
        // fifth and later.
        uint64_t value;
        cpu_.read(cpu_.stackPointer() + 8 + 8 * n, &value, 8);
        return value;
    }
    if (convention_ == Convention::Fastcall) {
        if (n < 2)
            return cpu_.reg(n == 0 ? UC_X86_REG_ECX : UC_X86_REG_EDX);
        return cpu_.argument(n - 2);
    }
    return cpu_.argument(n);
}

uint32_t Arguments::word()
{
    return static_cast<uint32_t>(slot());
}

uint32_t Arguments::pointer()
{
    const uint64_t value = slot();
    if (value > 0xFFFFFFFFull)
        throw CpuFault("a " + cpu_.layout().routines + " was given the pointer " +
                           hexAddress(value) + ", outside the emulated address space (below " +
                           "4 GiB)",
                       0);
    return static_cast<uint32_t>(value);
}

uint64_t Arguments::natural()
{
    return slot();
}

uint64_t Arguments::wide()
{
    if (cpu_.layout().longMode)
        return slot();
    const uint64_t low = slot();
    return low | slot() << 32;
}

void Cpu::installStubs(const std::vector<uint16_t>& stackBytes)
{
    if (stackBytes.size() * kStubSlot > kPageSize - kStubSlot)
        throw std::runtime_error("CPU emulator: " + std::to_string(stackBytes.size()) +
                                 " imported routines do not fit the stub page");
    map(layout_.stubPage, kPageSize, UC_PROT_ALL);
    for (size_t i = 0; i < stackBytes.size(); ++i) {
        const uint16_t bytes = layout_.longMode ? 0 : stackBytes[i];
        const uint8_t stub[3] = {bytes != 0 ? uint8_t(0xC2) : uint8_t(0xC3), uint8_t(bytes),
                                 uint8_t(bytes >> 8)};
        write(layout_.stubPage + static_cast<uint32_t>(i) * kStubSlot, stub, sizeof stub);
    }
    protect(layout_.stubPage, kPageSize, UC_PROT_READ | UC_PROT_EXEC);
}

void Cpu::setDriverCode(uint32_t begin, uint32_t end, const uint8_t* bytes)
{
    codeBegin_ = begin;
    codeEnd_ = end;
    code_ = bytes;
    checkedBlocks_.assign(end - begin, CheckedBlock{});
    uc_hook hook;
    check(unicorn().hookAdd(uc_, &hook, UC_HOOK_BLOCK, reinterpret_cast<void*>(&Cpu::onBlock), this,
                            begin, end - 1),
          "block hook");
}

void Cpu::overwriteCode(uint32_t address, const std::vector<uint8_t>& bytes)
{
    check(unicorn().memWrite(uc_, address, bytes.data(), bytes.size()),
          "cannot write code at " + hexAddress(address));
    unicorn().ctl(uc_, UC_CTL_WRITE(UC_CTL_TB_REMOVE_CACHE, 2), uint64_t(address),
                  uint64_t(address) + bytes.size()); // uc_ctl_remove_cache
    std::fill(checkedBlocks_.begin(), checkedBlocks_.end(), CheckedBlock{});
}

uint32_t Cpu::call(uint32_t routine, const std::vector<uint32_t>& arguments, uint64_t budget,
                   Convention convention)
{
    const uint32_t trap = layout_.returnTrap();
    uint32_t esp = layout_.stackTop - 16;
    if (layout_.longMode) {
        // x64: the first four in registers, room for them (the shadow space)
        // and the rest on the stack, 16-byte aligned at the call, so the
        // routine starts with RSP 8 off the alignment.
        const auto onStack = static_cast<uint32_t>(std::max<size_t>(arguments.size(), 4) - 4);
        esp = (esp - 32 - 8 * onStack) & ~15u;
        for (size_t i = 0; i < arguments.size(); ++i) {
            const uint64_t value = arguments[i];
            if (i < 4)
                setReg64(kX64ArgumentRegisters[i], value);
            else
                write(esp + 8 * static_cast<uint32_t>(i), &value, 8);
        }
        esp -= 8;
        const uint64_t returnAddress = trap;
        write(esp, &returnAddress, 8);
        setReg64(UC_X86_REG_RSP, esp);
        setReg64(UC_X86_REG_RBP, 0);
    } else {
        for (auto argument = std::rbegin(arguments); argument != std::rend(arguments); ++argument) {
            esp -= 4;
            write32(esp, *argument);
        }
        esp -= 4;
        write32(esp, trap);
        setReg(UC_X86_REG_ESP, esp);
        setReg(UC_X86_REG_EBP, 0);
    }
    setReg(UC_X86_REG_EFLAGS, 0x202); // interrupts enabled, as at passive level
    fault_.reset();
    executed_ = 0;
    budget_ = budget;
    lastInstruction_ = routine;

    const uc_err error = unicorn().emuStart(uc_, routine, trap, 0, 0);
    if (fault_)
        throw *fault_;
    const uint32_t eip = instructionPointer();
    if (error != UC_ERR_OK)
        throw CpuFault(std::string("the emulator stopped: ") + unicorn().strerror(error),
                       lastInstruction_);
    if (eip != trap)
        throw CpuFault("the routine stopped at " + hexAddress(eip) + " without returning",
                       lastInstruction_);
    const uint32_t popped = convention == Convention::Stdcall && !layout_.longMode
                                ? 4 * static_cast<uint32_t>(arguments.size())
                                : 0;
    const uint32_t expected = esp + (layout_.longMode ? 8 : 4) + popped;
    if (stackPointer() != expected)
        throw CpuFault("the routine returned with the stack at " + hexAddress(stackPointer()) +
                           " instead of " + hexAddress(expected) +
                           " (a calling convention mismatch)",
                       lastInstruction_);
    return reg(UC_X86_REG_EAX);
}

void Cpu::stop(const std::string& what, uint32_t address)
{
    if (!fault_)
        fault_.emplace(what, address);
    unicorn().emuStop(uc_);
}

// Counts the instructions of a block and stops at a privileged one; the
// first time the engine runs the block (or the first time since its code was
// overwritten) it is decoded, later runs only count.
void Cpu::onBlock(uc_engine*, uint64_t address, uint32_t size, void* self)
{
    auto& cpu = *static_cast<Cpu*>(self);
    const auto at = static_cast<uint32_t>(address);
    cpu.lastInstruction_ = at;
    cpu.blockEnd_ = at + size;
    if (at < cpu.codeBegin_ || uint64_t(at) + size > cpu.codeEnd_)
        return;
    CheckedBlock& block = cpu.checkedBlocks_[at - cpu.codeBegin_];
    if (block.size != size && !cpu.checkBlock(at, size, block))
        return;
    cpu.executed_ += block.instructions;
    if (cpu.executed_ > cpu.budget_)
        cpu.stop("the request ran past its budget of " + std::to_string(cpu.budget_) +
                     " instructions (a runaway)",
                 at);
}

bool Cpu::checkBlock(uint32_t begin, uint32_t size, CheckedBlock& block)
{
    // A block of no bytes (the engine reports none for some) is one
    // instruction as far as the check goes.
    const uint32_t end = begin + (size != 0 ? size : 1);
    uint32_t instructions = 0;
    for (uint32_t at = begin; at < end; ++instructions) {
        const X86Instruction instruction =
            decodeX86(code_ + (at - codeBegin_), codeEnd_ - at, layout_.userMode, layout_.longMode);
        if (instruction.length == 0 || (size != 0 && at + instruction.length > end)) {
            stop("an instruction the emulator cannot decode at " + hexAddress(at), at);
            return false;
        }
        if (instruction.privileged != nullptr) {
            stop(std::string("a privileged instruction (") + instruction.privileged + ")", at);
            return false;
        }
        at += instruction.length;
    }
    block = CheckedBlock{size, instructions};
    return true;
}

// The instruction a fault met: the engine's EIP where it lies in the block
// that ran last, else that block's start.
uint32_t Cpu::currentInstruction() const
{
    const uint32_t eip = instructionPointer();
    return eip >= lastInstruction_ && eip < blockEnd_ ? eip : lastInstruction_;
}

void Cpu::onStub(uc_engine*, uint64_t address, uint32_t, void* self)
{
    auto& cpu = *static_cast<Cpu*>(self);
    const auto at = static_cast<uint32_t>(address);
    if (at == cpu.layout_.returnTrap() || at % kStubSlot != 0 || cpu.fault_)
        return;
    const uint32_t caller = cpu.read32(cpu.stackPointer()); // the low half in long mode
    try {
        cpu.devices_.importCall((at - cpu.layout_.stubPage) / kStubSlot);
    } catch (const CpuFault& fault) {
        // A misused routine is placed where it returns to, just past its call.
        cpu.stop(fault.what(), fault.address() != 0 ? fault.address() : caller);
    } catch (const std::exception& error) {
        cpu.stop("a " + cpu.layout_.routines + " failed: " + error.what(), caller);
    }
}

bool Cpu::onMemory(uc_engine*, uc_mem_type type, uint64_t address, int size, int64_t, void* self)
{
    auto& cpu = *static_cast<Cpu*>(self);
    const uint64_t at = address; // in long mode anywhere in 64 bits
    const uint32_t stackBottom = cpu.layout_.stackTop - cpu.layout_.stackSize;
    std::string what;
    if (at < stackBottom && at >= stackBottom - cpu.layout_.stackGuard)
        what = "a stack overflow (" + std::string(accessName(type)) + " at " + hexAddress(at) +
               ", below the " + std::to_string(cpu.layout_.stackSize / 1024) + " KiB " +
               cpu.layout_.stack + ")";
    else
        what = std::string(accessName(type)) + " at " + hexAddress(at) + " (" +
               std::to_string(size) + " bytes)";
    cpu.stop(what, cpu.currentInstruction());
    return false;
}

bool Cpu::onInvalid(uc_engine*, void* self)
{
    auto& cpu = *static_cast<Cpu*>(self);
    cpu.stop("an invalid instruction", cpu.instructionPointer());
    return false;
}

void Cpu::onInterrupt(uc_engine*, uint32_t number, void* self)
{
    auto& cpu = *static_cast<Cpu*>(self);
    const char* name = number == 0    ? " (divide error)"
                       : number == 6  ? " (invalid opcode)"
                       : number == 13 ? " (general protection)"
                       : number == 14 ? " (page fault)"
                                      : "";
    cpu.stop("processor exception " + std::to_string(number) + name, cpu.currentInstruction());
}

uint32_t Cpu::onIn(uc_engine*, uint32_t port, int size, void* self)
{
    auto& cpu = *static_cast<Cpu*>(self);
    if (!cpu.devices_.portIn) {
        cpu.stop("a privileged instruction (in)", cpu.currentInstruction());
        return 0xFFFFFFFF;
    }
    if (size != 1) {
        cpu.stop("a " + std::to_string(size * 8) + "-bit in from port " + hexAddress(port) +
                     " (the notebook's ports are read byte by byte)",
                 cpu.currentInstruction());
        return 0xFFFFFFFF;
    }
    return cpu.devices_.portIn(static_cast<uint16_t>(port));
}

void Cpu::onOut(uc_engine*, uint32_t port, int size, uint32_t value, void* self)
{
    auto& cpu = *static_cast<Cpu*>(self);
    if (!cpu.devices_.portOut) {
        cpu.stop("a privileged instruction (out)", cpu.currentInstruction());
        return;
    }
    if (size != 1) {
        cpu.stop("a " + std::to_string(size * 8) + "-bit out to port " + hexAddress(port) +
                     " (the notebook's ports are written byte by byte)",
                 cpu.currentInstruction());
        return;
    }
    cpu.devices_.portOut(static_cast<uint16_t>(port), static_cast<uint8_t>(value));
}

} // namespace emulated
