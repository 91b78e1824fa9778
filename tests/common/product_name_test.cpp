// SPDX-License-Identifier: MIT
// product_name_test.cpp
//
// One notebook name, the same everywhere: the model name the plug-in takes
// from the report (its connection's sources linked in), the "Notebook:" line
// of zephrctl summary and the header of gaugehost's panel, for SMBIOS
// product names with blanks and tabs around them.
#include "plugin/driver_connection.h"
#include "support/driver_harness.h"
#include "support/run_program.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <unistd.h>

namespace {

// A machine file whose SMBIOS system structure has the product name given
// as a JSON string body (so "\\t" is a tab).
class NamedNotebook {
  public:
    explicit NamedNotebook(const std::string& jsonName)
        : path_(std::filesystem::temp_directory_path() /
                ("zephr-product-name-" + std::to_string(::getpid()) + ".json"))
    {
        std::ofstream(path_) << R"({ "name": "named", "smbios": { "structures": [
            { "type": 1, "formatted": "01 02 00 03", "strings": [ "Nord", ")"
                             << jsonName << R"(", "TAG" ] }, { "type": 127 } ] } })";
    }
    ~NamedNotebook()
    {
        std::filesystem::remove(path_);
    }
    std::string path() const
    {
        return path_.string();
    }

  private:
    std::filesystem::path path_;
};

// The plug-in's model name: its attach on the notebook with the driver loaded.
std::string pluginModelName(const NamedNotebook& notebook)
{
    zephr_test::LoadedDriver driver(sim::Machine::fromFile(notebook.path()));
    OpenDriverConnection();
    std::string name = ModelName != nullptr ? ModelName : "(no buffer)";
    EXPECT_EQ(DriverLoaded, 1) << "the plug-in did not open the device";
    CloseDriverConnection();
    return name;
}

// The rest of the first output line that begins with prefix, or "(no line)".
std::string lineAfter(const std::string& output, const std::string& prefix)
{
    std::istringstream lines(output);
    for (std::string line; std::getline(lines, line);)
        if (line.rfind(prefix, 0) == 0)
            return line.substr(prefix.size());
    return "(no line)";
}

std::string summaryModelName(const NamedNotebook& notebook)
{
    auto result =
        tool_test::runProgram({ZEPHRCTL_PROGRAM, "--machine", notebook.path(), "summary"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    return lineAfter(result.out, "Notebook: ");
}

std::string panelModelName(const NamedNotebook& notebook)
{
    auto result = tool_test::runProgram({GAUGEHOST_PROGRAM, "--plugin", GAUGELET_LIBRARY,
                                         "--machine", notebook.path(), "panel", "--once"});
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    // The header goes on with the driver's version after the name.
    std::string header = lineAfter(result.out, "Gaugelet on ");
    return header.substr(0, header.rfind(", zephr driver "));
}

struct NamedCase {
    const char* jsonName; // as the machine file spells it
    const char* shown;    // what every part shows
};

TEST(ProductName, ThePlugInZephrctlAndThePanelShowTheSameName)
{
    const NamedCase cases[] = {
        {"  \\tInspiron 8600", "Inspiron 8600"},
        {"Latitude D810 \\t ", "Latitude D810"},
        {" \\t Precision M60\\t", "Precision M60"},
        {"Inspiron  XPS", "Inspiron  XPS"},
    };
    for (const NamedCase& named : cases) {
        NamedNotebook notebook(named.jsonName);
        const std::string plugin = pluginModelName(notebook);
        EXPECT_EQ(plugin, named.shown) << named.jsonName;
        EXPECT_EQ(summaryModelName(notebook), plugin) << named.jsonName;
        EXPECT_EQ(panelModelName(notebook), plugin) << named.jsonName;
    }
}

} // namespace
