// SPDX-License-Identifier: MIT
// fault_test.cpp
//
// Faults of the shipped zephr.sys under the CPU emulator: its SMI exchange
// overwritten with code that misbehaves, each fault ending the request that
// met it with STATUS_DRIVER_INTERNAL_ERROR and a message naming what
// happened, the instruction and the nearest symbol of zephr.map; the process
// lives on, later requests are refused, the handle still closes. And images
// the loader refuses, with what it refuses them for.
#include "platform/emulated-image/emulated_driver.h"
#include "support/driver_harness.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <fstream>
#include <iterator>

namespace {

using zephr_test::Device;

std::filesystem::path shippedImage()
{
    return std::filesystem::path(ZEPHR_WINDOWS_BUILD_DIR) / "bin" / "zephr.sys";
}

constexpr DWORD kErrorIoDevice = 1117; // STATUS_DRIVER_INTERNAL_ERROR to Win32

struct FaultRow {
    const char* name;
    std::vector<uint8_t> code;    // written over SmmExchange
    const char* message;          // what the fault report says
    bool addressOfItself = false; // the code ends in SmmExchange's own address
};

void PrintTo(const FaultRow& row, std::ostream* out)
{
    *out << row.name;
}

class EmulatedFault : public ::testing::TestWithParam<FaultRow> {};

TEST_P(EmulatedFault, EndsTheRequestAndStopsTheDriverButNotTheProcess)
{
    ASSERT_TRUE(std::filesystem::exists(shippedImage())) << shippedImage() << " does not exist";
    const FaultRow& row = GetParam();
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    sim::installMachine(machine);
    emulated::LoadOptions options;
    options.instructionBudget = 200000;
    ASSERT_EQ(emulated::loadDriverImage(shippedImage(), options), STATUS_SUCCESS);
    auto image = emulated::loadedImage();
    ASSERT_NE(image, nullptr);
    const auto exchange = image->symbolAddress("SmmExchange");
    ASSERT_TRUE(exchange) << "zephr.map names no SmmExchange";
    std::vector<uint8_t> code = row.code;
    if (row.addressOfItself)
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

INSTANTIATE_TEST_SUITE_P(
    Faults, EmulatedFault,
    ::testing::Values(
        FaultRow{"Runaway", {0xEB, 0xFE}, "past its budget of 200000 instructions"},
        FaultRow{"Halt", {0xF4}, "privileged instruction (hlt)"},
        FaultRow{"InterruptsOff", {0xFA}, "privileged instruction (cli)"},
        FaultRow{"ModelRegisterWrite", {0x0F, 0x30}, "privileged instruction (wrmsr)"},
        FaultRow{"InvalidOpcode", {0x0F, 0x0B}, "invalid"},
        FaultRow{"ReadOfPageZero", {0xA1, 0x00, 0x00, 0x00, 0x00}, "read of unmapped memory"},
        FaultRow{"WriteToItsOwnCode", {0x89, 0x35}, "write to read-only memory", true},
        FaultRow{"EndlessRecursion", {0xE8, 0xFB, 0xFF, 0xFF, 0xFF}, "stack overflow"},
        FaultRow{"DivideByZero", {0x31, 0xC9, 0xF7, 0xF1}, "divide error"}),
    [](const auto& info) { return std::string(info.param.name); });

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

} // namespace
