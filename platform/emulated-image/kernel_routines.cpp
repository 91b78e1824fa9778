// SPDX-License-Identifier: MIT
// kernel_routines.cpp
//
// The kernel routines an emulated driver image may import, each with its
// real calling convention on x86 (stdcall unless noted: the routine takes
// its arguments off the stack; cdecl for DbgPrint, memcpy and memset: the
// caller does; fastcall for IofCompleteRequest: ECX and EDX); on x86-64 all
// have the x64 convention. Each reads its parameters in order through
// Arguments, which knows the conventions, so one stand-in serves both
// machines; records are written in the image's layout. Each does what the
// host NT layer does for the host-built driver, on records in emulated
// memory: device and link names go to the host NT layer's name space,
// physical mappings to the simulated notebook (and into the processor),
// debug messages to the same debug log. A misuse the host layer would call a
// driver fault is a CpuFault here, which stops the emulated driver.
#include "platform/emulated-image/emulated_driver.h"
#include "platform/emulated-image/stand_ins.h"

#include "platform/emulated-image/nt_layout.h"
#include "sim/machine.h"

#include <algorithm>
#include <cstdio>

namespace emulated {

namespace {

// More than a driver ever copies or fills in one call.
constexpr uint32_t kLargestBlock = kLargestSystemBuffer;

// A host UNICODE_STRING over a wide text that outlives the call.
UNICODE_STRING hostString(std::wstring& text)
{
    const auto bytes = static_cast<USHORT>(text.size() * sizeof(WCHAR));
    return UNICODE_STRING{bytes, bytes, text.data()};
}

} // namespace

const std::vector<EmulatedDriver::KernelRoutine>& EmulatedDriver::kernelRoutines()
{
    static const std::vector<KernelRoutine> routines = {
        {"ntoskrnl.exe", "RtlInitUnicodeString", Convention::Stdcall, 8,
         &EmulatedDriver::rtlInitUnicodeString},
        {"ntoskrnl.exe", "IoCreateDevice", Convention::Stdcall, 28,
         &EmulatedDriver::ioCreateDevice},
        {"ntoskrnl.exe", "IoDeleteDevice", Convention::Stdcall, 4, &EmulatedDriver::ioDeleteDevice},
        {"ntoskrnl.exe", "IoCreateSymbolicLink", Convention::Stdcall, 8,
         &EmulatedDriver::ioCreateSymbolicLink},
        {"ntoskrnl.exe", "IoDeleteSymbolicLink", Convention::Stdcall, 4,
         &EmulatedDriver::ioDeleteSymbolicLink},
        {"ntoskrnl.exe", "IofCompleteRequest", Convention::Fastcall, 0,
         &EmulatedDriver::iofCompleteRequest},
        {"ntoskrnl.exe", "MmMapIoSpace", Convention::Stdcall, 16, &EmulatedDriver::mmMapIoSpace},
        {"ntoskrnl.exe", "MmUnmapIoSpace", Convention::Stdcall, 8, &EmulatedDriver::mmUnmapIoSpace},
        {"ntoskrnl.exe", "DbgPrint", Convention::Cdecl, 0, &EmulatedDriver::dbgPrint},
        {"ntoskrnl.exe", "KeInitializeMutex", Convention::Stdcall, 8,
         &EmulatedDriver::keInitializeMutex},
        {"ntoskrnl.exe", "KeWaitForSingleObject", Convention::Stdcall, 20,
         &EmulatedDriver::keWaitForSingleObject},
        {"ntoskrnl.exe", "KeReleaseMutex", Convention::Stdcall, 8, &EmulatedDriver::keReleaseMutex},
        {"ntoskrnl.exe", "memcpy", Convention::Cdecl, 0, &EmulatedDriver::memcpyRoutine},
        {"ntoskrnl.exe", "memset", Convention::Cdecl, 0, &EmulatedDriver::memsetRoutine},
    };
    return routines;
}

void EmulatedDriver::returnFromStub(uint64_t value)
{
    cpu_->setResult(value);
}

// VOID RtlInitUnicodeString(PUNICODE_STRING Destination, PCWSTR Source)
void EmulatedDriver::rtlInitUnicodeString()
{
    Arguments in = arguments();
    const uint32_t destination = in.pointer();
    const uint32_t source = in.pointer();
    uint32_t length = 0;
    if (source != 0)
        while (cpu_->read16(source + length) != 0) {
            length += 2;
            if (length >= 0xFFFC)
                throw CpuFault("RtlInitUnicodeString was given a text with no end", 0);
        }
    cpu_->write16(destination + nt_.unicodeStringLength, static_cast<uint16_t>(length));
    cpu_->write16(destination + nt_.unicodeStringMaximumLength,
                  static_cast<uint16_t>(source != 0 ? length + 2 : 0));
    writePointer(destination + nt_.unicodeStringBuffer, source);
}

// NTSTATUS IoCreateDevice(PDRIVER_OBJECT, ULONG ExtensionSize, PUNICODE_STRING Name,
//                         DEVICE_TYPE, ULONG Characteristics, BOOLEAN Exclusive,
//                         PDEVICE_OBJECT* DeviceObject)
void EmulatedDriver::ioCreateDevice()
{
    Arguments in = arguments();
    const uint32_t driver = in.pointer();
    const uint32_t extensionSize = in.word();
    const uint32_t nameAddress = in.pointer();
    const uint32_t type = in.word();
    const uint32_t characteristics = in.word();
    const auto exclusive = static_cast<BOOLEAN>(in.word() & 0xFF);
    const uint32_t result = in.pointer();
    if (driver != driverObject_)
        throw CpuFault("IoCreateDevice was given a driver object this kernel did not make (" +
                           hexAddress(driver) + ")",
                       0);
    if (result == 0)
        throw CpuFault("IoCreateDevice was given no place for the device object", 0);
    if (extensionSize > kKernelPoolSize / 2)
        return returnFromStub(static_cast<uint32_t>(STATUS_INSUFFICIENT_RESOURCES));

    std::wstring name;
    if (nameAddress != 0)
        name = readUnicodeString(nameAddress, "IoCreateDevice");
    UNICODE_STRING hostName = hostString(name);
    PDEVICE_OBJECT host = nullptr;
    const NTSTATUS status = IoCreateDevice(hostDriver_, 0, nameAddress != 0 ? &hostName : nullptr,
                                           type, characteristics, exclusive, &host);
    if (!NT_SUCCESS(status))
        return returnFromStub(static_cast<uint32_t>(status));

    const uint32_t object = allocate(nt_.deviceObjectSize);
    const uint32_t extension = extensionSize != 0 ? allocate(extensionSize) : 0;
    cpu_->write16(object + nt_.deviceObjectType, nt_records::kIoTypeDevice);
    cpu_->write16(object + nt_.deviceObjectSizeField,
                  static_cast<uint16_t>(nt_.deviceObjectSize + extensionSize));
    writePointer(object + nt_.deviceObjectDriverObject, driverObject_);
    // Like Windows, the newest device heads the driver's list.
    writePointer(object + nt_.deviceObjectNextDevice,
                 readPointer(driverObject_ + nt_.driverObjectDeviceObject));
    cpu_->write32(object + nt_.deviceObjectFlags, nt_records::kDoDeviceInitializing);
    cpu_->write32(object + nt_.deviceObjectCharacteristics, characteristics);
    writePointer(object + nt_.deviceObjectDeviceExtension, extension);
    cpu_->write32(object + nt_.deviceObjectDeviceType, type);
    cpu_->write8(object + nt_.deviceObjectStackSize, 1);
    writePointer(driverObject_ + nt_.driverObjectDeviceObject, object);
    devices_.push_back(Device{object, host});
    writePointer(result, object);
    returnFromStub(static_cast<uint32_t>(STATUS_SUCCESS));
}

// VOID IoDeleteDevice(PDEVICE_OBJECT DeviceObject)
void EmulatedDriver::ioDeleteDevice()
{
    const uint32_t object = arguments().pointer();
    auto device = std::find_if(devices_.begin(), devices_.end(),
                               [&](const Device& d) { return d.emulated == object; });
    if (device == devices_.end())
        throw CpuFault("IoDeleteDevice was given a device object that does not exist (" +
                           hexAddress(object) + ": deleted twice, or never made)",
                       0);
    // Out of the driver's list of devices.
    uint32_t link = driverObject_ + nt_.driverObjectDeviceObject;
    while (readPointer(link) != 0 && readPointer(link) != object)
        link = readPointer(link) + nt_.deviceObjectNextDevice;
    if (readPointer(link) == object)
        writePointer(link, readPointer(object + nt_.deviceObjectNextDevice));
    PDEVICE_OBJECT host = device->host;
    devices_.erase(device);
    IoDeleteDevice(host);
}

// NTSTATUS IoCreateSymbolicLink(PUNICODE_STRING Link, PUNICODE_STRING Device)
void EmulatedDriver::ioCreateSymbolicLink()
{
    Arguments in = arguments();
    std::wstring link = readUnicodeString(in.pointer(), "IoCreateSymbolicLink");
    std::wstring target = readUnicodeString(in.pointer(), "IoCreateSymbolicLink");
    UNICODE_STRING hostLink = hostString(link);
    UNICODE_STRING hostTarget = hostString(target);
    const NTSTATUS status = IoCreateSymbolicLink(&hostLink, &hostTarget);
    if (NT_SUCCESS(status))
        links_.push_back(link);
    returnFromStub(static_cast<uint32_t>(status));
}

// NTSTATUS IoDeleteSymbolicLink(PUNICODE_STRING Link)
void EmulatedDriver::ioDeleteSymbolicLink()
{
    std::wstring link = readUnicodeString(arguments().pointer(), "IoDeleteSymbolicLink");
    UNICODE_STRING hostLink = hostString(link);
    const NTSTATUS status = IoDeleteSymbolicLink(&hostLink);
    if (NT_SUCCESS(status))
        std::erase(links_, link);
    returnFromStub(static_cast<uint32_t>(status));
}

// VOID FASTCALL IofCompleteRequest(PIRP Irp, CCHAR PriorityBoost)
void EmulatedDriver::iofCompleteRequest()
{
    const uint32_t irp = arguments().pointer();
    if (currentIrp_ == 0 || irp != currentIrp_)
        throw CpuFault("IofCompleteRequest was given " + hexAddress(irp) +
                           ", which is not a request in a dispatch routine",
                       0);
    if (++completions_ > 1)
        throw CpuFault("a request was completed twice", 0);
}

// PVOID MmMapIoSpace(PHYSICAL_ADDRESS, SIZE_T NumberOfBytes, MEMORY_CACHING_TYPE)
void EmulatedDriver::mmMapIoSpace()
{
    Arguments in = arguments();
    const uint64_t physical = in.wide();
    const uint64_t size = in.natural();
    if (size > 0xFFFFFFFFull)
        return returnFromStub(0); // more than a 32-bit notebook has
    const auto length = static_cast<uint32_t>(size);
    auto machine = sim::currentMachinePtr();
    void* host = machine ? machine->mapIoSpace(physical, length) : nullptr;
    if (host == nullptr)
        return returnFromStub(0);
    const auto address = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(host));
    Mapping mapping;
    mapping.pageStart = address & ~(kPageSize - 1);
    mapping.pageBytes = (address + length + kPageSize - 1 - mapping.pageStart) & ~(kPageSize - 1);
    mapping.host = host;
    mapping.length = length;
    // The processor reads the very pages the notebook handed out, read only
    // as they are.
    try {
        cpu_->mapHost(mapping.pageStart, mapping.pageBytes, UC_PROT_READ,
                      reinterpret_cast<void*>(static_cast<uintptr_t>(mapping.pageStart)));
    } catch (const std::exception& error) {
        machine->unmapIoSpace(host, length);
        throw CpuFault(std::string("MmMapIoSpace: the mapping the notebook gave cannot be "
                                   "placed in the processor: ") +
                           error.what(),
                       0);
    }
    cpu_->limitReads(mapping.pageStart, mapping.pageBytes, address, length);
    mappings_[address] = mapping;
    returnFromStub(address);
}

// VOID MmUnmapIoSpace(PVOID BaseAddress, SIZE_T NumberOfBytes)
void EmulatedDriver::mmUnmapIoSpace()
{
    Arguments in = arguments();
    const uint32_t address = in.pointer();
    const uint64_t length = in.natural();
    auto found = mappings_.find(address);
    if (found == mappings_.end() || found->second.length != length)
        throw CpuFault("MmUnmapIoSpace of " + hexAddress(address) + " (" + std::to_string(length) +
                           " bytes), which is no mapping the driver holds",
                       0);
    const Mapping mapping = found->second;
    mappings_.erase(found);
    cpu_->unmap(mapping.pageStart, mapping.pageBytes);
    sim::currentMachine().unmapIoSpace(mapping.host, mapping.length);
}

// ULONG __cdecl DbgPrint(PCSTR Format, ...)
void EmulatedDriver::dbgPrint()
{
    Arguments in = arguments();
    const uint32_t format = in.pointer();
    if (format != 0) {
        const std::string message = formatArguments(format, in);
        DbgPrint("%s", message.c_str()); // the host layer's log, as for the host build
    }
    returnFromStub(static_cast<uint32_t>(STATUS_SUCCESS));
}

// VOID KeInitializeMutex(PRKMUTEX Mutex, ULONG Level)
void EmulatedDriver::keInitializeMutex()
{
    const uint32_t mutex = arguments().pointer();
    std::vector<uint8_t> zero(nt_.mutexSize, 0);
    cpu_->write(mutex, zero.data(), zero.size());
    cpu_->write8(mutex + nt_.mutexType, nt_records::kMutantObject);
    cpu_->write8(mutex + nt_.mutexHeaderSize, nt_.mutexSize / 4);
    cpu_->write32(mutex + nt_.mutexSignalState, 1);
    cpu_->write8(mutex + nt_.mutexApcDisable, 1);
    // The list head of waiters points at itself.
    writePointer(mutex + nt_.mutexWaitListHead, mutex + nt_.mutexWaitListHead);
    writePointer(mutex + nt_.mutexWaitListHead + nt_.pointerBytes, mutex + nt_.mutexWaitListHead);
}

// NTSTATUS KeWaitForSingleObject(PVOID Object, KWAIT_REASON, KPROCESSOR_MODE,
//                                BOOLEAN Alertable, PLARGE_INTEGER Timeout)
// One processor runs one routine at a time, so a mutex is either free or the
// running thread's own (a KMUTEX may be acquired again by its owner).
void EmulatedDriver::keWaitForSingleObject()
{
    const uint32_t mutex = arguments().pointer();
    if (cpu_->read8(mutex + nt_.mutexType) != nt_records::kMutantObject)
        throw CpuFault("KeWaitForSingleObject was given " + hexAddress(mutex) +
                           ", which is no initialized mutex",
                       0);
    const auto state = static_cast<int32_t>(cpu_->read32(mutex + nt_.mutexSignalState));
    const uint32_t owner = readPointer(mutex + nt_.mutexOwnerThread);
    if (state <= 0 && owner != kThreadPage)
        throw CpuFault("KeWaitForSingleObject on the mutex at " + hexAddress(mutex) +
                           ", which another thread holds: it would wait for ever",
                       0);
    cpu_->write32(mutex + nt_.mutexSignalState, static_cast<uint32_t>(state - 1));
    writePointer(mutex + nt_.mutexOwnerThread, kThreadPage);
    returnFromStub(static_cast<uint32_t>(STATUS_SUCCESS));
}

// LONG KeReleaseMutex(PRKMUTEX Mutex, BOOLEAN Wait)
void EmulatedDriver::keReleaseMutex()
{
    const uint32_t mutex = arguments().pointer();
    const auto state = static_cast<int32_t>(cpu_->read32(mutex + nt_.mutexSignalState));
    if (cpu_->read8(mutex + nt_.mutexType) != nt_records::kMutantObject || state > 0 ||
        readPointer(mutex + nt_.mutexOwnerThread) != kThreadPage)
        throw CpuFault("KeReleaseMutex of the mutex at " + hexAddress(mutex) +
                           ", which the thread does not hold",
                       0);
    cpu_->write32(mutex + nt_.mutexSignalState, static_cast<uint32_t>(state + 1));
    if (state + 1 == 1)
        writePointer(mutex + nt_.mutexOwnerThread, 0);
    returnFromStub(static_cast<uint32_t>(state));
}

// void* __cdecl memcpy(void* Destination, const void* Source, size_t Length)
void EmulatedDriver::memcpyRoutine()
{
    Arguments in = arguments();
    const uint32_t destination = in.pointer();
    const uint32_t source = in.pointer();
    const uint64_t length = in.natural();
    if (length > kLargestBlock)
        throw CpuFault("memcpy of " + std::to_string(length) + " bytes", 0);
    std::vector<uint8_t> bytes(length);
    cpu_->read(source, bytes.data(), length);
    cpu_->write(destination, bytes.data(), length);
    returnFromStub(destination);
}

// void* __cdecl memset(void* Destination, int Value, size_t Length)
void EmulatedDriver::memsetRoutine()
{
    Arguments in = arguments();
    const uint32_t destination = in.pointer();
    const auto value = static_cast<uint8_t>(in.word());
    const uint64_t length = in.natural();
    if (length > kLargestBlock)
        throw CpuFault("memset of " + std::to_string(length) + " bytes", 0);
    std::vector<uint8_t> bytes(length, value);
    cpu_->write(destination, bytes.data(), length);
    returnFromStub(destination);
}

} // namespace emulated
