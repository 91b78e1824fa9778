// SPDX-License-Identifier: MIT
// model_profile_test.cpp
//
// The model profile chosen from product names, and the value the report's
// "Product name:" line gives, with the plug-in's sources linked in.
#include "plugin/driver_connection.h"

#include <gtest/gtest.h>

#include <cstring>

#include <string>
#include <vector>

namespace {

struct Chosen {
    int gpu, dimm, divide;
    bool operator==(const Chosen&) const = default;
};

Chosen profileOf(const char* name)
{
    const GaugeletProfile profile = GaugeletProfileFor(name);
    EXPECT_EQ(profile.Sensor[GaugeletCpu], 0);
    EXPECT_EQ(profile.Sensor[GaugeletOther], 3);
    return {profile.Sensor[GaugeletGpu], profile.Sensor[GaugeletDimm],
            profile.FanDivisor == GAUGELET_FAN_SPEED_DIVISOR ? 1 : 0};
}

TEST(ModelProfile, TheTableOfModels)
{
    const Chosen swapped{2, 1, 1}, divided{1, 2, 1}, plain{1, 2, 0};
    EXPECT_EQ(profileOf("Inspiron 8500"), swapped);
    EXPECT_EQ(profileOf("Inspiron 8600"), swapped);
    EXPECT_EQ(profileOf("Latitude D800"), swapped);
    EXPECT_EQ(profileOf("Precision M60"), swapped);
    EXPECT_EQ(profileOf("Latitude D400"), plain);
    EXPECT_EQ(profileOf("Latitude D500"), plain);
    EXPECT_EQ(profileOf("Latitude D600"), plain);
    EXPECT_EQ(profileOf("Inspiron 9100"), divided);
    EXPECT_EQ(profileOf("Inspiron 9200"), divided);
    EXPECT_EQ(profileOf("Inspiron XPS"), divided);
    EXPECT_EQ(profileOf("Inspiron 6000"), divided);
    EXPECT_EQ(profileOf("Latitude D610"), divided);
    EXPECT_EQ(profileOf("Precision M70"), divided);
    EXPECT_EQ(profileOf("Latitude D810"), divided);
    EXPECT_EQ(profileOf("OptiPlex GX270"), plain);
    EXPECT_EQ(profileOf(""), plain);
}

TEST(ModelProfile, WordsAreCaseSensitiveAndTheExclusionStandsAlone)
{
    EXPECT_EQ(profileOf("inspiron 8500"), (Chosen{1, 2, 0}));
    EXPECT_EQ(profileOf("Inspiron 8600 D400"), (Chosen{1, 2, 0}));
    // The second group applies whatever the first did.
    EXPECT_EQ(profileOf("Inspiron 8600 D500 Latitude D610"), (Chosen{1, 2, 1}));
}

class ReportValue : public ::testing::Test {
  protected:
    std::vector<char> report;
    char name[MODEL_NAME_SIZE];

    std::string valueOf(const std::string& text)
    {
        report.assign(text.begin(), text.end());
        report.push_back('\0');
        ReportText = report.data();
        std::memset(name, 'X', sizeof name);
        name[sizeof name - 1] = '\0';
        GetReportValue("Product name:", name, sizeof name);
        EXPECT_EQ(std::string(report.data()), text) << "the report is left as it was";
        ReportText = nullptr;
        return name;
    }
};

TEST_F(ReportValue, TheLineWithoutTheWhiteSpaceAroundIt)
{
    EXPECT_EQ(valueOf("BIOS vendor: Nord\r\nProduct name: Inspiron 8600  \r\nService tag: X\r\n"),
              "Inspiron 8600");
    EXPECT_EQ(valueOf("Product name: \t Latitude D810 \t\r\n"), "Latitude D810");
    EXPECT_EQ(valueOf("Product name:\r\nService tag: 1\r\n"), "");
    EXPECT_EQ(valueOf("Product name:    \r\n"), "");
    EXPECT_EQ(valueOf("Product name: last line"), "last line");
    EXPECT_EQ(valueOf("Product name: A\r\nProduct name: B\r\n"), "A");
}

TEST_F(ReportValue, AMissingLineLeavesTheDestinationAlone)
{
    EXPECT_EQ(valueOf("*** Error: No SMBIOS found ***"), std::string(MODEL_NAME_SIZE - 1, 'X'));
    EXPECT_EQ(valueOf("product name: lower case\r\n"), std::string(MODEL_NAME_SIZE - 1, 'X'));
}

TEST_F(ReportValue, ALongNameIsCutToTheBuffer)
{
    std::string longName(300, 'N');
    EXPECT_EQ(valueOf("Product name: " + longName + "\r\n"), std::string(MODEL_NAME_SIZE - 1, 'N'));
}

} // namespace
