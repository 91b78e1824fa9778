// SPDX-License-Identifier: MIT
// acpi_fixture_test.cpp
//
// The ACPI report over real firmware images: the tables SeaBIOS built, the
// mappings that stay between reports, and their release.
#include "support/driver_harness.h"

#include <gtest/gtest.h>

#include <fstream>
#include <regex>

using zephr_test::Device;
using zephr_test::LoadedDriver;

namespace {

std::shared_ptr<sim::Machine> fixture(const std::string& name)
{
    auto machine = std::make_shared<sim::Machine>();
    machine->name = name;
    machine->memory.loadImageFolder(zephr_test::fixtureImage(name));
    return machine;
}

std::string report(const Device& device)
{
    auto reply = device.ioctl(IOCTL_ZEPHR_GET_ACPI_REPORT, {}, ZEPHR_ACPI_REPORT_LENGTH);
    EXPECT_TRUE(reply.ok);
    return reply.text();
}

std::vector<std::string> signatures(const std::string& text)
{
    std::vector<std::string> found;
    std::regex remapping("  Remapping '(....)'");
    for (auto it = std::sregex_iterator(text.begin(), text.end(), remapping);
         it != std::sregex_iterator(); ++it) {
        found.push_back((*it)[1]);
    }
    return found;
}

TEST(AcpiFixtures, TheInspironImageHasItsRsdtAboveOneMegabyte)
{
    LoadedDriver driver(fixture("i440fx-inspiron-8600"));
    std::string text = report(Device());
    EXPECT_EQ(signatures(text), (std::vector<std::string>{"RSDT", "FACP", "APIC", "HPET", "WAET"}))
        << text;
    EXPECT_NE(text.find("ACPI V1 BIOS detected\r\nRSDT @ VA 0x"), std::string::npos);
    EXPECT_NE(text.find("(PA 0x03fe1a7d)"), std::string::npos) << "not page aligned";
    EXPECT_NE(text.find("\r\nPA->VA Mappings:\r\nPA 0x000e0000 -> VA 0x"), std::string::npos);
    // The window and one mapping per table stay in force after the request.
    EXPECT_EQ(driver.machine().liveMappings().size(), 6u);
}

TEST(AcpiFixtures, TheLatitudeImageListsItsMcfg)
{
    LoadedDriver driver(fixture("q35-latitude-d810"));
    auto found = signatures(report(Device()));
    EXPECT_NE(std::find(found.begin(), found.end(), "MCFG"), found.end());
}

TEST(AcpiFixtures, TwoReportsInARowAreTheSameAndTheFirstsMappingsGoFirst)
{
    LoadedDriver driver(fixture("i440fx-inspiron-8600"));
    Device device;
    std::string first = report(device);
    driver.machine().trace.clear();
    std::string second = report(device);
    std::regex address("VA 0x[0-9a-f]{8}");
    EXPECT_EQ(std::regex_replace(first, address, "VA x"),
              std::regex_replace(second, address, "VA x"));

    // Every mapping of the first report is released before the second maps a table.
    auto lines = driver.machine().trace.lines();
    size_t firstMap = 0;
    while (firstMap < lines.size() && lines[firstMap].rfind("map 0x03fe", 0) != 0) {
        ++firstMap;
    }
    size_t unmaps = 0;
    for (size_t i = 0; i < firstMap; ++i) {
        unmaps += lines[i].rfind("unmap", 0) == 0;
    }
    EXPECT_GE(unmaps, 5u);
    EXPECT_EQ(driver.machine().liveMappings().size(), 6u);
}

TEST(AcpiFixtures, UnloadReleasesTheReportsMappings)
{
    auto machine = fixture("i440fx-inspiron-8600");
    {
        LoadedDriver driver(machine);
        report(Device());
        EXPECT_GT(machine->liveMappings().size(), 1u);
    }
    EXPECT_TRUE(machine->liveMappings().empty());
}

} // namespace
