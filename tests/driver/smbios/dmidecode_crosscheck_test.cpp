// SPDX-License-Identifier: MIT
// dmidecode_crosscheck_test.cpp
//
// The system information report against dmidecode: each firmware image's
// SMBIOS (and the built-in notebook's) is written as a dmidecode dump, and
// the report expected from dmidecode's decoding of it (vendor, version,
// date, manufacturer, product, serial, asset tag, processor speeds, caches,
// on-board devices, memory locators and sizes, battery) must be the report
// the driver gives, line for line.
#include "support/driver_harness.h"

#include "dmidecode.h"
#include "sim/firmware/smbios.h"

#include <gtest/gtest.h>

#include <cstring>
#include <optional>
#include <regex>

using smbios_test::DmiDecoding;
using smbios_test::DmiRecord;
using zephr_test::Device;
using zephr_test::LoadedDriver;

namespace {

struct FirmwareSmbios {
    std::vector<uint8_t> entryPoint;
    std::vector<uint8_t> table;
};

uint32_t littleEndian(const std::vector<uint8_t>& bytes, size_t offset, size_t width)
{
    uint32_t value = 0;
    for (size_t i = 0; i < width; ++i)
        value |= uint32_t(bytes[offset + i]) << (8 * i);
    return value;
}

// The entry point with the anchor on a paragraph of the F segment whose
// bytes sum to zero, and the table it points at, read from memory.
std::optional<FirmwareSmbios> readSmbios(const sim::PhysicalMemory& memory, const char* anchor)
{
    const bool smbios3 = std::strcmp(anchor, "_SM3_") == 0;
    for (uint64_t address = 0xF0000; address < 0x100000; address += 16) {
        std::vector<uint8_t> entry(0x20);
        memory.read(address, entry.data(), entry.size());
        if (std::memcmp(entry.data(), anchor, std::strlen(anchor)) != 0)
            continue;
        const size_t length = smbios3 ? entry[0x06] : entry[0x05];
        uint8_t sum = 0;
        for (size_t i = 0; i < length && i < entry.size(); ++i)
            sum = uint8_t(sum + entry[i]);
        if (sum != 0 || length == 0)
            continue;
        FirmwareSmbios found;
        found.entryPoint = entry;
        const uint32_t tableAddress = littleEndian(entry, smbios3 ? 0x10 : 0x18, 4);
        const uint32_t tableLength = littleEndian(entry, smbios3 ? 0x0C : 0x16, smbios3 ? 4 : 2);
        found.table.resize(tableLength);
        memory.read(tableAddress, found.table.data(), tableLength);
        return found;
    }
    return std::nullopt;
}

DmiDecoding decode(const FirmwareSmbios& smbios)
{
    const DmiDecoding decoding = smbios_test::runDmidecode(
        sim::firmware::makeDmidecodeDump(smbios.entryPoint, smbios.table));
    EXPECT_EQ(decoding.exitStatus, 0) << decoding.output;
    return decoding;
}

// "1600 MHz" -> 1600, "Unknown" -> 0.
long number(const std::string& value)
{
    return value.empty() || !std::isdigit(static_cast<unsigned char>(value[0])) ? 0
                                                                                : std::stol(value);
}

// "64 kB", "1 MB", "1 GB" in kB; "64 MB", "1 GB" in MB.
long sizeIn(const std::string& value, const std::string& unit)
{
    std::smatch match;
    if (!std::regex_match(value, match, std::regex(R"((\d+) (kB|MB|GB))")))
        return 0;
    static const std::vector<std::string> units{"kB", "MB", "GB"};
    const auto scale = [&](const std::string& u) {
        return long(std::find(units.begin(), units.end(), u) - units.begin());
    };
    long size = std::stol(match[1]);
    for (long step = scale(match[2]); step > scale(unit); --step)
        size *= 1024;
    return size;
}

std::string stringValue(const DmiRecord& record, const std::string& name)
{
    const std::string value = record.value(name);
    return value == "Not Specified" ? "--" : value;
}

std::string sbdsDate(const std::string& value)
{
    int year = 0, month = 0, day = 0;
    if (std::sscanf(value.c_str(), "%d-%d-%d", &year, &month, &day) != 3)
        return "?" + value;
    return std::to_string(month) + "/" + std::to_string(day) + "/" + std::to_string(year);
}

// The report lines dmidecode's decoding of one structure leads to.
std::string expectedLines(const DmiRecord& record)
{
    const auto line = [](const std::string& name, const std::string& value) {
        return name + ": " + value + "\r\n";
    };
    switch (record.type) {
    case 0:
        return line("BIOS vendor", stringValue(record, "Vendor")) +
               line("BIOS version", stringValue(record, "Version")) +
               line("BIOS date", stringValue(record, "Release Date"));
    case 1:
        return line("System manufacturer", stringValue(record, "Manufacturer")) +
               line("Product name", stringValue(record, "Product Name")) +
               line("Service tag", stringValue(record, "Serial Number"));
    case 3:
        return line("Asset tag", stringValue(record, "Asset Tag"));
    case 4:
        return line("CPU manufacturer", stringValue(record, "Manufacturer")) +
               line("Current CPU speed",
                    std::to_string(number(record.value("Current Speed"))) + " MHz") +
               line("External clock",
                    std::to_string(number(record.value("External Clock"))) + " MHz") +
               line("Max. CPU speed supported by board",
                    std::to_string(number(record.value("Max Speed"))) + " MHz");
    case 7: {
        std::smatch level;
        const std::string configuration = record.value("Configuration");
        std::regex_search(configuration, level, std::regex(R"(Level (\d))"));
        std::string location = record.value("Location");
        location[0] = char(std::tolower(location[0]));
        return "L" + std::string(level[1]) +
               " cache size: " + std::to_string(sizeIn(record.value("Installed Size"), "kB")) +
               " KB (" + location + ")\r\n";
    }
    case 10: {
        const std::string type = record.value("Type");
        const std::string name = type == "Video"      ? "Video card"
                                 : type == "Sound"    ? "Sound card"
                                 : type == "Ethernet" ? "Ethernet card"
                                                      : "";
        return name.empty() ? "" : line(name, stringValue(record, "Description"));
    }
    case 17: {
        const long speed = number(record.value("Speed"));
        return "SODIMM Socket '" + stringValue(record, "Locator") +
               "': " + std::to_string(sizeIn(record.value("Size"), "MB")) + " MB" +
               (speed != 0 ? " (" + std::to_string(speed) + " MHz)" : "") + "\r\n";
    }
    case 22: {
        std::string lines = line("Battery manufacturer", stringValue(record, "Manufacturer")) +
                            line("Battery device name", stringValue(record, "Name")) +
                            line("Battery location", stringValue(record, "Location"));
        if (!record.value("Manufacture Date").empty())
            lines += line("Battery manufacturing date", record.value("Manufacture Date"));
        else if (!record.value("SBDS Manufacture Date").empty())
            lines += line("Battery manufacturing date",
                          sbdsDate(record.value("SBDS Manufacture Date")) + " (SBDS)");
        if (!record.value("Serial Number").empty())
            lines += line("Battery serial no", record.value("Serial Number"));
        else if (!record.value("SBDS Serial Number").empty())
            lines +=
                line("Battery serial no",
                     std::to_string(std::stol(record.value("SBDS Serial Number"), nullptr, 16)) +
                         " (SBDS)");
        return lines;
    }
    default:
        return "";
    }
}

std::string expectedReport(const DmiDecoding& decoding)
{
    std::string report;
    for (const auto& record : decoding.records)
        report += expectedLines(record);
    return report;
}

std::string driverReport(std::shared_ptr<sim::Machine> machine)
{
    LoadedDriver driver(std::move(machine));
    Device device;
    return device.ioctl(IOCTL_ZEPHR_GET_SYSINFO, {}, ZEPHR_SYSINFO_LENGTH).text();
}

class FixtureCrossCheck : public testing::TestWithParam<const char*> {};

TEST_P(FixtureCrossCheck, TheReportShowsWhatDmidecodeDecodes)
{
    auto machine = std::make_shared<sim::Machine>();
    machine->memory.loadImageFolder(zephr_test::fixtureImage(GetParam()));
    const auto smbios = readSmbios(machine->memory, "_SM_");
    ASSERT_TRUE(smbios.has_value());
    const DmiDecoding decoding = decode(*smbios);
    ASSERT_FALSE(decoding.ofType(1).empty()) << decoding.output;
    ASSERT_FALSE(decoding.ofType(4).empty()) << decoding.output;
    ASSERT_FALSE(decoding.ofType(17).empty()) << decoding.output;
    EXPECT_EQ(driverReport(machine), expectedReport(decoding)) << decoding.output;
}

INSTANTIATE_TEST_SUITE_P(Images, FixtureCrossCheck,
                         testing::Values("i440fx-inspiron-8600", "q35-latitude-d810"));

TEST(DmidecodeCrossCheck, AnImageDmidecodeReadsAsSmbios3HasNoSmbiosForTheDriver)
{
    auto machine = std::make_shared<sim::Machine>();
    machine->memory.loadImageFolder(zephr_test::fixtureImage("i440fx-smbios3-only"));
    EXPECT_FALSE(readSmbios(machine->memory, "_SM_").has_value());
    const auto smbios3 = readSmbios(machine->memory, "_SM3_");
    ASSERT_TRUE(smbios3.has_value());
    const DmiDecoding decoding = decode(*smbios3);
    EXPECT_NE(decoding.output.find("SMBIOS 3."), std::string::npos) << decoding.output;
    ASSERT_EQ(decoding.ofType(1).size(), 1u);
    EXPECT_EQ(decoding.ofType(1)[0]->value("Product Name"), "Latitude D600");
    EXPECT_EQ(driverReport(machine), "*** Error: No SMBIOS found ***");
}

TEST(DmidecodeCrossCheck, TheBuiltInNotebooksReportShowsWhatDmidecodeDecodes)
{
    auto machine = std::shared_ptr<sim::Machine>(sim::Machine::builtin());
    const auto smbios = readSmbios(machine->memory, "_SM_");
    ASSERT_TRUE(smbios.has_value());
    const DmiDecoding decoding = decode(*smbios);
    for (int type : {0, 1, 3, 4, 7, 10, 17, 22})
        EXPECT_FALSE(decoding.ofType(type).empty()) << "type " << type << "\n" << decoding.output;
    EXPECT_EQ(driverReport(machine), expectedReport(decoding)) << decoding.output;
}

} // namespace
