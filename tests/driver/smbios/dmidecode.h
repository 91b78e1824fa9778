// SPDX-License-Identifier: MIT
// dmidecode.h
//
// Test support: dmidecode run on an SMBIOS dump (`dmidecode --from-dump`)
// and its output read back as records, one per structure, for suites that
// check a table or a report against dmidecode's decoding.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace smbios_test {

// One structure as dmidecode prints it: "Handle 0x0100, DMI type 1, 27
// bytes", the title line, then "\tName: value" lines.
struct DmiRecord {
    int type = -1;
    std::string title;
    std::map<std::string, std::string> values;
    std::string value(const std::string& name) const; // "" when missing
};

struct DmiDecoding {
    int exitStatus = -1;
    std::string output; // standard output and standard error together
    std::vector<DmiRecord> records;
    std::vector<const DmiRecord*> ofType(int type) const;
};

// Writes the dump to a temporary file and decodes it. Throws
// std::runtime_error when dmidecode cannot be run at all.
DmiDecoding runDmidecode(const std::vector<uint8_t>& dump);

} // namespace smbios_test
