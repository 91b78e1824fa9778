// panel_keys_test.cpp
//
// The panel's keys (fan states through the setter, unit and degree texts,
// quit) and the layout of its frame.
#include "tools/gaugehost/panel.h"

#include <gtest/gtest.h>

#include <utility>
#include <vector>

namespace {

using gaugehost::applyPanelKey;
using gaugehost::formatPanelFrame;
using gaugehost::PanelFrame;
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
    EXPECT_EQ(settings.message, "fan 2 set to High (the readers show it at their next refresh)");
    fans.answer = false;
    applyPanelKey('1', settings, fans.setter());
    EXPECT_EQ(settings.message, "fan 1 was not set to Slow (the driver or the BIOS refused)");
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

TEST(PanelFrameLayout, LabelsInAColumnAndTheHelpLineOnlyWhenLive)
{
    PanelFrame frame;
    frame.lines = {{"GetCPUTemp", "52\xC2\xB0"}, {"AVeryLongReaderName", "x"}};
    frame.requests = "device requests sent: 3 by the plug-in, 1 by the panel";
    PanelSettings settings;
    settings.message = "fan 1 set to Off";
    const std::string once = formatPanelFrame(frame, settings);
    EXPECT_EQ(once, "Gaugelet on an unknown notebook\n\n"
                    "  GetCPUTemp    52\xC2\xB0\n"
                    "  AVeryLongReaderName x\n\n"
                    "device requests sent: 3 by the plug-in, 1 by the panel\n"
                    "temperature unit: c   degree sign: no\n");
    frame.interactive = true;
    frame.model = "Latitude D810";
    const std::string live = formatPanelFrame(frame, settings);
    EXPECT_EQ(live.rfind("Gaugelet on Latitude D810\n", 0), 0u);
    EXPECT_NE(live.find("keys: 0 1 2 fan 1"), std::string::npos);
    EXPECT_NE(live.find("\nfan 1 set to Off\n"), std::string::npos);
}

} // namespace
