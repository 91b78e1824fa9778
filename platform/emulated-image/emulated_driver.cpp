// SPDX-License-Identifier: MIT
// emulated_driver.cpp
//
// The emulated driver's life in the host NT layer: the image laid out in the
// processor (in the mode of its machine) with its stubs, the driver object
// and registry path of DriverEntry, each request carried over as an IRP and
// stack location in the image's layout with its system buffer, the unload
// routine, and the faults that stop the driver.
#include "platform/emulated-image/emulated_driver.h"
#include "platform/emulated-image/stand_ins.h"

#include "platform/emulated-image/image_placement.h"
#include "platform/emulated-image/nt_layout.h"
#include "platform/emulated-image/unicorn_library.h"
#include "platform/host-nt/nt_host.h"
#include "sim/machine.h"

#include "common/smm_interface.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iostream>

namespace emulated {

namespace {

constexpr uint32_t kFirstSystemAddress = 0x80000000;
constexpr uint32_t kLastEmulatorAddress = kSystemBuffers + kSystemBufferSpace;

std::u16string toUtf16(const std::wstring& text)
{
    std::u16string result;
    for (wchar_t c : text)
        result.push_back(static_cast<char16_t>(c));
    return result;
}

// Host driver objects of emulated drivers, for the routines the host NT
// layer calls with nothing but the object.
std::mutex registryLock;
std::map<PDRIVER_OBJECT, EmulatedDriver*> registry;
std::weak_ptr<EmulatedDriver> lastLoaded;

EmulatedDriver& driverFor(PDRIVER_OBJECT driver)
{
    std::lock_guard guard(registryLock);
    auto found = registry.find(driver);
    if (found == registry.end())
        throw std::logic_error("a host driver object without its emulated image");
    return *found->second;
}

NTSTATUS NTAPI hostDispatch(PDEVICE_OBJECT device, PIRP irp)
{
    return driverFor(device->DriverObject).dispatch(device, irp);
}

VOID NTAPI hostUnload(PDRIVER_OBJECT driver)
{
    driverFor(driver).runUnload();
}

} // namespace

EmulatedDriver::EmulatedDriver(const std::filesystem::path& image, const LoadOptions& options)
    : imageName_(image.filename().string()), pe_(image),
      nt_(pe_.is64() ? kNt64Layout : kNt32Layout), symbols_(mapFileFor(image)), options_(options)
{
    if (!options.base && pe_.imageBase() > 0xFFFFFFFFull)
        throw ImageError("driver image " + image.string() + ": linked at " +
                         hexAddress(pe_.imageBase()) +
                         ", above the emulated address space's 4 GiB; give it a base below");
    base_ = options.base.value_or(static_cast<uint32_t>(pe_.imageBase()));
    const uint64_t end = uint64_t(base_) + pagesFor(pe_.imageSize());
    if (base_ % kPageSize != 0 || base_ < 0x10000 || end > 0xFFFFF000ull ||
        (end > kFirstSystemAddress && base_ < kLastEmulatorAddress))
        throw ImageError("driver image " + image.string() + ": cannot be placed at " +
                         hexAddress(base_) + " (the emulated kernel's own records lie at " +
                         hexAddress(kFirstSystemAddress) + " to " +
                         hexAddress(kLastEmulatorAddress) + ")");
    image_ = pe_.layOut(base_, [this](const Import& import) { return resolveImport(import); });
    image_.resize(pagesFor(pe_.imageSize()), 0);

    CpuDevices devices;
    devices.portIn = [](uint16_t port) { return sim::currentMachine().portIn(port); };
    devices.portOut = [this](uint16_t port, uint8_t value) {
        // An out to the SMI command port runs the SMM BIOS on the registers
        // as the driver loaded them; the BIOS's answer goes back into them.
        if (port == SMM_COMMAND_PORT) {
            const uint32_t eax = cpu_->reg(UC_X86_REG_EAX), ebx = cpu_->reg(UC_X86_REG_EBX),
                           ecx = cpu_->reg(UC_X86_REG_ECX), edx = cpu_->reg(UC_X86_REG_EDX);
            auto low = [](uint32_t value) { return static_cast<uint16_t>(value); };
            auto high = [](uint32_t value) { return static_cast<uint16_t>(value >> 16); };
            sim::SmmRegisters registers{low(eax),
                                        low(ebx),
                                        low(ecx),
                                        low(edx),
                                        cpu_->reg(UC_X86_REG_ESI),
                                        cpu_->reg(UC_X86_REG_EDI),
                                        high(eax),
                                        high(ebx),
                                        high(ecx),
                                        high(edx)};
            sim::currentMachine().smi(registers);
            auto whole = [](uint16_t upper, uint16_t lower) {
                return uint32_t(upper) << 16 | lower;
            };
            cpu_->setReg(UC_X86_REG_EAX, whole(registers.eaxHigh, registers.ax));
            cpu_->setReg(UC_X86_REG_EBX, whole(registers.ebxHigh, registers.bx));
            cpu_->setReg(UC_X86_REG_ECX, whole(registers.ecxHigh, registers.cx));
            cpu_->setReg(UC_X86_REG_EDX, whole(registers.edxHigh, registers.dx));
            cpu_->setReg(UC_X86_REG_ESI, registers.esi);
            cpu_->setReg(UC_X86_REG_EDI, registers.edi);
            return;
        }
        sim::currentMachine().portOut(port, value);
    };
    devices.importCall = [this](uint32_t index) { kernelCall(index); };
    CpuLayout layout;
    layout.longMode = pe_.is64();
    layout.stackSize = pe_.is64() ? kStackSize64 : kStackSize;
    cpu_ = std::make_unique<Cpu>(std::move(devices), layout);

    placeImage(*cpu_, pe_, base_, image_);

    // The emulated kernel's own pages.
    cpu_->map(kKernelPool, kKernelPoolSize, UC_PROT_READ | UC_PROT_WRITE);
    std::vector<uint16_t> stackBytes;
    for (const KernelRoutine& routine : kernelRoutines())
        stackBytes.push_back(routine.convention == Convention::Stdcall ? routine.stackBytes : 0);
    cpu_->installStubs(stackBytes);
    cpu_->map(kRequestPage, kPageSize, UC_PROT_READ | UC_PROT_WRITE);
    cpu_->map(kThreadPage, kPageSize, UC_PROT_READ | UC_PROT_WRITE);
    cpu_->map(kStackTop - layout.stackSize, layout.stackSize, UC_PROT_READ | UC_PROT_WRITE);
}

EmulatedDriver::~EmulatedDriver()
{
    std::lock_guard guard(registryLock);
    if (hostDriver_ != nullptr)
        registry.erase(hostDriver_);
}

uint32_t EmulatedDriver::resolveImport(const Import& import)
{
    return stubOfImport(kernelRoutines(), import, kStubPage, kStubSlot, imageName_,
                        {"driver image", "the emulated kernel", "driver",
                         "platform/emulated-image/kernel_routines.cpp"});
}

void EmulatedDriver::kernelCall(uint32_t index)
{
    if (index < kernelRoutines().size())
        callConvention_ = kernelRoutines()[index].convention;
    runStandIn(*this, kernelRoutines(), index, "the kernel's stub page");
}

uint32_t EmulatedDriver::allocate(uint32_t bytes)
{
    const uint32_t address = poolNext_;
    const uint32_t rounded = (bytes + 7) & ~7u;
    if (rounded > kKernelPool + kKernelPoolSize - poolNext_)
        throw CpuFault("the emulated kernel's pool is exhausted", 0);
    poolNext_ += rounded;
    std::vector<uint8_t> zero(rounded, 0);
    cpu_->write(address, zero.data(), zero.size());
    return address;
}

uint32_t EmulatedDriver::makeUnicodeString(const std::u16string& text)
{
    const auto bytes = static_cast<uint16_t>(text.size() * 2);
    const uint32_t string = allocate(nt_.unicodeStringSize + bytes + 2);
    const uint32_t buffer = string + nt_.unicodeStringSize;
    cpu_->write16(string + nt_.unicodeStringLength, bytes);
    cpu_->write16(string + nt_.unicodeStringMaximumLength, static_cast<uint16_t>(bytes + 2));
    writePointer(string + nt_.unicodeStringBuffer, buffer);
    cpu_->write(buffer, text.data(), bytes);
    return string;
}

uint32_t EmulatedDriver::readPointer(uint32_t address) const
{
    const uint64_t value = readNatural(address);
    if (value > 0xFFFFFFFFull)
        throw CpuFault("the pointer at " + hexAddress(address) + " is " + hexAddress(value) +
                           ", outside the emulated address space (below 4 GiB)",
                       0);
    return static_cast<uint32_t>(value);
}

uint64_t EmulatedDriver::readNatural(uint32_t address) const
{
    uint64_t value = 0; // little-endian: a 4-byte field is the low half
    cpu_->read(address, &value, nt_.pointerBytes);
    return value;
}

void EmulatedDriver::writePointer(uint32_t address, uint64_t value)
{
    cpu_->write(address, &value, nt_.pointerBytes);
}

std::wstring EmulatedDriver::readUnicodeString(uint32_t address, const char* routine) const
{
    const uint16_t length = cpu_->read16(address + nt_.unicodeStringLength);
    const uint16_t maximum = cpu_->read16(address + nt_.unicodeStringMaximumLength);
    const uint32_t buffer = readPointer(address + nt_.unicodeStringBuffer);
    if (length % 2 != 0 || length > maximum || (length > 0 && buffer == 0))
        throw CpuFault(std::string(routine) + " was given a malformed UNICODE_STRING (Length " +
                           std::to_string(length) + ", MaximumLength " + std::to_string(maximum) +
                           ")",
                       0);
    std::wstring text;
    for (char16_t c : cpu_->readUtf16(buffer, length))
        text.push_back(static_cast<wchar_t>(c));
    return text;
}

std::optional<std::string> EmulatedDriver::fault() const
{
    std::lock_guard guard(lock_);
    return fault_;
}

uint64_t EmulatedDriver::lastInstructions() const
{
    std::lock_guard guard(lock_);
    return lastInstructions_;
}

std::optional<uint32_t> EmulatedDriver::symbolAddress(const std::string& name) const
{
    return placedSymbol(symbols_, name, base_, static_cast<uint32_t>(pe_.imageBase()));
}

std::string EmulatedDriver::describe(uint32_t address) const
{
    if (const KernelRoutine* routine = standInAt(kernelRoutines(), address, kStubPage, kStubSlot))
        return hexAddress(address) + " (the kernel's " + routine->name + ")";
    return describeImageAddress(symbols_, imageName_, address, base_,
                                static_cast<uint32_t>(pe_.imageBase()),
                                static_cast<uint32_t>(image_.size()));
}

void EmulatedDriver::patch(uint32_t address, const std::vector<uint8_t>& bytes)
{
    std::lock_guard guard(lock_);
    patchImage(*cpu_, base_, image_, address, bytes);
}

void EmulatedDriver::recordFault(const CpuFault& fault, const char* what)
{
    if (fault_)
        return;
    std::string message = "driver fault in " + imageName_ + " during " + what + ": " + fault.what();
    if (fault.address() != 0)
        message += " at " + describe(fault.address());
    fault_ = message;
    std::cerr << "emulated driver: " << message << "; later requests are refused\n";
    if (auto machine = sim::currentMachinePtr())
        machine->trace.line("fault " + message);
}

uint32_t EmulatedDriver::run(uint32_t routine, std::initializer_list<uint32_t> arguments,
                             const char* what)
{
    try {
        const uint32_t result = cpu_->call(routine, arguments, options_.instructionBudget);
        lastInstructions_ = cpu_->instructions();
        return result;
    } catch (const CpuFault& fault) {
        lastInstructions_ = cpu_->instructions();
        recordFault(fault, what);
        throw;
    }
}

NTSTATUS EmulatedDriver::runEntry(PDRIVER_OBJECT hostDriver, PUNICODE_STRING registryPath)
{
    std::lock_guard guard(lock_);
    hostDriver_ = hostDriver;
    {
        std::lock_guard registered(registryLock);
        registry[hostDriver] = this;
    }
    const std::string service = std::filesystem::path(imageName_).stem().string();
    driverObject_ = allocate(nt_.driverObjectSize);
    const uint32_t extension = allocate(nt_.driverExtensionSize);
    cpu_->write16(driverObject_ + nt_.driverObjectType, nt_records::kIoTypeDriver);
    cpu_->write16(driverObject_ + nt_.driverObjectSizeField, nt_.driverObjectSize);
    writePointer(driverObject_ + nt_.driverObjectDriverStart, base_);
    cpu_->write32(driverObject_ + nt_.driverObjectDriverSize, pe_.imageSize());
    writePointer(driverObject_ + nt_.driverObjectDriverExtension, extension);
    writePointer(driverObject_ + nt_.driverObjectDriverInit, base_ + pe_.entryPoint());
    const uint32_t driverName =
        makeUnicodeString(toUtf16(L"\\Driver\\") + std::u16string(service.begin(), service.end()));
    std::vector<uint8_t> name(nt_.unicodeStringSize);
    cpu_->read(driverName, name.data(), name.size());
    cpu_->write(driverObject_ + nt_.driverObjectDriverName, name.data(), name.size());
    writePointer(extension + nt_.driverExtensionDriverObject, driverObject_);
    const uint32_t serviceName = makeUnicodeString(std::u16string(service.begin(), service.end()));
    cpu_->read(serviceName, name.data(), name.size());
    cpu_->write(extension + nt_.driverExtensionServiceKeyName, name.data(), name.size());

    std::wstring path;
    if (registryPath != nullptr && registryPath->Buffer != nullptr)
        path.assign(registryPath->Buffer, registryPath->Length / sizeof(WCHAR));
    const uint32_t registry = makeUnicodeString(toUtf16(path));

    NTSTATUS status;
    try {
        status = static_cast<NTSTATUS>(
            run(base_ + pe_.entryPoint(), {driverObject_, registry}, "DriverEntry"));
    } catch (const CpuFault&) {
        status = kStatusDriverFault;
    }
    if (!NT_SUCCESS(status)) {
        // A load that failed leaves nothing behind in the name space: what a
        // faulted DriverEntry made is taken away here.
        for (const std::wstring& link : links_) {
            std::wstring text = link;
            UNICODE_STRING host{static_cast<USHORT>(text.size() * sizeof(WCHAR)),
                                static_cast<USHORT>(text.size() * sizeof(WCHAR)), text.data()};
            IoDeleteSymbolicLink(&host);
        }
        links_.clear();
        for (const Device& device : devices_)
            IoDeleteDevice(device.host);
        devices_.clear();
        return status;
    }
    for (uint32_t major = 0; major < nt_records::kMajorFunctionCount; ++major)
        if (readPointer(driverObject_ + nt_.driverObjectMajorFunction + nt_.pointerBytes * major) !=
            0)
            hostDriver->MajorFunction[major] = &hostDispatch;
    if (readPointer(driverObject_ + nt_.driverObjectDriverUnload) != 0)
        hostDriver->DriverUnload = &hostUnload;
    // The I/O manager opens the devices DriverEntry made.
    for (const Device& device : devices_) {
        const uint32_t flags = cpu_->read32(device.emulated + nt_.deviceObjectFlags);
        cpu_->write32(device.emulated + nt_.deviceObjectFlags,
                      flags & ~nt_records::kDoDeviceInitializing);
    }
    return status;
}

uint32_t EmulatedDriver::systemBufferFor(uint32_t length)
{
    // The buffer ends at the end of its pages, so a write past it faults.
    // The pages stay mapped for the next request of as many pages (mapping
    // and unmapping costs the engine more than a small request does).
    const uint32_t rounded = (length + 7) & ~7u;
    const uint32_t pages = pagesFor(rounded);
    auto region = bufferRegions_.find(pages);
    if (region == bufferRegions_.end()) {
        if (bufferRegionsEnd_ + pages + kPageSize > kSystemBuffers + kSystemBufferSpace) {
            for (const auto& [size, address] : bufferRegions_)
                cpu_->unmap(address, size);
            bufferRegions_.clear();
            bufferRegionsEnd_ = kSystemBuffers;
        }
        cpu_->map(bufferRegionsEnd_, pages, UC_PROT_READ | UC_PROT_WRITE);
        region = bufferRegions_.emplace(pages, bufferRegionsEnd_).first;
        bufferRegionsEnd_ += pages + kPageSize; // an unmapped page after each
    }
    return region->second + pages - rounded;
}

NTSTATUS EmulatedDriver::dispatch(PDEVICE_OBJECT hostDevice, PIRP irp)
{
    std::lock_guard guard(lock_);
    PIO_STACK_LOCATION stack = IoGetCurrentIrpStackLocation(irp);
    const UCHAR major = stack->MajorFunction;
    NTSTATUS status = kStatusDriverFault;
    ULONG_PTR information = 0;

    auto device = std::find_if(devices_.begin(), devices_.end(),
                               [&](const Device& d) { return d.host == hostDevice; });
    if (fault_) {
        // The handle still closes; nothing reaches the stopped driver.
        if (major == IRP_MJ_CLOSE)
            status = STATUS_SUCCESS;
    } else if (device != devices_.end()) {
        const bool control = major == IRP_MJ_DEVICE_CONTROL;
        const ULONG inputLength = control ? stack->Parameters.DeviceIoControl.InputBufferLength : 0;
        const ULONG outputLength =
            control ? stack->Parameters.DeviceIoControl.OutputBufferLength : 0;
        const uint32_t length = std::max(inputLength, outputLength);
        auto* hostBuffer = static_cast<uint8_t*>(irp->AssociatedIrp.SystemBuffer);
        if (length > kLargestSystemBuffer) {
            status = STATUS_INSUFFICIENT_RESOURCES;
        } else {
            uint32_t buffer = 0;
            try {
                if (length > 0 && hostBuffer != nullptr) {
                    buffer = systemBufferFor(length);
                    cpu_->write(buffer, hostBuffer, length);
                }
                const uint32_t request = kRequestPage;
                std::vector<uint8_t> zero(nt_.irpSize + nt_.stackSize, 0);
                cpu_->write(request, zero.data(), zero.size());
                const uint32_t location = request + nt_.irpSize;
                cpu_->write16(request + nt_.irpType, nt_records::kIoTypeIrp);
                cpu_->write16(request + nt_.irpSizeField, nt_.irpSize + nt_.stackSize);
                writePointer(request + nt_.irpAssociatedIrp, buffer);
                cpu_->write8(request + nt_.irpRequestorMode, nt_records::kUserMode);
                cpu_->write8(request + nt_.irpStackCount, 1);
                cpu_->write8(request + nt_.irpCurrentLocation, 1);
                writePointer(request + nt_.irpCurrentStackLocation, location);
                cpu_->write8(location + nt_.stackMajorFunction, major);
                cpu_->write32(location + nt_.stackOutputBufferLength, outputLength);
                cpu_->write32(location + nt_.stackInputBufferLength, inputLength);
                cpu_->write32(location + nt_.stackIoControlCode,
                              control ? stack->Parameters.DeviceIoControl.IoControlCode : 0);
                writePointer(location + nt_.stackDeviceObject, device->emulated);

                const uint32_t routine = readPointer(driverObject_ + nt_.driverObjectMajorFunction +
                                                     nt_.pointerBytes * major);
                currentIrp_ = request;
                completions_ = 0;
                const auto returned = static_cast<NTSTATUS>(run(
                    routine, {device->emulated, request}, nt::MajorFunctionName(major).c_str()));
                currentIrp_ = 0;
                const auto completed =
                    static_cast<NTSTATUS>(cpu_->read32(request + nt_.irpIoStatusStatus));
                information = readNatural(request + nt_.irpIoStatusInformation);
                if (completions_ == 0)
                    throw CpuFault("the " + nt::MajorFunctionName(major) + " routine returned " +
                                       hexAddress(uint32_t(returned)) +
                                       " without completing the request",
                                   routine);
                if (returned != completed)
                    throw CpuFault("the " + nt::MajorFunctionName(major) + " routine returned " +
                                       hexAddress(uint32_t(returned)) +
                                       " but completed the request with " +
                                       hexAddress(uint32_t(completed)),
                                   routine);
                if (NT_SUCCESS(returned) && information > outputLength)
                    throw CpuFault("the " + nt::MajorFunctionName(major) + " routine reported " +
                                       std::to_string(information) + " bytes for an output of " +
                                       std::to_string(outputLength) + " bytes",
                                   routine);
                if (buffer != 0)
                    cpu_->read(buffer, hostBuffer, length);
                status = returned;
            } catch (const CpuFault& fault) {
                recordFault(fault, nt::MajorFunctionName(major).c_str());
                status = kStatusDriverFault;
                information = 0;
            }
            currentIrp_ = 0;
        }
    }
    irp->IoStatus.Status = status;
    irp->IoStatus.Information = NT_SUCCESS(status) ? information : 0;
    IofCompleteRequest(irp, IO_NO_INCREMENT);
    return status;
}

void EmulatedDriver::runUnload()
{
    std::lock_guard guard(lock_);
    if (fault_)
        return;
    const uint32_t routine = readPointer(driverObject_ + nt_.driverObjectDriverUnload);
    try {
        run(routine, {driverObject_}, "the unload routine");
    } catch (const CpuFault&) {
        // Reported; the devices and links it did not remove stay, as after
        // an unload that could not remove its link.
    }
}

NTSTATUS loadDriverImage(const std::filesystem::path& image, const LoadOptions& options)
{
    auto driver = std::make_shared<EmulatedDriver>(image, options);
    EmulatedDriver* raw = driver.get();
    lastLoaded = driver;
    return nt::IoManager::instance().loadHostedDriver(
        image.string(),
        [raw](PDRIVER_OBJECT object, PUNICODE_STRING path) { return raw->runEntry(object, path); },
        std::move(driver));
}

std::shared_ptr<EmulatedDriver> loadedImage()
{
    return lastLoaded.lock();
}

} // namespace emulated
