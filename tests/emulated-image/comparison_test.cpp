// SPDX-License-Identifier: MIT
// comparison_test.cpp
//
// The shipped zephr.sys images against the host-build driver: each case runs
// the same requests on the same simulated notebook through build/lib/zephr.so
// and through each image under the CPU emulator (build-windows/bin/zephr.sys,
// i386, and build-windows-x64/bin/zephr.sys, x86-64; each at its own base
// and moved), and requires the same load status, the same answers (status,
// Information, output bytes), the same plug-in texts and the same trace:
// every hardware access, mapping and debug message from load to unload, in
// order. Needs both Windows builds; without their zephr.sys the suite fails.
#include "platform/emulated-image/emulated_driver.h"
#include "platform/host-win32/win32_host.h"
#include "sim/superio_chip.h"
#include "support/driver_harness.h"
#include "support/simulated_machines.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <thread>

namespace {

using zephr_test::Device;
using zephr_test::Reply;

std::filesystem::path shippedImage()
{
    return std::filesystem::path(ZEPHR_WINDOWS_BUILD_DIR) / "bin" / "zephr.sys";
}

std::filesystem::path x64Image()
{
    return std::filesystem::path(ZEPHR_WINDOWS_X64_BUILD_DIR) / "bin" / "zephr.sys";
}

struct Request {
    DWORD code;
    std::vector<uint8_t> input;
    DWORD outputLength;
};

struct Case {
    std::string name;
    std::function<std::shared_ptr<sim::Machine>()> machine;
    std::vector<Request> requests;
    nt::Faults faults{};
    bool readers = false; // also the plug-in's eight readers
    // Trace lines (by their beginning) the case must reach, so that a
    // comparison of two empty roads does not pass.
    std::vector<std::string> mustReach;
};

// Names a case in test output.
void PrintTo(const Case& c, std::ostream* out)
{
    *out << c.name;
}

struct Outcome {
    NTSTATUS loadStatus = 0;
    std::vector<Reply> replies;
    std::vector<std::string> readerTexts;
    std::vector<std::string> trace;
    std::optional<std::string> fault;
};

constexpr uint32_t kMovedBase = 0x00800000;

emulated::LoadOptions movedImage()
{
    emulated::LoadOptions options;
    options.base = kMovedBase;
    return options;
}

// A road to the notebook: the host-build driver (no image), or an image at
// its own base or moved (its base relocations applied).
struct Road {
    const char* name;
    std::filesystem::path (*image)();
    emulated::LoadOptions options;
};

const Road kHostBuild{"the host-build driver", nullptr, {}};
const Road kImageRoads[] = {
    {"the i386 zephr.sys at its image base", shippedImage, {}},
    {"the i386 zephr.sys moved to 0x00800000", shippedImage, movedImage()},
    {"the x64 zephr.sys at its image base", x64Image, {}},
    {"the x64 zephr.sys moved to 0x00800000", x64Image, movedImage()},
};

// The host NT layer's routines failing with a status.
nt::Faults failing(NTSTATUS nt::Faults::*routine, NTSTATUS status)
{
    nt::Faults faults;
    faults.*routine = status;
    return faults;
}

std::vector<uint8_t> words(uint16_t word0, uint16_t word1 = 0)
{
    return {uint8_t(word0), uint8_t(word0 >> 8), uint8_t(word1), uint8_t(word1 >> 8)};
}

using test_machines::builtin;
using test_machines::withSmm;

std::function<std::shared_ptr<sim::Machine>()>
withChip(std::function<void(sim::SuperIoSettings&)> change)
{
    return [=] {
        auto machine = builtin();
        if (change) {
            sim::SuperIoSettings settings;
            change(settings);
            machine->attach(std::make_shared<sim::SuperIoChip>(settings));
        }
        return machine;
    };
}

std::function<std::shared_ptr<sim::Machine>()> fixture(const std::string& name)
{
    return [=] {
        auto machine = std::make_shared<sim::Machine>();
        machine->name = name;
        machine->memory.loadImageFolder(zephr_test::fixtureImage(name));
        return machine;
    };
}

using TempReader = const char* (*)(void*, const char*, const char*, const char*);
using FanReader = const char* (*)(void*, const char*);

// The plug-in loaded on the driver now serving, each reader asked once.
std::vector<std::string> readPlugin()
{
    std::vector<std::string> texts;
    HMODULE module = LoadLibraryA(GAUGELET_LIBRARY);
    if (module == nullptr)
        return {"cannot load " GAUGELET_LIBRARY};
    auto find = [&](const char* name) {
        return reinterpret_cast<void*>(GetProcAddress(module, name));
    };
    auto startup = reinterpret_cast<void* (*)(int, int)>(find("dllstartup"));
    auto shutdown = reinterpret_cast<int (*)(void*)>(find("dllshutdown"));
    for (const char* reader : {"GetCPUTemp", "GetGPUTemp", "GetDIMMTemp", "GetOTHERTemp"}) {
        void* instance = startup(0, 0);
        texts.push_back(reinterpret_cast<TempReader>(find(reader))(instance, "1", "f", "y"));
        shutdown(instance);
    }
    for (const char* reader : {"GetFAN1RPM", "GetFAN2RPM", "GetFAN1Speed", "GetFAN2Speed"}) {
        void* instance = startup(0, 0);
        texts.push_back(reinterpret_cast<FanReader>(find(reader))(instance, "1"));
        shutdown(instance);
    }
    FreeLibrary(module);
    return texts;
}

Outcome run(const Road& road, const Case& c)
{
    Outcome outcome;
    auto machine = c.machine();
    sim::installMachine(machine);
    auto& io = nt::IoManager::instance();
    io.setFaults(c.faults);
    outcome.loadStatus = road.image == nullptr
                             ? io.loadDriver(nt::IoManager::defaultDriverPath())
                             : emulated::loadDriverImage(road.image(), road.options);
    if (NT_SUCCESS(outcome.loadStatus)) {
        {
            Device device;
            for (const Request& request : c.requests)
                outcome.replies.push_back(
                    device.ioctl(request.code, request.input, request.outputLength));
        }
        if (c.readers)
            outcome.readerTexts = readPlugin();
        if (road.image != nullptr)
            if (auto image = emulated::loadedImage())
                outcome.fault = image->fault();
        io.unloadDriver();
    }
    io.setFaults({});
    io.discardUnloadedDevices();
    outcome.trace = machine->trace.lines();
    sim::installMachine(nullptr);
    return outcome;
}

std::string describe(const Reply& reply)
{
    std::string text = reply.ok ? "ok" : "error " + std::to_string(reply.error);
    text += ", " + std::to_string(reply.bytes) + " bytes:";
    char hex[4];
    for (size_t i = 0; i < std::min<size_t>(reply.output.size(), 48); ++i) {
        std::snprintf(hex, sizeof hex, " %02x", reply.output[i]);
        text += hex;
    }
    return text;
}

// Each code at, below and above its lengths, each bounded word at its
// highest value and one above, and codes outside the table.
std::vector<Request> everyCodeAtItsBoundaries()
{
    std::vector<Request> requests;
    for (const ZEPHR_CONTROL_CODE_ROW& row : ZephrControlCodes) {
        const DWORD code = row.Code, input = row.MinInputLength, output = row.MinOutputLength;
        if (input > 0)
            requests.push_back({code, std::vector<uint8_t>(input - 1, 0), output});
        requests.push_back({code, std::vector<uint8_t>(input, 0), output - 1});
        requests.push_back({code, std::vector<uint8_t>(input, 0), output});
        requests.push_back({code, std::vector<uint8_t>(input, 0), output + 100});
        requests.push_back({code, std::vector<uint8_t>(input + 8, 0x01), output});
        const ZEPHR_FIELD fields[] = {row.Word0, row.Word1};
        for (int index = 0; index < 2; ++index) {
            if (fields[index] == ZephrFieldNone)
                continue;
            const uint16_t highest = ZephrFieldBound[fields[index]];
            for (uint16_t value : {highest, uint16_t(highest + 1), uint16_t(0xFFFF)}) {
                std::vector<uint8_t> bounded = words(0);
                bounded[2 * index] = uint8_t(value);
                bounded[2 * index + 1] = uint8_t(value >> 8);
                requests.push_back({code, bounded, output});
            }
        }
    }
    for (DWORD invalid : {0x9C40A40Cu, 0x9C40A3FCu, 0x9C40A450u, 0x9C40A420u, 0x9C40A43Cu,
                          0x9C40A441u, 0x00220000u})
        requests.push_back({invalid, words(0), 4});
    return requests;
}

std::vector<Request> smmRequests()
{
    return {{IOCTL_ZEPHR_GET_TEMP, words(0), 4},         {IOCTL_ZEPHR_GET_TEMP, words(255), 4},
            {IOCTL_ZEPHR_GET_FAN_STATE, words(0), 4},    {IOCTL_ZEPHR_GET_FAN_STATE, words(1), 4},
            {IOCTL_ZEPHR_GET_FAN_SPEED, words(0), 4},    {IOCTL_ZEPHR_GET_FAN_SPEED, words(1), 4},
            {IOCTL_ZEPHR_SET_FAN_STATE, words(1, 2), 4}, {IOCTL_ZEPHR_GET_FAN_STATE, words(1), 4},
            {IOCTL_ZEPHR_SET_FAN_STATE, words(0, 0), 4}};
}

std::vector<Request> superIoRequests()
{
    return {{IOCTL_ZEPHR_GET_PWM, words(0), 4},     {IOCTL_ZEPHR_DETECT_SUPERIO, {}, 4},
            {IOCTL_ZEPHR_SET_PWM, words(0, 63), 4}, {IOCTL_ZEPHR_GET_PWM, words(0), 4},
            {IOCTL_ZEPHR_SET_PWM, words(1, 0), 4},  {IOCTL_ZEPHR_GET_PWM, words(1), 4},
            {IOCTL_ZEPHR_SET_PWM, words(1, 17), 4}, {IOCTL_ZEPHR_GET_PWM, words(1), 4},
            {IOCTL_ZEPHR_DETECT_SUPERIO, {}, 4}};
}

std::vector<Request> firmwareRequests()
{
    return {{IOCTL_ZEPHR_GET_SYSINFO, {}, ZEPHR_SYSINFO_LENGTH},
            {IOCTL_ZEPHR_GET_CPU_SPEED, {}, ZEPHR_CPU_SPEED_LENGTH},
            {IOCTL_ZEPHR_GET_ACPI_REPORT, {}, ZEPHR_ACPI_REPORT_LENGTH},
            {IOCTL_ZEPHR_GET_ACPI_REPORT, {}, ZEPHR_ACPI_REPORT_LENGTH},
            {IOCTL_ZEPHR_GET_SYSINFO, {}, ZEPHR_SYSINFO_LENGTH}};
}

std::vector<Case> cases()
{
    const auto normal = withSmm(sim::SmmBehaviour::Normal);
    return {
        {"EveryCodeAtItsBoundaries",
         builtin,
         everyCodeAtItsBoundaries(),
         {},
         false,
         {"smi", "out 0x002e", "map"}},
        {"SmmNormal", normal, smmRequests(), {}, false, {"smi ax=10a3", "out 0x0084"}},
        {"SmmIgnore", withSmm(sim::SmmBehaviour::Ignore), smmRequests(), {}, false, {"smi"}},
        {"SmmEchoAx", withSmm(sim::SmmBehaviour::EchoAx), smmRequests(), {}, false, {"smi"}},
        {"SmmHandlerOfItsOwn",
         withSmm(sim::SmmBehaviour::Normal,
                 [](sim::SmmRegisters& r) {
                     // Every register changed, AX from what BX brought in.
                     r.ax = static_cast<uint16_t>(r.bx == 1 ? 0xFFFF : r.bx * 3 + 7);
                     r.bx = static_cast<uint16_t>(~r.bx);
                     r.cx = 0x1234;
                     r.dx = 0xBEEF;
                 }),
         smmRequests(),
         {},
         false,
         {"smi ax=10a3 bx=00ff"}},
        {"SmmHandlerChangesEsiAndEdi",
         withSmm(sim::SmmBehaviour::Normal,
                 [](sim::SmmRegisters& r) {
                     // The driver keeps the block's address across the SMI
                     // on its stack, not in ESI, which the BIOS may change.
                     r.ax = 40;
                     r.esi = 0xDEAD0000u | r.bx;
                     r.edi = 0xFFFFFFFFu;
                 }),
         smmRequests(),
         {},
         false,
         {"smi ax=10a3 bx=00ff"}},
        {"SmmHandlerChangesOnlyCx",
         withSmm(sim::SmmBehaviour::Normal,
                 // An answer: AX as sent, CX changed. The driver must store
                 // CX back to see that the BIOS took the call.
                 [](sim::SmmRegisters& r) { r.cx ^= 0x0100; }),
         smmRequests(),
         {},
         false,
         {"smi ax=10a3 bx=0000 cx=0000 dx=0000 -> ax=10a3 bx=0000 cx=0100"}},
        {"SmmHandlerChangesOnlyBx",
         withSmm(sim::SmmBehaviour::Normal, [](sim::SmmRegisters& r) { r.bx ^= 0x8000; }),
         smmRequests(),
         {},
         false,
         {"smi ax=10a3 bx=0000 cx=0000 dx=0000 -> ax=10a3 bx=8000"}},
        {"SuperIoAt2E",
         withChip([](sim::SuperIoSettings&) {}),
         superIoRequests(),
         {},
         false,
         {"out 0x0680"}},
        {"SuperIoAt4E",
         withChip([](sim::SuperIoSettings& s) { s.configPort = 0x4E; }),
         superIoRequests(),
         {},
         false,
         {"out 0x004e 0x61"}},
        {"SuperIoMissing", withChip({}), superIoRequests(), {}, false, {"out 0x004e 0xaa"}},
        {"SuperIoStuckRegister",
         withChip([](sim::SuperIoSettings& s) {
             s.stuckRegisters = {{0x93, 0x7F}};
         }),
         superIoRequests(),
         {},
         false,
         {"out 0x0681"}},
        {"SuperIoRevisionTooHigh",
         withChip([](sim::SuperIoSettings& s) { s.revision = 0x80; }),
         superIoRequests(),
         {},
         false,
         {"out 0x004e"}},
        {"SuperIoEchoingPort",
         withChip([](sim::SuperIoSettings& s) { s.echo = true; }),
         superIoRequests(),
         {},
         false,
         {"in 0x002e -> 0xaa"}},
        {"FirmwareInspiron8600",
         fixture("i440fx-inspiron-8600"),
         firmwareRequests(),
         {},
         false,
         {"map 0x03fe"}},
        {"FirmwareLatitudeD810",
         fixture("q35-latitude-d810"),
         firmwareRequests(),
         {},
         false,
         {"map"}},
        {"FirmwareSmbios3Only",
         fixture("i440fx-smbios3-only"),
         firmwareRequests(),
         {},
         false,
         {"map"}},
        {"LoadFailsAtTheDevice",
         builtin,
         {},
         failing(&nt::Faults::createDevice, STATUS_INSUFFICIENT_RESOURCES),
         false,
         {"dbg Zephr: Can't create device object !"}},
        {"LoadFailsAtTheLink",
         builtin,
         {},
         failing(&nt::Faults::createLink, STATUS_OBJECT_NAME_COLLISION),
         false,
         {"dbg Zephr: Can't create link"}},
        {"UnloadKeepsTheDeviceWhenTheLinkStays",
         builtin,
         {{IOCTL_ZEPHR_GET_VERSION, {}, 8}},
         failing(&nt::Faults::deleteLink, STATUS_ACCESS_DENIED),
         false,
         {"dbg Zephr: Can't remove link"}},
        {"PluginReaders", builtin, {}, {}, true, {"smi ax=02a3", "dbg Zephr: Open / Close"}},
    };
}

class ShippedImage : public ::testing::TestWithParam<Case> {
  protected:
    void SetUp() override
    {
        win32::Clock::useSimulated(133000000000000000ull);
    }
    void TearDown() override
    {
        win32::Clock::useReal();
    }
};

void compare(const Case& c, const Outcome& host, const Outcome& shipped);

TEST_P(ShippedImage, AnswersAndTracesAsTheHostBuildDriver)
{
    for (const auto& image : {shippedImage(), x64Image()})
        ASSERT_TRUE(std::filesystem::exists(image))
            << image << " does not exist: run the Windows builds first (./scripts/build)";
    const Case& c = GetParam();
    const Outcome host = run(kHostBuild, c);
    for (const Road& road : kImageRoads) {
        SCOPED_TRACE(road.name);
        compare(c, host, run(road, c));
    }
}

void compare(const Case& c, const Outcome& host, const Outcome& shipped)
{
    EXPECT_FALSE(shipped.fault) << *shipped.fault;
    EXPECT_EQ(shipped.loadStatus, host.loadStatus);
    ASSERT_EQ(shipped.replies.size(), host.replies.size());
    for (size_t i = 0; i < host.replies.size(); ++i) {
        const Reply& a = host.replies[i];
        const Reply& b = shipped.replies[i];
        EXPECT_TRUE(a.ok == b.ok && a.error == b.error && a.bytes == b.bytes &&
                    a.output == b.output)
            << "request " << i << " (code " << std::hex << c.requests[i].code << std::dec << ", "
            << c.requests[i].input.size() << " in, " << c.requests[i].outputLength
            << " out)\n  host build: " << describe(a) << "\n  zephr.sys:  " << describe(b);
    }
    EXPECT_EQ(shipped.readerTexts, host.readerTexts);
    EXPECT_EQ(shipped.trace, host.trace);
    for (const std::string& line : c.mustReach)
        EXPECT_TRUE(std::any_of(shipped.trace.begin(), shipped.trace.end(),
                                [&](const std::string& l) { return l.starts_with(line); }))
            << "the case never reached a \"" << line << "\" line";
}

// Requests from several threads at once, on each road of the images: the one
// emulated processor serves them one at a time, each whole, with the answers
// they have alone.
TEST(ShippedImageThreads, RequestsAtOnceGiveTheAnswersTheyGiveAlone)
{
    for (const Road& road : kImageRoads) {
        SCOPED_TRACE(road.name);
        ASSERT_TRUE(std::filesystem::exists(road.image())) << road.image() << " does not exist";
        auto machine = withChip([](sim::SuperIoSettings&) {})();
        machine->trace.setKeep(false);
        sim::installMachine(machine);
        ASSERT_EQ(emulated::loadDriverImage(road.image(), road.options), STATUS_SUCCESS);
        const std::vector<Request> mix = {{IOCTL_ZEPHR_GET_TEMP, words(0), 4},
                                          {IOCTL_ZEPHR_SET_PWM, words(1, 21), 4},
                                          {IOCTL_ZEPHR_GET_PWM, words(1), 4},
                                          {IOCTL_ZEPHR_GET_FAN_SPEED, words(1), 4},
                                          {IOCTL_ZEPHR_GET_CPU_SPEED, {}, ZEPHR_CPU_SPEED_LENGTH}};
        std::vector<Reply> alone;
        {
            Device device;
            for (const Request& request : mix)
                alone.push_back(device.ioctl(request.code, request.input, request.outputLength));
        }
        std::vector<std::thread> threads;
        std::vector<int> mismatches(4, 0);
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] {
                Device device;
                for (int round = 0; round < 50; ++round)
                    for (size_t i = 0; i < mix.size(); ++i) {
                        Reply reply = device.ioctl(mix[i].code, mix[i].input, mix[i].outputLength);
                        if (!(reply.ok == alone[i].ok && reply.output == alone[i].output))
                            ++mismatches[t];
                    }
            });
        for (auto& thread : threads)
            thread.join();
        EXPECT_EQ(mismatches, std::vector<int>(4, 0));
        auto image = emulated::loadedImage();
        ASSERT_NE(image, nullptr);
        EXPECT_FALSE(image->fault()) << *image->fault();
        nt::IoManager::instance().unloadDriver();
        sim::installMachine(nullptr);
    }
}

// The exchange loads AX to DX with 16-bit moves, so the BIOS sees the upper
// halves of EAX to EDX as the driver's code left them (at the SMI EAX holds
// the address of the block on the kernel stack), not cleared. The host build
// has no wider registers: this holds the roads of the images only.
TEST(ShippedImageRegisters, TheBiosSeesTheUpperHalvesTheDriverLeft)
{
    for (const Road& road : kImageRoads) {
        SCOPED_TRACE(road.name);
        ASSERT_TRUE(std::filesystem::exists(road.image())) << road.image() << " does not exist";
        std::vector<uint16_t> seen;
        auto machine = withSmm(sim::SmmBehaviour::Normal, [&seen](sim::SmmRegisters& r) {
            seen = {r.eaxHigh, r.ebxHigh, r.ecxHigh, r.edxHigh};
            r.ax = 40;
        })();
        sim::installMachine(machine);
        ASSERT_EQ(emulated::loadDriverImage(road.image(), road.options), STATUS_SUCCESS);
        {
            Device device;
            EXPECT_TRUE(device.words(IOCTL_ZEPHR_GET_TEMP, 0).ok);
        }
        nt::IoManager::instance().unloadDriver();
        sim::installMachine(nullptr);
        ASSERT_EQ(seen.size(), 4u) << "no SMI reached the BIOS";
        EXPECT_NE(seen, std::vector<uint16_t>(4, 0)) << "the upper halves came to the BIOS cleared";
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, ShippedImage, ::testing::ValuesIn(cases()),
                         [](const auto& info) { return info.param.name; });

} // namespace
