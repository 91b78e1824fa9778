// SPDX-License-Identifier: MIT
// fault_test.cpp
//
// Faults of the shipped zephr.sys images (i386 and x86-64) under the CPU
// emulator: its SMI exchange overwritten with code that misbehaves (one
// table of rows, each run on every image it has code for), each fault ending
// the request that
// met it with STATUS_DRIVER_INTERNAL_ERROR and a message naming what
// happened, the instruction and the nearest symbol of zephr.map; the process
// lives on, later requests are refused, the handle still closes. And images
// the loader refuses, with what it refuses them for: crafted headers and
// base relocations among them.
#include "platform/emulated-image/emulated_driver.h"
#include "support/driver_harness.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

using zephr_test::Device;

std::filesystem::path shippedImage()
{
    return std::filesystem::path(ZEPHR_WINDOWS_BUILD_DIR) / "bin" / "zephr.sys";
}

constexpr DWORD kErrorIoDevice = 1117; // STATUS_DRIVER_INTERNAL_ERROR to Win32

std::filesystem::path x64Image()
{
    return std::filesystem::path(ZEPHR_WINDOWS_X64_BUILD_DIR) / "bin" / "zephr.sys";
}

// Code for the i386 image, and for the x64 one where 64-bit code must say it
// otherwise (a memory offset of 8 bytes, an address relative to RIP); a row
// without code for an image does not run on it.
enum class Same { ForX64, NotForX64 };

struct FaultRow {
    const char* name;
    std::vector<uint8_t> code;    // written over SmmExchange in the i386 image
    const char* message;          // what the fault report says
    bool addressOfItself = false; // the i386 code ends in SmmExchange's own address
    Same x64 = Same::ForX64;      // the x64 image runs the same code, or code64
    std::vector<uint8_t> code64 = {};
};

struct FaultCase {
    FaultRow row;
    bool x64;
};

void PrintTo(const FaultCase& c, std::ostream* out)
{
    *out << c.row.name << (c.x64 ? " (x64)" : " (i386)");
}

class EmulatedFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(EmulatedFault, EndsTheRequestAndStopsTheDriverButNotTheProcess)
{
    const FaultRow& row = GetParam().row;
    const bool x64 = GetParam().x64;
    const auto path = x64 ? x64Image() : shippedImage();
    ASSERT_TRUE(std::filesystem::exists(path)) << path << " does not exist";
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    sim::installMachine(machine);
    emulated::LoadOptions options;
    options.instructionBudget = 200000;
    ASSERT_EQ(emulated::loadDriverImage(path, options), STATUS_SUCCESS);
    auto image = emulated::loadedImage();
    ASSERT_NE(image, nullptr);
    ASSERT_EQ(image->is64(), x64);
    const auto exchange = image->symbolAddress("SmmExchange");
    ASSERT_TRUE(exchange) << "zephr.map names no SmmExchange";
    std::vector<uint8_t> code = x64 && row.x64 == Same::NotForX64 ? row.code64 : row.code;
    if (row.addressOfItself && !x64)
        for (int shift = 0; shift < 32; shift += 8)
            code.push_back(uint8_t(*exchange >> shift));
    image->patch(*exchange, code);
    {
        Device device;
        ASSERT_TRUE(device.open());
        auto version = device.ioctl(IOCTL_ZEPHR_GET_VERSION, {}, 8);
        EXPECT_TRUE(version.ok) << "a request that does not reach the patch still works";

        auto reply = device.words(IOCTL_ZEPHR_GET_TEMP, 0);
        EXPECT_FALSE(reply.ok);
        EXPECT_EQ(reply.error, kErrorIoDevice);
        const auto fault = image->fault();
        ASSERT_TRUE(fault);
        EXPECT_NE(fault->find(row.message), std::string::npos) << *fault;
        EXPECT_NE(fault->find("SmmExchange"), std::string::npos) << *fault;
        EXPECT_NE(fault->find("IRP_MJ_DEVICE_CONTROL"), std::string::npos) << *fault;

        auto later = device.ioctl(IOCTL_ZEPHR_GET_VERSION, {}, 8);
        EXPECT_FALSE(later.ok) << "a stopped driver answered";
        EXPECT_EQ(later.error, kErrorIoDevice);
        EXPECT_FALSE(Device().open()) << "a stopped driver opened a handle";
    }
    nt::IoManager::instance().unloadDriver();
    nt::IoManager::instance().discardUnloadedDevices();
    EXPECT_FALSE(machine->trace.linesStartingWith("fault driver fault in zephr.sys").empty());
    sim::installMachine(nullptr);
}

// The x64 image's SmmExchange is code in the image as the i386 one's is;
// besides the rows both run, the x64 image meets what only 64-bit code can
// do: an address above 4 GiB (a kernel address of x64 Windows, where the
// emulated kernel maps nothing) and swapgs.
std::vector<FaultCase> faultCases()
{
    const std::vector<FaultRow> rows = {
        {"Runaway", {0xEB, 0xFE}, "past its budget of 200000 instructions"},
        {"Halt", {0xF4}, "privileged instruction (hlt)"},
        {"HaltAfterOtherInstructions",
         {0x31, 0xC0, 0x66, 0x90, 0x8D, 0x76, 0x00, 0xF4},
         "privileged instruction (hlt)"},
        {"InterruptsOff", {0xFA}, "privileged instruction (cli)"},
        {"ModelRegisterWrite", {0x0F, 0x30}, "privileged instruction (wrmsr)"},
        {"InvalidOpcode", {0x0F, 0x0B}, "invalid"},
        // mov eax, [0]: the offset is 8 bytes in 64-bit code.
        {"ReadOfPageZero",
         {0xA1, 0x00, 0x00, 0x00, 0x00},
         "read of unmapped memory",
         false,
         Same::NotForX64,
         {0xA1, 0, 0, 0, 0, 0, 0, 0, 0}},
        // mov [itself], esi: in 64-bit code relative to RIP (-6: its own start).
        {"WriteToItsOwnCode",
         {0x89, 0x35},
         "write to read-only memory",
         true,
         Same::NotForX64,
         {0x89, 0x35, 0xFA, 0xFF, 0xFF, 0xFF}},
        {"EndlessRecursion", {0xE8, 0xFB, 0xFF, 0xFF, 0xFF}, "stack overflow"},
        {"DivideByZero", {0x31, 0xC9, 0xF7, 0xF1}, "divide error"},
        // mov rax, 0xffff800000000000; mov eax, [rax]
        {"ReadAboveFourGiB",
         {},
         "read of unmapped memory at 0xffff800000000000",
         false,
         Same::NotForX64,
         {0x48, 0xB8, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF, 0x8B, 0x00}},
        {"SwapGs",
         {},
         "privileged instruction (a descriptor table or paging instruction (0f 01))",
         false,
         Same::NotForX64,
         {0x0F, 0x01, 0xF8}},
    };
    std::vector<FaultCase> cases;
    for (const FaultRow& row : rows) {
        if (!row.code.empty())
            cases.push_back({row, false});
        if (row.x64 == Same::ForX64 || !row.code64.empty())
            cases.push_back({row, true});
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Faults, EmulatedFault, ::testing::ValuesIn(faultCases()),
                         [](const auto& info) {
                             return std::string(info.param.row.name) +
                                    (info.param.x64 ? "_x64" : "_i386");
                         });

// The shipped image with one of its bytes strings replaced, in a file of
// the test's own.
std::filesystem::path imageWith(const std::string& from, const std::string& to)
{
    std::ifstream in(shippedImage(), std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const size_t at = bytes.find(from);
    if (at == std::string::npos)
        throw std::runtime_error(from + " is not in zephr.sys");
    bytes.replace(at, to.size(), to);
    auto path = std::filesystem::temp_directory_path() /
                ("zephr-emulated-" + std::to_string(::getpid()) + ".sys");
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
}

struct RefusedRow {
    const char* name;
    std::string from, to; // bytes of the image replaced
    const char* message;
};

void PrintTo(const RefusedRow& row, std::ostream* out)
{
    *out << row.name;
}

class RefusedImage : public ::testing::TestWithParam<RefusedRow> {};

TEST_P(RefusedImage, StopsTheLoadWithAMessageNamingWhy)
{
    ASSERT_TRUE(std::filesystem::exists(shippedImage())) << shippedImage() << " does not exist";
    const RefusedRow& row = GetParam();
    const auto path = imageWith(row.from, row.to);
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    sim::installMachine(machine);
    try {
        emulated::loadDriverImage(path);
        ADD_FAILURE() << "the image loaded";
    } catch (const emulated::ImageError& error) {
        EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
    }
    EXPECT_FALSE(nt::IoManager::instance().driverLoaded());
    EXPECT_TRUE(machine->trace.lines().empty()) << "the refused image ran";
    sim::installMachine(nullptr);
    std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(
    Images, RefusedImage,
    ::testing::Values(
        RefusedRow{"UnknownImport", std::string("KeReleaseMutex\0", 15),
                   std::string("KeReleaseMutey\0", 15),
                   "imports KeReleaseMutey from ntoskrnl.exe, which the emulated kernel does "
                   "not offer"},
        RefusedRow{"ImportFromAnotherModule", "ntoskrnl.exe", "ntoskrnl.dll",
                   "imports DbgPrint from ntoskrnl.dll"},
        RefusedRow{"NotAWindowsImage", "MZ", "ZM", "no MZ header"}),
    [](const auto& info) { return std::string(info.param.name); });

// Fields of the shipped image by the offsets its own headers give.
uint32_t field32(const std::string& image, size_t at)
{
    uint32_t value = 0;
    std::memcpy(&value, image.data() + at, 4);
    return value;
}

void setField32(std::string& image, size_t at, uint32_t value)
{
    std::memcpy(image.data() + at, &value, 4);
}

size_t optionalHeader(const std::string& image)
{
    return field32(image, 0x3C) + 24;
}

size_t sectionHeader(const std::string& image, unsigned index)
{
    const size_t optionalSize = uint16_t(field32(image, field32(image, 0x3C) + 20));
    return optionalHeader(image) + optionalSize + 40 * index;
}

// The file offset of the first base relocation block (the data directories
// lie 16 bytes further on in a PE32+ image).
size_t firstRelocationBlock(const std::string& image)
{
    const bool pe32Plus = uint16_t(field32(image, optionalHeader(image))) == 0x020B;
    const uint32_t rva = field32(image, optionalHeader(image) + (pe32Plus ? 112 : 96) + 8 * 5);
    for (unsigned i = 0;; ++i) {
        const size_t at = sectionHeader(image, i);
        const uint32_t address = field32(image, at + 12), size = field32(image, at + 16);
        if (rva >= address && rva < address + size)
            return field32(image, at + 20) + (rva - address);
    }
}

struct CraftedRow {
    const char* name;
    void (*craft)(std::string& image); // null: path is the image
    const char* message;
    const char* path = nullptr;
    bool x64 = false; // crafted from the x64 image
};

void PrintTo(const CraftedRow& row, std::ostream* out)
{
    *out << row.name;
}

class CraftedImage : public ::testing::TestWithParam<CraftedRow> {};

// Loaded where it must move, so its base relocations are applied.
TEST_P(CraftedImage, IsRefusedAtAMovedBaseWithAMessageNamingWhy)
{
    ASSERT_TRUE(std::filesystem::exists(shippedImage())) << shippedImage() << " does not exist";
    const CraftedRow& row = GetParam();
    std::filesystem::path path = row.path ? row.path : "";
    if (row.craft) {
        std::ifstream in(row.x64 ? x64Image() : shippedImage(), std::ios::binary);
        std::string image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        row.craft(image);
        path = std::filesystem::temp_directory_path() /
               ("zephr-crafted-" + std::to_string(::getpid()) + ".sys");
        std::ofstream(path, std::ios::binary) << image;
    }
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    sim::installMachine(machine);
    try {
        emulated::loadDriverImage(path, {.base = 0x00800000});
        ADD_FAILURE() << "the image loaded";
    } catch (const emulated::ImageError& error) {
        EXPECT_NE(std::string(error.what()).find(row.message), std::string::npos) << error.what();
        EXPECT_NE(std::string(error.what()).find(path.string()), std::string::npos) << error.what();
    }
    EXPECT_FALSE(nt::IoManager::instance().driverLoaded());
    sim::installMachine(nullptr);
    if (row.craft)
        std::filesystem::remove(path);
}

INSTANTIATE_TEST_SUITE_P(
    Images, CraftedImage,
    ::testing::Values(
        CraftedRow{"BlockPastTheDirectory",
                   [](std::string& image) {
                       setField32(image, firstRelocationBlock(image) + 4, 0x00100000);
                   },
                   "of 1048576 bytes runs past the relocation directory"},
        CraftedRow{"BlockSizeWrapping",
                   [](std::string& image) {
                       setField32(image, firstRelocationBlock(image) + 4, 0xFFFFFFF8);
                   },
                   "of 4294967288 bytes runs past the relocation directory"},
        CraftedRow{
            "BlockShorterThanItsHeader",
            [](std::string& image) { setField32(image, firstRelocationBlock(image) + 4, 4); },
            "of 4 bytes is no header and whole entries"},
        CraftedRow{
            "EntryOnAPageThatWraps",
            [](std::string& image) { setField32(image, firstRelocationBlock(image), 0xFFFFF000); },
            "for page 0xfffff000 patches outside the image"},
        CraftedRow{"EntryOfA64BitImage",
                   [](std::string& image) {
                       setField32(image, firstRelocationBlock(image) + 8, 0xA000A000);
                   },
                   "base relocation kind 10"},
        CraftedRow{"DirectoryPastTheImage",
                   [](std::string& image) {
                       setField32(image, optionalHeader(image) + 100 + 8 * 5, 0xFFFFFF00);
                   },
                   "of 4294967040 bytes runs past the image"},
        CraftedRow{"SectionOffItsPage",
                   [](std::string& image) {
                       const size_t data = sectionHeader(image, 1);
                       setField32(image, data + 12, field32(image, data + 12) + 0x10);
                   },
                   "does not begin on a page"},
        CraftedRow{"AnotherMachine",
                   [](std::string& image) {
                       const uint16_t arm64 = 0xAA64;
                       std::memcpy(image.data() + field32(image, 0x3C) + 4, &arm64, 2);
                   },
                   "an image for ARM64, not for i386 or x86-64"},
        CraftedRow{"I386MachineWithAPe32PlusHeader",
                   [](std::string& image) {
                       const uint16_t pe32Plus = 0x020B;
                       std::memcpy(image.data() + optionalHeader(image), &pe32Plus, 2);
                   },
                   "an i386 image whose optional header is not PE32 (magic "
                   "0x0000020b)"},
        CraftedRow{"X64EntryOfA32BitImage",
                   [](std::string& image) {
                       setField32(image, firstRelocationBlock(image) + 8, 0x30003000);
                   },
                   "base relocation kind 3 at 0x00005000 is not one of a 64-bit image", nullptr,
                   true},
        CraftedRow{
            "X64EntryOnAPageThatWraps",
            [](std::string& image) { setField32(image, firstRelocationBlock(image), 0xFFFFF000); },
            "for page 0xfffff000 patches outside the image", nullptr, true},
        CraftedRow{"EndlessDevice", nullptr, "not a regular file", "/dev/zero"},
        CraftedRow{"Folder", nullptr, "is a folder", "/tmp"}),
    [](const auto& info) { return std::string(info.param.name); });

// A mapping of 56 bytes at the start of its page, read by one instruction
// (mov eax, [address] of a width): the bytes past the 56 lie in the same
// mapped page, yet a read of them is a fault.
struct MappingRead {
    const char* name;
    std::vector<uint8_t> load; // the instruction without its address
    uint32_t offset;           // from the mapping's start
    bool faults;
};

void PrintTo(const MappingRead& row, std::ostream* out)
{
    *out << row.name;
}

class MappingBounds : public ::testing::TestWithParam<MappingRead> {};

TEST_P(MappingBounds, HoldToTheByteInsideThePage)
{
    constexpr uint32_t kCode = 0x00010000, kMapping = 0x00020000, kLength = 56;
    const MappingRead& row = GetParam();
    emulated::Cpu cpu(emulated::CpuDevices{});
    cpu.installStubs({});
    cpu.map(emulated::kStackTop - emulated::kStackSize, emulated::kStackSize,
            UC_PROT_READ | UC_PROT_WRITE);
    std::vector<uint8_t> code = row.load;
    for (int shift = 0; shift < 32; shift += 8)
        code.push_back(uint8_t((kMapping + row.offset) >> shift));
    code.push_back(0xC3); // ret
    code.resize(emulated::kPageSize, 0xCC);
    cpu.map(kCode, emulated::kPageSize, UC_PROT_ALL);
    cpu.write(kCode, code.data(), code.size());
    cpu.protect(kCode, emulated::kPageSize, UC_PROT_READ | UC_PROT_EXEC);
    cpu.setDriverCode(kCode, kCode + emulated::kPageSize, code.data());
    cpu.map(kMapping, emulated::kPageSize, UC_PROT_READ);
    cpu.limitReads(kMapping, emulated::kPageSize, kMapping, kLength);
    try {
        cpu.call(kCode, {}, 100);
        EXPECT_FALSE(row.faults) << "the read went through";
    } catch (const emulated::CpuFault& fault) {
        EXPECT_TRUE(row.faults) << fault.what();
        EXPECT_NE(std::string(fault.what()).find("a read past a mapping"), std::string::npos)
            << fault.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Reads, MappingBounds,
                         ::testing::Values(MappingRead{"FirstDword", {0x8B, 0x05}, 0, false},
                                           MappingRead{"LastDword", {0x8B, 0x05}, 52, false},
                                           MappingRead{"DwordAcrossTheEnd", {0x8B, 0x05}, 54, true},
                                           MappingRead{"DwordPastTheEnd", {0x8B, 0x05}, 56, true},
                                           MappingRead{"LastByte", {0x8A, 0x05}, 55, false},
                                           MappingRead{"BytePastTheEnd", {0x8A, 0x05}, 56, true},
                                           MappingRead{"EndOfThePage", {0x8A, 0x05}, 4095, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// The same mapping read by a kernel routine on the driver's behalf (memcpy,
// a text for DbgPrint): held to the same bytes.
struct RoutineRead {
    const char* name;
    uint32_t offset, length; // length 0: a text read from offset
    bool faults;
};

void PrintTo(const RoutineRead& row, std::ostream* out)
{
    *out << row.name;
}

class RoutineMappingBounds : public ::testing::TestWithParam<RoutineRead> {};

TEST_P(RoutineMappingBounds, HoldToTheByteInsideThePage)
{
    constexpr uint32_t kMapping = 0x00020000, kLength = 56;
    const RoutineRead& row = GetParam();
    emulated::Cpu cpu(emulated::CpuDevices{});
    cpu.map(kMapping, emulated::kPageSize, UC_PROT_ALL);
    std::vector<uint8_t> page(emulated::kPageSize, 'x');
    page[30] = '\0';
    cpu.write(kMapping, page.data(), page.size());
    cpu.limitReads(kMapping, emulated::kPageSize, kMapping, kLength);
    try {
        if (row.length == 0) {
            cpu.readText(kMapping + row.offset, 4096);
        } else {
            std::vector<uint8_t> bytes(row.length);
            cpu.read(kMapping + row.offset, bytes.data(), row.length);
        }
        EXPECT_FALSE(row.faults) << "the read went through";
    } catch (const emulated::CpuFault& fault) {
        EXPECT_TRUE(row.faults) << fault.what();
        EXPECT_NE(std::string(fault.what()).find("a read past a mapping"), std::string::npos)
            << fault.what();
    }
}

INSTANTIATE_TEST_SUITE_P(Reads, RoutineMappingBounds,
                         ::testing::Values(RoutineRead{"Whole", 0, 56, false},
                                           RoutineRead{"OneByteTooMany", 0, 57, true},
                                           RoutineRead{"FromInsideAcrossTheEnd", 50, 8, true},
                                           RoutineRead{"PastTheEnd", 60, 4, true},
                                           RoutineRead{"TextEndingInside", 20, 0, false},
                                           RoutineRead{"TextRunningPastTheEnd", 40, 0, true}),
                         [](const auto& info) { return std::string(info.param.name); });

// A map file as GNU ld writes it, with a static routine before the first
// global one of its object file.
TEST(MapSymbols, NameTheObjectFileForAStaticRoutine)
{
    const auto path = std::filesystem::temp_directory_path() /
                      ("zephr-symbols-" + std::to_string(::getpid()) + ".map");
    std::ofstream(path)
        << " .text          0x00011980      0x320 driver/CMakeFiles/zephr.dir/mapping.cpp.obj\n"
           "                0x00011980                InitMappings(void*)\n"
           " .text          0x00011ca0      0x4d0 driver/CMakeFiles/zephr.dir/dispatch.cpp.obj\n"
           "                0x00011ec0                DispatchCreateClose(_DEVICE_OBJECT*, "
           "_IRP*)@8\n"
           " .text          0x00012170      0x2b0 "
           "driver/CMakeFiles/zephr.dir/driver_entry.cpp.obj\n"
           "                0x00012170                UnloadDriver(_DRIVER_OBJECT*)@4\n";
    const emulated::MapSymbols symbols(path);
    std::filesystem::remove(path);
    const std::pair<uint32_t, const char*> rows[] = {
        {0x00011990, "InitMappings(void*)+0x10"},
        {0x00011cc4, "dispatch.cpp+0x24"},
        {0x00011ec0, "DispatchCreateClose(_DEVICE_OBJECT*, _IRP*)"},
        {0x00012174, "UnloadDriver(_DRIVER_OBJECT*)+0x4"},
        {0x00011000, ""},
    };
    for (const auto& [address, name] : rows)
        EXPECT_EQ(symbols.nearest(address), name) << std::hex << address;
}

} // namespace
