// SPDX-License-Identifier: MIT
// system_info_test.cpp
//
// IOCTL_ZEPHR_GET_SYSINFO and IOCTL_ZEPHR_GET_CPU_SPEED through the loaded
// driver image: the reports of the built-in notebook and of the firmware
// images word for word, the error texts, the buffer bounds and what follows
// the text, the own table mapping over requests and unload, and requests
// from many threads at once.
#include "support/driver_harness.h"

#include "malformed_firmware.h"
#include "sim/firmware/smbios.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <thread>

using sim::firmware::SmbiosLayout;
using sim::firmware::SmbiosStructure;
using zephr_test::Device;
using zephr_test::LoadedDriver;
using zephr_test::Reply;

namespace {

std::shared_ptr<sim::Machine> imageMachine(const std::string& image)
{
    auto machine = std::make_shared<sim::Machine>();
    machine->memory.loadImageFolder(zephr_test::fixtureImage(image));
    return machine;
}

std::shared_ptr<sim::Machine> tableMachine(const std::vector<SmbiosStructure>& structures,
                                           const SmbiosLayout& layout = {})
{
    auto machine = std::make_shared<sim::Machine>();
    sim::firmware::placeSmbios(machine->memory, sim::firmware::buildSmbiosTable(structures),
                               layout);
    return machine;
}

SmbiosStructure processor(uint16_t currentSpeed, const std::string& maker = "Intel")
{
    SmbiosStructure made;
    made.type = 4;
    made.formatted.assign(0x1A - 4, 0);
    made.formatted[0x07 - 4] = 1;
    made.formatted[0x16 - 4] = static_cast<uint8_t>(currentSpeed);
    made.formatted[0x17 - 4] = static_cast<uint8_t>(currentSpeed >> 8);
    made.strings = {maker};
    return made;
}

SmbiosStructure system(const std::string& product, const std::string& filler = "Maker")
{
    SmbiosStructure made;
    made.type = 1;
    made.formatted = {1, 2, 0, 3};
    made.strings = {filler, product, "TAG"};
    return made;
}

Reply sysinfo(const Device& device)
{
    return device.ioctl(IOCTL_ZEPHR_GET_SYSINFO, {}, ZEPHR_SYSINFO_LENGTH);
}

std::string cpuSpeed(const Device& device)
{
    return device.ioctl(IOCTL_ZEPHR_GET_CPU_SPEED, {}, ZEPHR_CPU_SPEED_LENGTH).text();
}

// Every byte of the reply after the text's terminating zero is zero.
void expectClearedAfterText(const Reply& reply)
{
    ASSERT_TRUE(reply.ok);
    const auto end = std::find(reply.output.begin(), reply.output.end(), 0);
    ASSERT_NE(end, reply.output.end());
    EXPECT_TRUE(std::all_of(end, reply.output.begin() + reply.bytes,
                            [](uint8_t byte) { return byte == 0; }));
}

TEST(SystemInfoReport, TheBuiltInNotebookReportsItsWholeTable)
{
    LoadedDriver driver;
    Device device;
    const Reply reply = sysinfo(device);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, ZEPHR_SYSINFO_LENGTH);
    EXPECT_EQ(reply.text(), "BIOS vendor: Nordwind Portable Systems\r\n"
                            "BIOS version: A05\r\n"
                            "BIOS date: 10/02/2005\r\n"
                            "System manufacturer: Nordwind Portable Systems\r\n"
                            "Product name: Inspiron 8600\r\n"
                            "Service tag: 4KD9R1J\r\n"
                            "Asset tag: NORD-IT-0042\r\n"
                            "CPU manufacturer: Intel\r\n"
                            "Current CPU speed: 1600 MHz\r\n"
                            "External clock: 400 MHz\r\n"
                            "Max. CPU speed supported by board: 1700 MHz\r\n"
                            "L1 cache size: 64 KB (internal)\r\n"
                            "L2 cache size: 1024 KB (internal)\r\n"
                            "Video card: NVIDIA GeForce FX Go5650\r\n"
                            "Sound card: SigmaTel STAC9750\r\n"
                            "Ethernet card: Broadcom BCM4401 10/100\r\n"
                            "SODIMM Socket 'DIMM_A': 256 MB (333 MHz)\r\n"
                            "SODIMM Socket 'DIMM_B': 256 MB\r\n"
                            "Battery manufacturer: Volta\r\n"
                            "Battery device name: NORD 4M0101\r\n"
                            "Battery location: Sys. Battery Bay\r\n"
                            "Battery manufacturing date: 4/1/2003 (SBDS)\r\n"
                            "Battery serial no: 6699 (SBDS)\r\n");
    expectClearedAfterText(reply);
    EXPECT_EQ(cpuSpeed(device), "1600");
}

TEST(SystemInfoReport, TheLatitudeImageKeepsTrailingBlanksAndReportsBothProcessors)
{
    LoadedDriver driver(imageMachine("q35-latitude-d810"));
    Device device;
    EXPECT_EQ(sysinfo(device).text(), "BIOS vendor: Notebook BIOS Co.\r\n"
                                      "BIOS version: A04\r\n"
                                      "BIOS date: 03/14/2005\r\n"
                                      "System manufacturer: Notebook Maker Inc.\r\n"
                                      "Product name: Latitude D810  \r\n"
                                      "Service tag: 5QH9X21\r\n"
                                      "Asset tag: --\r\n"
                                      "CPU manufacturer: GenuineCPU\r\n"
                                      "Current CPU speed: 2000 MHz\r\n"
                                      "External clock: 0 MHz\r\n"
                                      "Max. CPU speed supported by board: 2130 MHz\r\n"
                                      "CPU manufacturer: GenuineCPU\r\n"
                                      "Current CPU speed: 2000 MHz\r\n"
                                      "External clock: 0 MHz\r\n"
                                      "Max. CPU speed supported by board: 2130 MHz\r\n"
                                      "SODIMM Socket 'DIMM 0': 1024 MB\r\n");
}

TEST(SystemInfoErrors, AnImageWithOnlyA64BitEntryPointHasNoSmbios)
{
    LoadedDriver driver(imageMachine("i440fx-smbios3-only"));
    Device device;
    const Reply reply = sysinfo(device);
    EXPECT_EQ(reply.text(), "*** Error: No SMBIOS found ***");
    expectClearedAfterText(reply);
    EXPECT_EQ(cpuSpeed(device), "---");
}

TEST(SystemInfoErrors, AnUnmappableWindowIsReported)
{
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    machine->memory.markUnmappable(0xE0000, 0x20000);
    LoadedDriver driver(machine);
    Device device;
    EXPECT_EQ(sysinfo(device).text(), "*** Error: BIOS segment mapping failed ***");
    EXPECT_EQ(cpuSpeed(device), "---");
}

TEST(SystemInfoErrors, AMissingIntermediateAnchorIsReported)
{
    SmbiosLayout layout;
    layout.intermediateAnchor = false;
    LoadedDriver driver(tableMachine({system("Inspiron 8600")}, layout));
    Device device;
    EXPECT_EQ(sysinfo(device).text(), "*** Error: Pointer to DMI structures not found ***");
    EXPECT_EQ(cpuSpeed(device), "---");
}

TEST(SystemInfoErrors, AnUnmappableTableIsReportedAndNothingIsReleasedForIt)
{
    SmbiosLayout layout;
    layout.tableAddress = 0x100000;
    auto machine = tableMachine({system("Inspiron 8600")}, layout);
    machine->memory.markUnmappable(0x100000, 0x1000);
    {
        LoadedDriver driver(machine);
        Device device;
        EXPECT_EQ(sysinfo(device).text(), "*** Error: SMBIOS table mapping failed ***");
        EXPECT_EQ(cpuSpeed(device), "---");
    }
    EXPECT_EQ(machine->trace.linesStartingWith("unmap").size(), 1u) << "the window only";
    EXPECT_TRUE(machine->liveMappings().empty());
}

TEST(SystemInfoMapping, AnOwnTableMappingIsMadeOnceAndReleasedAtUnload)
{
    SmbiosLayout layout;
    layout.tableAddress = 0x100000;
    auto machine = tableMachine({system("Inspiron 8600"), processor(1400)}, layout);
    {
        LoadedDriver driver(machine);
        Device device;
        for (int i = 0; i < 3; ++i) {
            EXPECT_NE(sysinfo(device).text().find("Product name: Inspiron 8600\r\n"),
                      std::string::npos);
            EXPECT_EQ(cpuSpeed(device), "1400");
        }
        const auto mappings = machine->liveMappings();
        ASSERT_EQ(mappings.size(), 2u);
        EXPECT_EQ(mappings[1].physical, 0x100000u);
    }
    const auto maps = machine->trace.linesStartingWith("map 0x00100000");
    EXPECT_EQ(maps.size(), 1u);
    EXPECT_EQ(machine->trace.linesStartingWith("unmap").size(), 2u);
    EXPECT_TRUE(machine->liveMappings().empty());
}

TEST(SystemInfoMapping, RequestsFromManyThreadsShareOneMappingAndOneAnswer)
{
    SmbiosLayout layout;
    layout.tableAddress = 0x3FFE0000;
    auto machine = tableMachine({system("Inspiron 8600"), processor(1600)}, layout);
    LoadedDriver driver(machine);

    std::vector<std::string> reports(8);
    std::vector<std::thread> threads;
    for (size_t i = 0; i < reports.size(); ++i)
        threads.emplace_back([&reports, i] {
            Device device;
            for (int round = 0; round < 20; ++round) {
                const std::string text = round % 2 ? cpuSpeed(device) : sysinfo(device).text();
                if (round % 2 == 0 && reports[i].empty())
                    reports[i] = text;
                else if (round % 2 == 0 && reports[i] != text)
                    reports[i] = "changed: " + text;
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(std::set<std::string>(reports.begin(), reports.end()).size(), 1u);
    EXPECT_NE(reports[0].find("Product name: Inspiron 8600\r\n"), std::string::npos);
    EXPECT_EQ(machine->trace.linesStartingWith("map 0x3ffe0000").size(), 1u);
}

TEST(SystemInfoBounds, AReportThatOutgrowsItsBufferEndsWithTheMarkerAfterWholeLines)
{
    const std::string longName(200, 'N');
    std::vector<SmbiosStructure> structures;
    for (int i = 0; i < 100; ++i)
        structures.push_back(system(longName + std::to_string(i), longName));
    SmbiosLayout layout;
    layout.tableAddress = 0x100000;
    LoadedDriver driver(tableMachine(structures, layout));
    Device device;

    const Reply reply = device.ioctl(IOCTL_ZEPHR_GET_SYSINFO, {}, 20000);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, ZEPHR_SYSINFO_LENGTH);
    const std::string text = reply.text();
    const std::string marker = "*** Error: Report truncated ***";
    ASSERT_GT(text.size(), marker.size());
    EXPECT_LT(text.size(), ZEPHR_SYSINFO_LENGTH);
    EXPECT_GT(text.size(), ZEPHR_SYSINFO_LENGTH - 300)
        << "the report fills its buffer before it ends";
    EXPECT_EQ(text.substr(text.size() - marker.size()), marker);
    EXPECT_EQ(text.substr(text.size() - marker.size() - 2, 2), "\r\n");
    EXPECT_TRUE(std::all_of(reply.output.begin() + text.size(),
                            reply.output.begin() + ZEPHR_SYSINFO_LENGTH,
                            [](uint8_t byte) { return byte == 0; }));
    EXPECT_TRUE(std::all_of(reply.output.begin() + ZEPHR_SYSINFO_LENGTH, reply.output.end(),
                            [](uint8_t byte) { return byte == 0xEE; }))
        << "nothing past the transfer count reaches the caller";
}

TEST(CpuSpeed, TakesTheFirstProcessorAndClearsTheRestOfItsBytes)
{
    LoadedDriver driver(tableMachine({system("x"), processor(7), processor(2400)}));
    Device device;
    const Reply reply = device.ioctl(IOCTL_ZEPHR_GET_CPU_SPEED, {}, 16);
    ASSERT_TRUE(reply.ok);
    EXPECT_EQ(reply.bytes, ZEPHR_CPU_SPEED_LENGTH);
    EXPECT_EQ(reply.text(), "7");
    EXPECT_TRUE(std::all_of(reply.output.begin() + 1, reply.output.begin() + 8,
                            [](uint8_t byte) { return byte == 0; }));
}

TEST(CpuSpeed, IsThreeDashesWithoutAProcessorAndFiveDigitsAtMost)
{
    {
        LoadedDriver driver(tableMachine({system("x")}));
        Device device;
        EXPECT_EQ(cpuSpeed(device), "---");
    }
    LoadedDriver driver(tableMachine({processor(65535)}));
    Device device;
    EXPECT_EQ(cpuSpeed(device), "65535");
}

// The fuzz suite's malformed firmware, fewer draws, through the whole
// request path: every request succeeds with its full transfer count and a
// text that ends inside it, zeros after it, and unload releases every mapping.
TEST(SystemInfoBounds, MalformedFirmwareThroughTheDriverImage)
{
    smbios_test::MalformedFirmware firmware(1980);
    int loaded = 0;
    for (int round = 0; round < 60 && !testing::Test::HasFailure(); ++round) {
        auto machine = firmware.machine();
        if (!machine)
            continue;
        ++loaded;
        {
            LoadedDriver driver(machine);
            Device device;
            const Reply report = sysinfo(device);
            EXPECT_EQ(report.bytes, ZEPHR_SYSINFO_LENGTH) << "round " << round;
            expectClearedAfterText(report);
            const Reply speed = device.ioctl(IOCTL_ZEPHR_GET_CPU_SPEED, {}, ZEPHR_CPU_SPEED_LENGTH);
            EXPECT_EQ(speed.bytes, ZEPHR_CPU_SPEED_LENGTH);
            expectClearedAfterText(speed);
        }
        EXPECT_TRUE(machine->liveMappings().empty()) << "round " << round;
    }
    EXPECT_GT(loaded, 40);
}

} // namespace
