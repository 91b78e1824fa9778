// SPDX-License-Identifier: MIT
// session_options_test.cpp
//
// The session options as every tool reads them: what each word list sets,
// and the message a wrong one gets (the same from zephrctl, gaugehost and
// zephr-agent, which share the parser).
#include "tools/common/session_options.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

struct OptionCase {
    const char* name;
    std::vector<std::string> words;
    const char* error; // null: taken
    bool pluginImage = false;
    std::function<bool(const tools::SessionCommandLine&)> sets = nullptr;
};

void PrintTo(const OptionCase& row, std::ostream* out)
{
    *out << row.name;
}

class SessionOptions : public testing::TestWithParam<OptionCase> {};

TEST_P(SessionOptions, SetWhatTheySayOrNameWhatIsWrong)
{
    const OptionCase& row = GetParam();
    tools::SessionCommandLine line;
    try {
        for (size_t at = 0; at < row.words.size(); ++at)
            if (!tools::takeSessionOption(row.words, at, line))
                throw tools::CommandLineError("not a session option: " + row.words[at]);
        tools::checkSessionOptions(line, "--plugin-image", row.pluginImage);
    } catch (const tools::CommandLineError& error) {
        ASSERT_NE(row.error, nullptr) << error.what();
        EXPECT_EQ(error.what(), std::string(row.error));
        return;
    }
    ASSERT_EQ(row.error, nullptr);
    EXPECT_TRUE(row.sets(line));
}

using Line = tools::SessionCommandLine;

INSTANTIATE_TEST_SUITE_P(
    Tools, SessionOptions,
    testing::Values(
        OptionCase{"MachineFile",
                   {"--machine", "m.json"},
                   nullptr,
                   false,
                   [](const Line& l) { return l.session.machineFile == "m.json"; }},
        OptionCase{"NoDriverAndTrace",
                   {"--no-driver", "--trace"},
                   nullptr,
                   false,
                   [](const Line& l) { return !l.session.loadDriver && l.trace; }},
        OptionCase{"ImageMoved",
                   {"--driver-image", "zephr.sys", "--image-base", "0x800000"},
                   nullptr,
                   false,
                   [](const Line& l) { return l.session.imageBase == 0x800000u; }},
        OptionCase{"PluginImageMoved",
                   {"--image-base", "8388608"},
                   nullptr,
                   true,
                   [](const Line& l) { return l.session.imageBase == 0x800000u; }},
        OptionCase{"Load",
                   {"--load", "100"},
                   nullptr,
                   false,
                   [](const Line& l) { return l.session.load == 100; }},
        OptionCase{"MachineWithoutFile", {"--machine"}, "--machine needs a file"},
        OptionCase{"LoadOutOfRange",
                   {"--load", "101"},
                   "--load '101' is no whole percentage from 0 to 100"},
        OptionCase{
            "LoadNotANumber", {"--load", "5x"}, "--load '5x' is no whole percentage from 0 to 100"},
        OptionCase{"BaseNotAnAddress",
                   {"--driver-image", "z.sys", "--image-base", "0x1ffffffff"},
                   "--image-base needs a 32-bit address (0x800000), not '0x1ffffffff'"},
        OptionCase{"BaseWithoutImage",
                   {"--image-base", "0x800000"},
                   "--image-base moves an emulated image: give --driver-image FILE or "
                   "--plugin-image FILE"},
        OptionCase{"AnotherOption", {"--plugin", "x"}, "not a session option: --plugin"}),
    [](const testing::TestParamInfo<OptionCase>& info) { return info.param.name; });

} // namespace
