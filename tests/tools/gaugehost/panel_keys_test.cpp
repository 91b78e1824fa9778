// SPDX-License-Identifier: MIT
// panel_keys_test.cpp
//
// The panel's keys (fan states through the setter, unit and degree texts,
// quit) and the layout of its frame (columns, width, colour).
#include "tools/gaugehost/panel/panel.h"
#include "tools/gaugehost/panel/panel_frame.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace {

using gaugehost::applyPanelKey;
using gaugehost::formatPanelFrame;
using gaugehost::PanelFrame;
using gaugehost::PanelRow;
using gaugehost::PanelSettings;

struct RecordedSetter {
    std::vector<std::pair<unsigned, unsigned>> calls;
    bool answer = true;
    gaugehost::FanStateSetter setter()
    {
        return [this](unsigned fan, unsigned state) {
            calls.emplace_back(fan, state);
            return answer;
        };
    }
};

TEST(PanelKeys, DigitsSetEachFansState)
{
    RecordedSetter fans;
    PanelSettings settings;
    for (char key : {'0', '1', '2', '7', '8', '9'})
        EXPECT_TRUE(applyPanelKey(key, settings, fans.setter()));
    const std::vector<std::pair<unsigned, unsigned>> expected = {{0, 0}, {0, 1}, {0, 2},
                                                                 {1, 0}, {1, 1}, {1, 2}};
    EXPECT_EQ(fans.calls, expected);
    EXPECT_EQ(settings.message, "fan 1 set to High (the readers show it at their next refresh)");
    fans.answer = false;
    applyPanelKey('1', settings, fans.setter());
    EXPECT_EQ(settings.message, "fan 0 was not set to Slow (the driver or the BIOS refused)");
}

TEST(PanelKeys, UnitAndDegreeSwitchTheParameterTexts)
{
    RecordedSetter fans;
    PanelSettings settings; // getparam's defaults
    applyPanelKey('f', settings, fans.setter());
    EXPECT_EQ(settings.unit, "f");
    applyPanelKey('F', settings, fans.setter());
    EXPECT_EQ(settings.unit, "c");
    applyPanelKey('d', settings, fans.setter());
    EXPECT_EQ(settings.degree, "yes");
    applyPanelKey('d', settings, fans.setter());
    EXPECT_EQ(settings.degree, "no");
    EXPECT_TRUE(fans.calls.empty());
}

TEST(PanelKeys, QQuitsAndOtherKeysDoNothing)
{
    RecordedSetter fans;
    PanelSettings settings;
    EXPECT_TRUE(applyPanelKey('3', settings, fans.setter()));
    EXPECT_TRUE(applyPanelKey('x', settings, fans.setter()));
    EXPECT_EQ(settings.message, "");
    EXPECT_FALSE(applyPanelKey('q', settings, fans.setter()));
    EXPECT_TRUE(fans.calls.empty());
}

// l steps the living notebook's load through varying, 0, 25 ... 100 %;
// where it cannot be changed it says so and changes nothing.
TEST(PanelKeys, LStepsTheLoad)
{
    struct Row {
        bool adjustable;
        std::optional<int> before, after;
        const char* message;
    };
    const Row rows[] = {
        {true, std::nullopt, 0, "load 0 % (the temperatures follow over the next minute)"},
        {true, 0, 25, "load 25 %"},
        {true, 60, 75, "load 75 %"},
        {true, 100, std::nullopt, "load varying"},
        {false, 50, 50, "the load is the notebook's own"},
    };
    for (const Row& row : rows) {
        RecordedSetter fans;
        PanelSettings settings;
        settings.loadAdjustable = row.adjustable;
        settings.load = row.before;
        EXPECT_TRUE(applyPanelKey('l', settings, fans.setter()));
        EXPECT_EQ(settings.load, row.after) << row.message;
        EXPECT_EQ(settings.message.rfind(row.message, 0), 0u) << settings.message;
        EXPECT_TRUE(fans.calls.empty());
    }
}

TEST(PanelFans, AreGivenBackAsThePanelFoundThem)
{
    // Both fans start Slow; the keys set them, then the panel ends.
    struct Case {
        std::vector<std::pair<unsigned, unsigned>> keys; // fan, state
        bool readable;                                   // the states before can be read
        bool refuseBack;                                 // setting back is refused
        std::vector<std::pair<unsigned, unsigned>> back; // the settings at the end
        const char* line;
        bool complete;
    };
    const Case cases[] = {
        {{}, true, false, {}, "", true},
        {{{0, 0}, {1, 2}},
         true,
         false,
         {{0, 1}, {1, 1}},
         "fans restored: fan 0 Slow, fan 1 Slow",
         true},
        {{{0, 2}, {0, 1}}, true, false, {}, "fans restored: fan 0 Slow", true},
        {{{0, 0}, {1, 0}},
         true,
         true,
         {{0, 1}, {1, 1}},
         "fan 0 left Off (setting it back to Slow was refused); "
         "fan 1 left Off (setting it back to Slow was refused)",
         false},
        {{{1, 2}},
         false,
         false,
         {},
         "fan 1 left High (its state before the panel set it could not be read)",
         false},
    };
    for (const Case& c : cases) {
        std::vector<std::pair<unsigned, unsigned>> sent;
        bool restoring = false;
        gaugehost::FanKeeper fans(
            [&](unsigned) { return c.readable ? std::optional<unsigned>(1) : std::nullopt; },
            [&](unsigned fan, unsigned state) {
                sent.emplace_back(fan, state);
                return !(restoring && c.refuseBack);
            });
        for (auto [fan, state] : c.keys)
            EXPECT_TRUE(fans.set(fan, state));
        restoring = true;
        sent.clear();
        const auto restored = fans.restore();
        EXPECT_EQ(sent, c.back) << c.line;
        EXPECT_EQ(restored.line, c.line);
        EXPECT_EQ(restored.complete, c.complete) << c.line;
    }
}

PanelFrame sampleFrame()
{
    PanelFrame frame;
    frame.model = "Inspiron 8600";
    frame.driverVersion = "1.5";
    frame.status = "ok";
    frame.profile = "profile: sensors CPU 0, GPU 2, memory 1, other 3";
    frame.rows = {
        {"CPU temperature", "97\xC2\xB0",
         "97 \xC2\xB0"
         "C",
         "52 \xC2\xB0"
         "C",
         "97 \xC2\xB0"
         "C",
         "\u2581\u2588", gaugehost::ValueLevel::Critical},
        {"GPU temperature", "ERROR: No value was present.", "", "", "", "",
         gaugehost::ValueLevel::Normal},
        {"Fan 1 speed", "175", "5250 rpm", "3600 rpm", "5250 rpm", "\u2581\u2588",
         gaugehost::ValueLevel::Normal},
    };
    frame.requests = "device requests sent: 3 by the plug-in, 1 by the panel";
    return frame;
}

TEST(PanelFrameLayout, ColumnsOfLabelTextValueMinimumMaximumAndTrend)
{
    EXPECT_EQ(formatPanelFrame(sampleFrame()),
              "Gaugelet on Inspiron 8600, zephr driver 1.5\n"
              "status: ok\n"
              "profile: sensors CPU 0, GPU 2, memory 1, other 3\n"
              "\n"
              "  reading             text     value     min       max       trend\n"
              "  CPU temperature     97\xC2\xB0      97 \xC2\xB0"
              "C !!  52 \xC2\xB0"
              "C     97 \xC2\xB0"
              "C     "
              "\u2581\u2588\n"
              "  GPU temperature     ERROR: No value was present.\n"
              "  Fan 1 speed         175      5250 rpm  3600 rpm  5250 rpm  \u2581\u2588\n"
              "\n"
              "device requests sent: 3 by the plug-in, 1 by the panel\n");
}

TEST(PanelFrameLayout, AValueAtALimitIsColouredOrMarked)
{
#define DEG "\xC2\xB0"
    struct Case {
        gaugehost::ValueLevel level;
        bool color;
        const char* status; // the status line
        const char* row;    // the row
    };
    const Case cases[] = {
        {gaugehost::ValueLevel::Warning, true,
         "status: \x1b[33mCPU temperature 85 " DEG "C is above warn 80 " DEG "C\x1b[0m\n",
         "  CPU temperature     85       \x1b[33m85 " DEG "C\x1b[0m     80 " DEG "C\n"},
        {gaugehost::ValueLevel::Critical, true,
         "status: \x1b[1;31mCPU temperature 85 " DEG "C is above warn 80 " DEG "C\x1b[0m\n",
         "  CPU temperature     85       \x1b[1;31m85 " DEG "C\x1b[0m     80 " DEG "C\n"},
        {gaugehost::ValueLevel::Warning, false,
         "status: CPU temperature 85 " DEG "C is above warn 80 " DEG "C\n",
         "  CPU temperature     85       85 " DEG "C !   80 " DEG "C\n"},
        {gaugehost::ValueLevel::Critical, false,
         "status: CPU temperature 85 " DEG "C is above warn 80 " DEG "C\n",
         "  CPU temperature     85       85 " DEG "C !!  80 " DEG "C\n"},
        {gaugehost::ValueLevel::Normal, false, "status: ok\n",
         "  CPU temperature     85       85 " DEG "C     80 " DEG "C\n"},
    };
    for (const Case& c : cases) {
        PanelFrame frame;
        frame.status = c.level == gaugehost::ValueLevel::Normal ? "ok"
                                                                : "CPU temperature 85 " DEG
                                                                  "C is above warn 80 " DEG "C";
        frame.statusLevel = c.level;
        frame.color = c.color;
        frame.rows = {{"CPU temperature", "85", "85 " DEG "C", "80 " DEG "C", "", "", c.level}};
        const std::string text = formatPanelFrame(frame);
        EXPECT_NE(text.find(c.status), std::string::npos) << text;
        EXPECT_NE(text.find(c.row), std::string::npos) << text;
    }
#undef DEG
}

// Prose breaks between words, the lines after the first indented; a word
// longer than the line is cut.
TEST(PanelFrameLayout, TheHeaderBreaksBetweenWords)
{
    struct Row {
        const char* text;
        size_t width;
        std::vector<std::string> lines;
    };
    const Row rows[] = {
        {"profile: sensors CPU 0, GPU 2, memory 1, other 3; fan speed texts are rpm / 30",
         60,
         {"profile: sensors CPU 0, GPU 2, memory 1, other 3; fan speed", "  texts are rpm / 30"}},
        {"readers refresh every 5 s; temperatures warn at 80 \xC2\xB0"
         "C, critical at 95 \xC2\xB0"
         "C",
         40,
         {"readers refresh every 5 s; temperatures", "  warn at 80 \xC2\xB0"
                                                     "C, critical at 95 \xC2\xB0"
                                                     "C"}},
        {"status: ok", 60, {"status: ok"}},
        {"Gaugelet on Inspiron8600WithoutBlanks", 20, {"Gaugelet on", "  Inspiron8600Withou"}},
    };
    for (const Row& row : rows)
        EXPECT_EQ(gaugehost::wrapAtWords(row.text, row.width), row.lines) << row.text;
}

struct FrameCase {
    const char* what;
    bool interactive;
    bool color;
    size_t width;
    size_t lines; // the header, the count and the message broken between words
};

TEST(PanelFrameLayout, EveryLineFitsTheWidthAndColourOnlyWhereAsked)
{
    const FrameCase cases[] = {
        {"a pipe", false, false, 80, 10},
        {"a terminal", true, true, 80, 13},
        {"a narrow terminal", true, true, 40, 17},
        {"a terminal without colour", true, false, 60, 14},
    };
    for (const FrameCase& c : cases) {
        PanelFrame frame = sampleFrame();
        frame.interactive = c.interactive;
        frame.color = c.color;
        frame.width = c.width;
        frame.message = "fan 1 set to High (the readers show it at their next refresh)";
        const std::string text = formatPanelFrame(frame);
        size_t start = 0, lines = 0;
        for (size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
            EXPECT_LE(gaugehost::displayWidth(text.substr(start, end - start)), c.width)
                << c.what << ": " << text.substr(start, end - start);
            ++lines;
        }
        EXPECT_EQ(text.find('\x1b') != std::string::npos, c.color) << c.what;
        EXPECT_EQ(text.find("keys: 0 1 2") != std::string::npos, c.interactive) << c.what;
        EXPECT_EQ(text.find("fan 1 set to") != std::string::npos, c.interactive) << c.what;
        EXPECT_EQ(lines, c.lines) << c.what;
        if (c.color) {
            EXPECT_NE(text.find("\x1b[1;31m97 \xC2\xB0"
                                "C\x1b[0m"),
                      std::string::npos)
                << c.what << ": a critical temperature is red";
        }
    }
}

TEST(PanelFrameLayout, UnknownModelAndMissingDriverSaySo)
{
    PanelFrame frame;
    frame.status = "zephr driver not loaded";
    EXPECT_EQ(formatPanelFrame(frame).rfind("Gaugelet on an unknown notebook, no zephr driver\n"
                                            "status: zephr driver not loaded\n",
                                            0),
              0u);
}

} // namespace
