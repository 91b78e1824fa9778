// SPDX-License-Identifier: MIT
/*
 * model_profile.cpp
 *
 * The model profile: from the notebook's product name, which temperature
 * sensor each temperature reader asks for and whether fan speeds are divided
 * by 30 before they are shown. Two groups of name-word pairs, tested in
 * order, each on what the previous left. A pure function of the name: the
 * plug-in sets its process-wide profile from it at attach, the tools call it
 * on the name they read themselves.
 */
#include "plugin/plain_text.h"
#include "plugin/vocabulary.h"

typedef struct ModelWords {
    const char* Line;
    const char* Model;
} ModelWords;

/* Models whose GPU and DIMM sensors are swapped and whose speeds are divided. */
static const ModelWords SwappedSensorModels[] = {
    {"Inspiron", "8500"}, {"Inspiron", "8600"}, {"Latitude", "D800"}, {"Latitude", "D500"},
    {"Latitude", "D400"}, {"Precision", "M60"}, {"Latitude", "D600"},
};

/* Names that keep the default sensors although they match a pair above. */
static const char* const DefaultSensorWords[] = {"D400", "D500", "D600"};

/* Models whose fan speeds are divided by 30. */
static const ModelWords DividedSpeedModels[] = {
    {"Inspiron", "9100"}, {"Inspiron", "9200"}, {"Inspiron", "XPS"},  {"Inspiron", "6000"},
    {"Latitude", "D610"}, {"Precision", "M70"}, {"Latitude", "D810"},
};

#define COUNT(Table) (sizeof(Table) / sizeof((Table)[0]))

static int MatchesAny(const char* name, const ModelWords* models, size_t count)
{
    size_t i;
    for (i = 0; i < count; i++) {
        if (FindText(name, models[i].Line) != NULL && FindText(name, models[i].Model) != NULL)
            return 1;
    }
    return 0;
}

static int HoldsAny(const char* name, const char* const* words, size_t count)
{
    size_t i;
    for (i = 0; i < count; i++) {
        if (FindText(name, words[i]) != NULL)
            return 1;
    }
    return 0;
}

GaugeletProfile GaugeletProfileFor(const char* ProductName)
{
    GaugeletProfile profile = GaugeletDefaultProfile;
    if (MatchesAny(ProductName, SwappedSensorModels, COUNT(SwappedSensorModels)) &&
        !HoldsAny(ProductName, DefaultSensorWords, COUNT(DefaultSensorWords))) {
        profile.FanDivisor = GAUGELET_FAN_SPEED_DIVISOR;
        profile.Sensor[GaugeletGpu] = 2;
        profile.Sensor[GaugeletDimm] = 1;
    }
    if (MatchesAny(ProductName, DividedSpeedModels, COUNT(DividedSpeedModels)))
        profile.FanDivisor = GAUGELET_FAN_SPEED_DIVISOR;
    return profile;
}
