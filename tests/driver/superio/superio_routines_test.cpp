// SPDX-License-Identifier: MIT
// superio_routines_test.cpp
//
// The Super I/O routines called directly: the index verify, the probe of one
// port, what detection leaves in SioConfigPort and SioRuntimeBase, and the
// duty routines' own checks (the third duty register 0x95 and fan and duty
// values that the dispatcher would refuse).
#include "driver/zephr.h"
#include "superio_notebook.h"

#include <gtest/gtest.h>

using zephr_test::chipWith;
using zephr_test::notebookWithChip;
using zephr_test::notebookWithoutChip;
using zephr_test::SuperIoNotebook;

namespace {

class SuperIoRoutines : public testing::Test {
  protected:
    SuperIoRoutines()
    {
        ZephrInitializeLocks();
        // As at load: nothing detected.
        SioConfigPort = 0;
        SioRuntimeBase = 0;
    }
    ~SuperIoRoutines() override
    {
        sim::installMachine(nullptr);
    }
    void install(SuperIoNotebook given)
    {
        notebook = std::move(given);
        sim::installMachine(notebook.machine);
    }
    sim::Trace& trace()
    {
        return notebook.machine->trace;
    }

    SuperIoNotebook notebook;
};

TEST_F(SuperIoRoutines, DetectionFindsTheChipAgainFromConfigurationMode)
{
    install(notebookWithChip());
    EXPECT_EQ(SioDetect(), 0xFFFFFFFFu);
    EXPECT_EQ(SioDetect(), 0xFFFFFFFFu) << "again, from configuration mode";
    EXPECT_EQ(SioConfigPort, 0x2Eu);
}

TEST_F(SuperIoRoutines, AFailedDetectionKeepsTheBaseItFoundBefore)
{
    install(notebookWithChip());
    ASSERT_EQ(SioDetect(), 0xFFFFFFFFu);
    install(notebookWithoutChip());
    EXPECT_EQ(SioDetect(), 0u);
    EXPECT_EQ(SioConfigPort, 0x4Eu) << "the port last probed";
    EXPECT_EQ(SioRuntimeBase, 0x0680u);
}

TEST_F(SuperIoRoutines, AChipThatNowReportsBaseZeroClearsTheBase)
{
    install(notebookWithChip());
    ASSERT_EQ(SioDetect(), 0xFFFFFFFFu);
    for (uint8_t index : {0x60, 0x61}) {
        PortWriteByte(0x2E, index);
        PortWriteByte(0x2F, 0x00);
    }
    EXPECT_EQ(SioDetect(), 0u);
    EXPECT_EQ(SioRuntimeBase, 0u);
    trace().clear();
    EXPECT_EQ(SioGetFanDuty(0), 0xFFFFFFFFu);
    EXPECT_TRUE(zephr_test::portLines(trace(), 0x0000).empty());
    EXPECT_TRUE(zephr_test::portLines(trace(), 0x0001).empty());
}

TEST_F(SuperIoRoutines, FanTwoIsTheThirdDutyRegister)
{
    install(notebookWithChip());
    EXPECT_EQ(SioSetFanDuty(2, 33), 0xFFFFFFFFu);
    EXPECT_EQ(notebook.chip->runtimeRegister(0x95), 0xC2);
    EXPECT_EQ(SioGetFanDuty(2), 33u);
}

TEST_F(SuperIoRoutines, TheRoutinesCheckFanAndDutyThemselves)
{
    install(notebookWithChip());
    ASSERT_EQ(SioDetect(), 0xFFFFFFFFu);
    trace().clear();
    EXPECT_EQ(SioSetFanDuty(3, 1), 0u);
    EXPECT_EQ(SioGetFanDuty(3), 0xFFFFFFFFu);
    EXPECT_EQ(SioSetFanDuty(0, 64), 0u);
    EXPECT_EQ(SioSetFanDuty(0, 0xFFFF), 0u);
    EXPECT_TRUE(trace().lines().empty()) << "no register is touched";
    EXPECT_EQ(notebook.chip->runtimeRegister(0x92), 0x80);
}

} // namespace
