// SPDX-License-Identifier: MIT
// text_handling_test.cpp
//
// gaugehost's text handling: Windows-1252 to UTF-8, the splitting of init's
// and getparam's lists, and the words and numbers of script lines.
#include "tools/gaugehost/plugin_host/cp1252.h"
#include "tools/gaugehost/plugin_host/parameter_list.h"
#include "tools/gaugehost/script/script_words.h"

#include <gtest/gtest.h>

#include <stdexcept>

namespace {

using gaugehost::cp1252ToUtf8;
using gaugehost::parseSeconds;
using gaugehost::parseUnsigned;
using gaugehost::splitParameterList;
using gaugehost::splitReaderList;
using gaugehost::splitScriptWords;
using Words = std::vector<std::string>;

TEST(Cp1252, AsciiPassesUnchanged)
{
    EXPECT_EQ(cp1252ToUtf8("52 Off ERROR: x"), "52 Off ERROR: x");
    EXPECT_EQ(cp1252ToUtf8(""), "");
}

TEST(Cp1252, TheDegreeSignBecomesTwoBytes)
{
    EXPECT_EQ(cp1252ToUtf8("52\xB0"), "52\xC2\xB0");
}

TEST(Cp1252, TheHighControlRangeGoesThroughTheCodePage)
{
    EXPECT_EQ(cp1252ToUtf8("\x80"), "\xE2\x82\xAC");                 // euro sign
    EXPECT_EQ(cp1252ToUtf8("\x93\x94"), "\xE2\x80\x9C\xE2\x80\x9D"); // curly quotes
    EXPECT_EQ(cp1252ToUtf8("\x9F"), "\xC5\xB8");                     // Y with diaeresis
    EXPECT_EQ(cp1252ToUtf8("\x81"), "\xC2\x81");                     // undefined: the C1 control
    EXPECT_EQ(cp1252ToUtf8("\xFF"), "\xC3\xBF");                     // y with diaeresis
    EXPECT_EQ(cp1252ToUtf8("\xA0"), "\xC2\xA0");
}

TEST(ParameterList, SplitsReaderNames)
{
    EXPECT_EQ(splitReaderList("GetCPUTemp|GetFAN1RPM"), (Words{"GetCPUTemp", "GetFAN1RPM"}));
    EXPECT_EQ(splitReaderList("One"), (Words{"One"}));
    EXPECT_TRUE(splitReaderList("").empty());
}

TEST(ParameterList, SplitsEntriesAtTheirFirstEqualsSign)
{
    auto parameters = splitParameterList(
        "refresh rate (seconds)=5|temperature unit (c or f)=c|show degree symbol=no|");
    ASSERT_EQ(parameters.size(), 3u);
    EXPECT_EQ(parameters[0].label, "refresh rate (seconds)");
    EXPECT_EQ(parameters[0].defaultValue, "5");
    EXPECT_EQ(parameters[1].label, "temperature unit (c or f)");
    EXPECT_EQ(parameters[1].defaultValue, "c");
    EXPECT_EQ(parameters[2].label, "show degree symbol");
    EXPECT_EQ(parameters[2].defaultValue, "no");
}

TEST(ParameterList, OddEntriesStillGiveParameters)
{
    auto parameters = splitParameterList("a=b=c|no default|last=1");
    ASSERT_EQ(parameters.size(), 3u);
    EXPECT_EQ(parameters[0].defaultValue, "b=c");
    EXPECT_EQ(parameters[1].label, "no default");
    EXPECT_EQ(parameters[1].defaultValue, "");
    EXPECT_EQ(parameters[2].label, "last");
    EXPECT_TRUE(splitParameterList("").empty());
}

TEST(ScriptWords, SplitsAtBlanksAndDropsComments)
{
    EXPECT_EQ(splitScriptWords("  call  cpu\t5 \r"), (Words{"call", "cpu", "5"}));
    EXPECT_EQ(splitScriptWords("advance 5 # five seconds"), (Words{"advance", "5"}));
    EXPECT_TRUE(splitScriptWords("# only a comment").empty());
    EXPECT_TRUE(splitScriptWords("").empty());
    EXPECT_EQ(splitScriptWords("call a#b"), (Words{"call", "a#b"}));
}

TEST(ScriptWords, QuotesKeepBlanksAndEmptyTexts)
{
    EXPECT_EQ(splitScriptWords("call cpu \" 7x\" \"\" c"), (Words{"call", "cpu", " 7x", "", "c"}));
    EXPECT_EQ(splitScriptWords("call cpu \"# not a comment\""),
              (Words{"call", "cpu", "# not a comment"}));
    EXPECT_EQ(splitScriptWords("a\"b c\"d"), (Words{"ab cd"}));
}

TEST(ScriptWords, EscapesInQuotes)
{
    const std::string degreeThenA = "\xB0\x41";
    EXPECT_EQ(splitScriptWords(R"("say \"hi\"" "back\\slash" "\xB0\x41")"),
              (Words{"say \"hi\"", "back\\slash", degreeThenA}));
}

TEST(ScriptWords, BadQuotesAreRefused)
{
    EXPECT_THROW(splitScriptWords("call cpu \"open"), std::runtime_error);
    EXPECT_THROW(splitScriptWords(R"(call cpu "\n")"), std::runtime_error);
    EXPECT_THROW(splitScriptWords(R"(call cpu "\x4")"), std::runtime_error);
    EXPECT_THROW(splitScriptWords(R"(call cpu "ends in \)"), std::runtime_error);
}

TEST(ScriptNumbers, SecondsAreCountedExactlyInTicks)
{
    EXPECT_EQ(parseSeconds("5"), 50'000'000);
    EXPECT_EQ(parseSeconds("4.9"), 49'000'000);
    EXPECT_EQ(parseSeconds("0.1"), 1'000'000);
    EXPECT_EQ(parseSeconds("0.0000001"), 1);
    EXPECT_EQ(parseSeconds("86400"), 864'000'000'000);
}

TEST(ScriptNumbers, BadSecondsAreRefused)
{
    for (const char* text :
         {"", "-1", "4,9", ".5", "5.", "1e3", "abc", "0.00000001", "99999999999999999999"})
        EXPECT_THROW(parseSeconds(text), std::runtime_error) << text;
}

TEST(ScriptNumbers, UnsignedNumbers)
{
    EXPECT_EQ(parseUnsigned("52", "temperature"), 52u);
    EXPECT_EQ(parseUnsigned("4294967295", "x"), 4294967295u);
    for (const char* text : {"", "-1", "5x", "4294967296", " 5"})
        EXPECT_THROW(parseUnsigned(text, "x"), std::runtime_error) << text;
}

} // namespace
