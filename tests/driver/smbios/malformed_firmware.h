// SPDX-License-Identifier: MIT
// malformed_firmware.h
//
// Test support: seeded random SMBIOS firmware for the fuzz suites, malformed
// in every way a table can be (structure counts, table lengths, formatted
// lengths, string numbers, unterminated string sets, entry points near the
// window's end, tables anywhere below 4 GiB), placed in a simulated notebook.
#pragma once

#include "sim/firmware/smbios.h"

#include <algorithm>
#include <memory>
#include <optional>
#include <random>

namespace smbios_test {

class MalformedFirmware {
  public:
    explicit MalformedFirmware(uint32_t seed) : random_(seed) {}

    // A machine with a random table, or null when the layout drawn does not
    // place (the table would overlap its entry point).
    std::shared_ptr<sim::Machine> machine()
    {
        std::vector<sim::firmware::SmbiosStructure> structures;
        // Now and then a table whose report outgrows its buffer.
        longStrings_ = chance(10);
        const int count = below(40);
        for (int i = 0; i < count; ++i)
            structures.push_back(structure());
        sim::firmware::SmbiosTable table;
        for (;;) {
            try {
                table = sim::firmware::buildSmbiosTable(structures);
                break;
            } catch (const std::invalid_argument&) {
                structures.pop_back(); // longer than a table can be
            }
        }
        auto machine = std::make_shared<sim::Machine>();
        try {
            sim::firmware::placeSmbios(machine->memory, table, layout(table));
        } catch (const std::invalid_argument&) {
            return nullptr;
        }
        return machine;
    }

  private:
    int below(int bound)
    {
        return std::uniform_int_distribution<int>(0, bound - 1)(random_);
    }
    bool chance(int percent)
    {
        return below(100) < percent;
    }
    uint8_t byte()
    {
        return static_cast<uint8_t>(below(256));
    }

    sim::firmware::SmbiosStructure structure()
    {
        static const uint8_t kTypes[] = {0, 1, 3, 4, 7, 10, 17, 22, 2, 127};
        sim::firmware::SmbiosStructure made;
        static const uint8_t kTypesWithManyStrings[] = {0, 1, 22};
        made.type = chance(90) ? kTypes[below(sizeof kTypes)] : byte();
        if (longStrings_)
            made.type = kTypesWithManyStrings[below(sizeof kTypesWithManyStrings)];
        made.formatted.resize(below(chance(80) ? 0x24 : 252));
        for (auto& field : made.formatted)
            // Mostly small values, so that many fields are string numbers in range.
            field = chance(70) ? static_cast<uint8_t>(below(7)) : byte();
        const int strings = longStrings_ ? 5 : below(6);
        for (int i = 0; i < strings; ++i) {
            std::string text(longStrings_ ? 200 + below(1200) : below(chance(90) ? 24 : 400), 'x');
            for (auto& c : text)
                c = static_cast<char>(1 + below(255));
            made.strings.push_back(text);
        }
        // A long table is mostly sound, or its walk would end early.
        const int broken = longStrings_ ? 1 : 10;
        if (chance(broken))
            made.length = byte();
        if (chance(broken)) {
            made.strings.clear();
            made.stringSet = std::vector<uint8_t>(below(12));
            for (auto& b : *made.stringSet)
                b = chance(30) ? 0 : byte();
        }
        return made;
    }

    uint64_t entryPointAddress()
    {
        switch (below(4)) {
        case 0:
            return 0xF0000;
        case 1:
            return 0xFFFC0 + 4 * below(16); // near the window's end
        default:
            return 0xF0000 + 4 * below(0x4000);
        }
    }

    std::optional<uint64_t> tableAddress(const sim::firmware::SmbiosTable& table)
    {
        switch (below(7)) {
        case 0:
            return std::nullopt; // right after the entry point
        case 1:
            return 0xF0000;
        case 2:
            return 0x100000 - std::min<uint64_t>(table.bytes.size(), 1 + below(0x200));
        case 3:
            return 0xEFFF0 + below(16);
        case 4:
            return 0x100000;
        case 5:
            return 0xE0000 + below(0x10000);
        default:
            return 0x00200000 + uint64_t(below(0x3FF00000));
        }
    }

    sim::firmware::SmbiosLayout layout(const sim::firmware::SmbiosTable& table)
    {
        sim::firmware::SmbiosLayout layout;
        layout.entryPointAddress = entryPointAddress();
        layout.tableAddress = tableAddress(table);
        if (chance(40))
            layout.structureCount = static_cast<uint16_t>(chance(50) ? below(0x10000) : below(60));
        if (chance(40)) {
            const int size = static_cast<int>(table.bytes.size());
            layout.tableLength = static_cast<uint16_t>(
                chance(50) ? below(0x10000) : std::max(0, size - below(size + 1)));
        }
        if (chance(5))
            layout.entryPointLength = byte();
        layout.badChecksum = chance(3);
        layout.intermediateAnchor = !chance(3);
        return layout;
    }

    std::mt19937 random_;
    bool longStrings_ = false;
};

} // namespace smbios_test
