// SPDX-License-Identifier: MIT
// emulated_plugin.cpp
//
// The emulated plug-in's life: the DLL laid out and placed in a user-mode
// processor with its import stubs, heap, stack and text pages, DllMain at
// attach and detach, calls of its routines with their arguments, the texts
// they return, and the faults that stop it.
#include "platform/emulated-image/emulated_plugin.h"

#include "platform/emulated-image/image_placement.h"
#include "platform/emulated-image/stand_ins.h"
#include "sim/machine.h"

#include <cctype>
#include <cstdio>
#include <iostream>

namespace emulated {

namespace {

constexpr uint32_t kDllProcessDetach = 0;
constexpr uint32_t kDllProcessAttach = 1;
// The lowest and the first address past where a DLL may lie.
constexpr uint32_t kLowestImageAddress = 0x00010000;
constexpr uint32_t kImageSpaceEnd = kUserHeap;
// The longest text a routine may return.
constexpr size_t kLongestText = 0x10000;

CpuLayout userLayout()
{
    CpuLayout layout;
    layout.stubPage = kUserStubPage;
    layout.stackTop = kUserStackTop;
    layout.stackSize = kUserStackSize;
    layout.stackGuard = kUserStackGuard;
    layout.userMode = true;
    layout.routines = "imported routine";
    layout.stack = "thread stack";
    return layout;
}

} // namespace

EmulatedPlugin::EmulatedPlugin(const std::filesystem::path& image, const PluginLoadOptions& options)
    : imageName_(image.filename().string()), pe_(image, ImageKind::Dll),
      symbols_(mapFileFor(image)), options_(options)
{
    if (pe_.is64())
        throw ImageError("plug-in image " + image.string() +
                         ": an x86-64 (PE32+) library; the emulated plug-in loader runs the "
                         "i386 (PE32) Gaugelet.dll");
    base_ = options.base.value_or(static_cast<uint32_t>(pe_.imageBase()));
    const uint64_t end = uint64_t(base_) + pagesFor(pe_.imageSize());
    if (base_ % 0x10000 != 0 || base_ < kLowestImageAddress || end > kImageSpaceEnd)
        throw ImageError("plug-in image " + image.string() + ": cannot be placed at " +
                         hexAddress(base_) + " (a DLL goes on a 64 KiB boundary from " +
                         hexAddress(kLowestImageAddress) + " to " + hexAddress(kImageSpaceEnd) +
                         ")");
    image_ = pe_.layOut(base_, [this](const Import& import) { return resolveImport(import); });
    image_.resize(pagesFor(pe_.imageSize()), 0);

    CpuDevices devices; // no ports in user mode
    devices.importCall = [this](uint32_t index) { importCall(index); };
    cpu_ = std::make_unique<Cpu>(std::move(devices), userLayout());
    placeImage(*cpu_, pe_, base_, image_);
    std::vector<uint16_t> stackBytes;
    for (const ImportedRoutine& routine : importedRoutines())
        stackBytes.push_back(routine.convention == Convention::Stdcall ? routine.stackBytes : 0);
    cpu_->installStubs(stackBytes);
    cpu_->map(kUserHeap, kUserHeapSize, UC_PROT_READ | UC_PROT_WRITE);
    cpu_->map(kUserTexts, kUserTextsSize, UC_PROT_READ | UC_PROT_WRITE);
    cpu_->map(kUserStackTop - kUserStackSize, kUserStackSize, UC_PROT_READ | UC_PROT_WRITE);

    if (pe_.entryPoint() == 0) {
        attached_ = true;
        return;
    }
    const auto attached = call(base_ + pe_.entryPoint(), {base_, kDllProcessAttach, 0u},
                               Convention::Stdcall, "DllMain (process attach)");
    if (!attached)
        throw std::runtime_error("plug-in image " + image.string() + " does not load: " + *fault_);
    if (*attached == 0) {
        // As Windows does, the library hears of its detach before it goes.
        call(base_ + pe_.entryPoint(), {base_, kDllProcessDetach, 0u}, Convention::Stdcall,
             "DllMain (process detach)");
        throw std::runtime_error("plug-in image " + image.string() +
                                 " does not load: DllMain refused the process attach");
    }
    attached_ = true;
}

EmulatedPlugin::~EmulatedPlugin()
{
    std::lock_guard guard(lock_);
    if (attached_ && !fault_ && pe_.entryPoint() != 0)
        call(base_ + pe_.entryPoint(), {base_, kDllProcessDetach, 0u}, Convention::Stdcall,
             "DllMain (process detach)");
}

uint32_t EmulatedPlugin::resolveImport(const Import& import) const
{
    return stubOfImport(importedRoutines(), import, kUserStubPage, kStubSlot, imageName_,
                        {"plug-in image", "the emulated process", "plug-in",
                         "platform/emulated-image/user_routines.cpp"});
}

void EmulatedPlugin::importCall(uint32_t index)
{
    runStandIn(*this, importedRoutines(), index, "the stub page");
}

std::optional<uint32_t> EmulatedPlugin::exportAddress(const std::string& name) const
{
    auto found = pe_.exports().find(name);
    if (found == pe_.exports().end())
        return std::nullopt;
    return base_ + found->second;
}

std::optional<std::string> EmulatedPlugin::exportAt(uint32_t address) const
{
    for (const auto& [name, relative] : pe_.exports())
        if (base_ + relative == address)
            return name;
    return std::nullopt;
}

std::optional<uint32_t> EmulatedPlugin::call(uint32_t routine,
                                             const std::vector<PluginArgument>& arguments,
                                             Convention convention, const std::string& what)
{
    std::lock_guard guard(lock_);
    if (fault_)
        return std::nullopt;
    // The texts go one after the other into the text pages; each call
    // starts them afresh (a text lives for its call, as the caller's does).
    std::vector<uint32_t> words;
    uint32_t next = kUserTexts;
    for (const PluginArgument& argument : arguments) {
        if (const auto* number = std::get_if<uint32_t>(&argument)) {
            words.push_back(*number);
            continue;
        }
        const std::string& text = std::get<std::string>(argument);
        if (text.size() + 1 > kUserTexts + kUserTextsSize - next)
            throw std::length_error(what + ": the parameter texts do not fit the " +
                                    std::to_string(kUserTextsSize) + " bytes of the text pages");
        cpu_->write(next, text.c_str(), text.size() + 1);
        words.push_back(next);
        next += static_cast<uint32_t>(text.size() + 1);
    }
    try {
        const uint32_t result = cpu_->call(routine, words, options_.instructionBudget, convention);
        lastInstructions_ = cpu_->instructions();
        return result;
    } catch (const CpuFault& fault) {
        lastInstructions_ = cpu_->instructions();
        recordFault(fault, what);
        return std::nullopt;
    }
}

std::optional<std::string> EmulatedPlugin::text(uint32_t address, const std::string& what)
{
    std::lock_guard guard(lock_);
    if (fault_)
        return std::nullopt;
    try {
        if (address == 0)
            throw CpuFault("returned a null pointer instead of a text", 0);
        return cpu_->readText(address, kLongestText);
    } catch (const CpuFault& fault) {
        recordFault(CpuFault(what + " returned " + hexAddress(address) +
                                 ", which is no text the host can read (" + fault.what() + ")",
                             0),
                    what);
        return std::nullopt;
    }
}

void EmulatedPlugin::recordFault(const CpuFault& fault, const std::string& what)
{
    if (fault_)
        return;
    std::string message =
        "plug-in fault in " + imageName_ + " during " + what + ": " + fault.what();
    if (fault.address() != 0)
        message += " at " + describe(fault.address());
    fault_ = message;
    std::cerr << "emulated plug-in: " << message << "; later calls answer an error\n";
    if (auto machine = sim::currentMachinePtr())
        machine->trace.line("fault " + message);
}

std::optional<std::string> EmulatedPlugin::fault() const
{
    std::lock_guard guard(lock_);
    return fault_;
}

std::optional<uint32_t> EmulatedPlugin::symbolAddress(const std::string& name) const
{
    return placedSymbol(symbols_, name, base_, static_cast<uint32_t>(pe_.imageBase()));
}

std::string EmulatedPlugin::describe(uint32_t address) const
{
    if (const ImportedRoutine* routine =
            standInAt(importedRoutines(), address, kUserStubPage, kStubSlot))
        return hexAddress(address) + " (" + routine->name + ")";
    return describeImageAddress(symbols_, imageName_, address, base_,
                                static_cast<uint32_t>(pe_.imageBase()),
                                static_cast<uint32_t>(image_.size()));
}

void EmulatedPlugin::patch(uint32_t address, const std::vector<uint8_t>& bytes)
{
    std::lock_guard guard(lock_);
    patchImage(*cpu_, base_, image_, address, bytes);
}

uint64_t EmulatedPlugin::lastInstructions() const
{
    std::lock_guard guard(lock_);
    return lastInstructions_;
}

size_t EmulatedPlugin::liveBlocks() const
{
    std::lock_guard guard(lock_);
    return heap_.liveBlocks();
}

} // namespace emulated
