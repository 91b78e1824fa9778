// SPDX-License-Identifier: MIT
// load_unload_test.cpp
//
// The driver's load and unload routines on the host NT layer: the BIOS
// segment window, the device and its link, their failure paths, the debug
// messages in order, and what a request that reaches the device after an
// unload that could not remove the link gets.
#include "support/driver_harness.h"

#include <gtest/gtest.h>

#include <algorithm>

using zephr_test::Device;
using zephr_test::LoadedDriver;

namespace {

std::vector<std::string> debugLines(sim::Machine& machine)
{
    return machine.trace.linesStartingWith("dbg");
}

// Index of the first trace line that begins with a prefix.
long indexOf(const std::vector<std::string>& lines, const std::string& prefix)
{
    auto it = std::find_if(lines.begin(), lines.end(),
                           [&](const std::string& l) { return l.rfind(prefix, 0) == 0; });
    return it == lines.end() ? -1 : long(it - lines.begin());
}

TEST(LoadUnload, ALoadAndUnloadPrintTheirMessagesInOrderAndReleaseEverything)
{
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    {
        LoadedDriver driver(machine);
        ASSERT_EQ(driver.loadStatus(), STATUS_SUCCESS);
        ASSERT_EQ(machine->liveMappings().size(), 1u);
        EXPECT_EQ(machine->liveMappings()[0].physical, 0xE0000u);
        EXPECT_EQ(machine->liveMappings()[0].length, 0x20000u);
        EXPECT_TRUE(nt::IoManager::instance().nameExists(L"\\Device\\Zephr"));
        EXPECT_TRUE(nt::IoManager::instance().nameExists(L"\\DosDevices\\ZephrDev"));
    }
    EXPECT_TRUE(machine->liveMappings().empty());
    EXPECT_FALSE(nt::IoManager::instance().nameExists(L"\\Device\\Zephr"));
    EXPECT_FALSE(nt::IoManager::instance().nameExists(L"\\DosDevices\\ZephrDev"));
    EXPECT_EQ(debugLines(*machine),
              (std::vector<std::string>{"dbg Zephr: DriverEntry successful",
                                        "dbg Zephr: Entering unload function",
                                        "dbg Zephr: Link removed", "dbg Zephr: End of unload"}));

    // The window goes before the link and the device.
    auto lines = machine->trace.lines();
    EXPECT_LT(indexOf(lines, "unmap"), indexOf(lines, "dbg Zephr: Link removed"));
    EXPECT_GT(indexOf(lines, "unmap"), indexOf(lines, "dbg Zephr: Entering unload function"));
}

TEST(LoadUnload, AFailedDeviceCreationReleasesTheWindowAndGivesItsStatus)
{
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    nt::Faults faults;
    faults.createDevice = STATUS_INSUFFICIENT_RESOURCES;
    LoadedDriver driver(machine, faults);
    EXPECT_EQ(driver.loadStatus(), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_TRUE(machine->liveMappings().empty());
    EXPECT_EQ(debugLines(*machine),
              std::vector<std::string>{"dbg Zephr: Can't create device object !"});
    EXPECT_FALSE(Device().open());
}

TEST(LoadUnload, AFailedLinkCreationDeletesTheDeviceAndReleasesTheWindow)
{
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    nt::Faults faults;
    faults.createLink = STATUS_OBJECT_NAME_COLLISION;
    LoadedDriver driver(machine, faults);
    EXPECT_EQ(driver.loadStatus(), STATUS_OBJECT_NAME_COLLISION);
    EXPECT_TRUE(machine->liveMappings().empty());
    EXPECT_FALSE(nt::IoManager::instance().nameExists(L"\\Device\\Zephr"));
    EXPECT_EQ(debugLines(*machine), std::vector<std::string>{"dbg Zephr: Can't create link"});
}

TEST(LoadUnload, WithoutTheWindowTheDriverLoadsAndTheReportSaysSo)
{
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    machine->memory.markUnmappable(0xE0000, 0x20000);
    LoadedDriver driver(machine);
    ASSERT_EQ(driver.loadStatus(), STATUS_SUCCESS);
    EXPECT_TRUE(machine->liveMappings().empty());
    Device device;
    auto report = device.ioctl(IOCTL_ZEPHR_GET_SYSINFO, {}, ZEPHR_SYSINFO_LENGTH);
    ASSERT_TRUE(report.ok);
    EXPECT_EQ(report.text(), "*** Error: BIOS segment mapping failed ***");
    EXPECT_TRUE(device.words(IOCTL_ZEPHR_GET_TEMP, 0).ok) << "the SMM requests still work";
}

TEST(LoadUnload, ALinkThatCannotBeRemovedLeavesADeviceThatUsesNoReleasedMapping)
{
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    LoadedDriver driver(machine);
    ASSERT_EQ(driver.loadStatus(), STATUS_SUCCESS);
    Device device;
    ASSERT_TRUE(device.open());

    // Windows would wait for the handle; the kernel fault lets the request
    // below reach the driver after its unload.
    nt::Faults faults;
    faults.deleteLink = STATUS_ACCESS_DENIED;
    faults.unloadWithHandlesOpen = true;
    nt::IoManager::instance().setFaults(faults);
    driver.unload();

    auto dbg = debugLines(*machine);
    EXPECT_NE(std::find(dbg.begin(), dbg.end(), "dbg Zephr: Can't remove link"), dbg.end());
    EXPECT_EQ(std::find(dbg.begin(), dbg.end(), "dbg Zephr: Link removed"), dbg.end());
    EXPECT_EQ(dbg.back(), "dbg Zephr: End of unload");
    EXPECT_TRUE(machine->liveMappings().empty()) << "mappings are released although the link stays";
    EXPECT_TRUE(nt::IoManager::instance().nameExists(L"\\Device\\Zephr"));

    // A request that still reaches the device reads through no released
    // mapping (the arena's guard pages would fault): it gets the error line.
    auto report = device.ioctl(IOCTL_ZEPHR_GET_SYSINFO, {}, ZEPHR_SYSINFO_LENGTH);
    ASSERT_TRUE(report.ok);
    EXPECT_EQ(report.text(), "*** Error: BIOS segment mapping failed ***");
    auto cpu = device.ioctl(IOCTL_ZEPHR_GET_CPU_SPEED, {}, ZEPHR_CPU_SPEED_LENGTH);
    ASSERT_TRUE(cpu.ok);
    auto acpi = device.ioctl(IOCTL_ZEPHR_GET_ACPI_REPORT, {}, ZEPHR_ACPI_REPORT_LENGTH);
    ASSERT_TRUE(acpi.ok);
    EXPECT_TRUE(machine->liveMappings().empty());
}

} // namespace
