// SPDX-License-Identifier: MIT
/*
 * host_interface.cpp
 *
 * The host-facing exports: the reader list, each reader's parameters, the
 * plug-in's type and descriptions, and the life of an instance record.
 */
#include "plugin/host_interface.h"

#include "common/zephr_ioctl.h"
#include "plugin/plain_text.h"
#include "plugin/vocabulary.h"

#include <stdlib.h>

static const char ReaderList[] = GAUGELET_READER_LIST;

static const char TemperatureParameters[] =
    "refresh rate (seconds)=5|temperature unit (c or f)=c|show degree symbol=no|";
static const char FanParameters[] = "refresh rate(seconds)=5|";

/*
 * getinfo's texts by index: description, author, version, two dates (year,
 * month, day), the host's web site, the author's e-mail address. The author
 * is the project, which has no mailbox of its own, so that text is empty.
 */
static const char* const InfoTexts[] = {
    "tz4 zephr interface",
    "the zephr project",
    "1.1",
    "050126",
    "050308",
    "http://www.samurize.com",
    "",
};

extern "C" const char* init(void)
{
    return ReaderList;
}

extern "C" const char* getparam(const char* name)
{
    if (name != NULL && FindText(name, "Temp") != NULL)
        return TemperatureParameters;
    return FanParameters;
}

extern "C" InstanceRecord* dllstartup(int first, int second)
{
    (void)first;
    (void)second;
    InstanceRecord* instance = (InstanceRecord*)malloc(sizeof(InstanceRecord));
    if (instance == NULL)
        return NULL;
    instance->Text = (char*)malloc(INSTANCE_TEXT_SIZE);
    if (instance->Text == NULL) {
        free(instance);
        return NULL;
    }
    instance->LastRefresh.dwLowDateTime = 0;
    instance->LastRefresh.dwHighDateTime = 0;
    /*
     * The first refresh always writes Text; until then it holds the empty
     * text rather than stale heap bytes, and Value reads as "no value" should
     * a first request leave it untouched.
     */
    instance->Text[0] = '\0';
    instance->Value = ZEPHR_NO_VALUE;
    return instance;
}

extern "C" int dllshutdown(InstanceRecord* instance)
{
    if (instance != NULL) {
        free(instance->Text);
        free(instance);
    }
    return 0;
}

extern "C" int dlltype(void)
{
    return 1;
}

extern "C" const char* getinfo(unsigned int index)
{
    if (index < sizeof(InfoTexts) / sizeof(InfoTexts[0]))
        return InfoTexts[index];
    return "";
}
