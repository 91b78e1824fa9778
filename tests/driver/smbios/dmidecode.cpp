// SPDX-License-Identifier: MIT
// dmidecode.cpp
//
// Running dmidecode on a dump file and reading its records back.
#include "dmidecode.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <sys/wait.h>
#include <unistd.h>

namespace smbios_test {

namespace {

// A temporary file that goes with the object.
class TempFile {
  public:
    explicit TempFile(const std::vector<uint8_t>& bytes)
    {
        std::string pattern =
            (std::filesystem::temp_directory_path() / "zephr-dmidecode-XXXXXX").string();
        const int descriptor = ::mkstemp(pattern.data());
        if (descriptor < 0)
            throw std::runtime_error("cannot make a temporary file from " + pattern);
        ::close(descriptor);
        path_ = pattern;
        std::ofstream(path_, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
    }
    ~TempFile()
    {
        std::error_code ignored;
        std::filesystem::remove(path_, ignored);
    }
    const std::string& path() const
    {
        return path_;
    }

  private:
    std::string path_;
};

std::vector<DmiRecord> parse(const std::string& output)
{
    std::vector<DmiRecord> records;
    std::istringstream lines(output);
    std::string line;
    bool expectTitle = false;
    while (std::getline(lines, line)) {
        int type = -1;
        if (std::sscanf(line.c_str(), "Handle 0x%*x, DMI type %d,", &type) == 1) {
            records.push_back(DmiRecord{type, {}, {}});
            expectTitle = true;
            continue;
        }
        if (records.empty() || line.empty())
            continue;
        if (expectTitle) {
            records.back().title = line;
            expectTitle = false;
            continue;
        }
        // "\tName: value"; nested lists ("\t\tPC Card (PCMCIA) is supported") are skipped.
        if (line.size() < 2 || line[0] != '\t' || line[1] == '\t')
            continue;
        const auto colon = line.find(": ");
        if (colon != std::string::npos)
            // The first value of a name stands: a structure listing several
            // devices gives the first device's.
            records.back().values.emplace(line.substr(1, colon - 1), line.substr(colon + 2));
    }
    return records;
}

} // namespace

std::string DmiRecord::value(const std::string& name) const
{
    const auto found = values.find(name);
    return found == values.end() ? std::string() : found->second;
}

std::vector<const DmiRecord*> DmiDecoding::ofType(int type) const
{
    std::vector<const DmiRecord*> found;
    for (const auto& record : records)
        if (record.type == type)
            found.push_back(&record);
    return found;
}

DmiDecoding runDmidecode(const std::vector<uint8_t>& dump)
{
    TempFile file(dump);
    const std::string command = "dmidecode --from-dump '" + file.path() + "' 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    if (pipe == nullptr)
        throw std::runtime_error("cannot run: " + command);
    DmiDecoding decoding;
    char chunk[4096];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        decoding.output.append(chunk, got);
    const int status = ::pclose(pipe);
    decoding.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    if (decoding.exitStatus == 127)
        throw std::runtime_error("dmidecode is not installed (scripts/install-deps installs it)");
    decoding.records = parse(decoding.output);
    return decoding;
}

} // namespace smbios_test
