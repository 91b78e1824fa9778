// SPDX-License-Identifier: MIT
// dispatch_test.cpp
//
// The control-code protocol through the real driver image: lengths, words
// read, bounds, status codes and Information, as a caller of
// DeviceIoControl sees them.
#include "support/driver_harness.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <thread>

using zephr_test::Device;
using zephr_test::LoadedDriver;

namespace {

class Dispatch : public ::testing::Test {
  protected:
    LoadedDriver driver;
    Device device;

    size_t smiCount()
    {
        return driver.machine().trace.linesStartingWith("smi").size();
    }
};

TEST_F(Dispatch, VersionRecordIsOneFiveInEightBytes)
{
    ASSERT_TRUE(device.open());
    auto reply = device.ioctl(IOCTL_ZEPHR_GET_VERSION, {}, ZEPHR_VERSION_LENGTH);
    ASSERT_TRUE(reply.ok) << reply.error;
    EXPECT_EQ(reply.bytes, reply.output.size());
    EXPECT_EQ(reply.output, (std::vector<uint8_t>{1, 0, 0, 0, 5, 0, 0, 0}));
}

// Every row of the protocol table as a caller sees it: the lengths, the
// words read and their bounds, and Information.
class DispatchRow : public Dispatch, public ::testing::WithParamInterface<ZEPHR_CONTROL_CODE_ROW> {
  protected:
    // The row's minimum input: its words where it reads any.
    static std::vector<uint8_t> input(uint16_t word0 = 0, uint16_t word1 = 0)
    {
        std::vector<uint8_t> bytes = {uint8_t(word0), uint8_t(word0 >> 8), uint8_t(word1),
                                      uint8_t(word1 >> 8)};
        bytes.resize(GetParam().MinInputLength);
        return bytes;
    }
    // The field's value in the word that fills it, the other word 0.
    static std::vector<uint8_t> inputWith(ZEPHR_FIELD field, uint16_t value)
    {
        const ZEPHR_CONTROL_CODE_ROW& row = GetParam();
        return input(row.Word0 == field ? value : 0, row.Word1 == field ? value : 0);
    }
};

TEST_P(DispatchRow, ABufferOneByteShortIsRefusedWithBufferTooSmall)
{
    const ZEPHR_CONTROL_CODE_ROW& row = GetParam();
    if (row.MinInputLength > 0) {
        // Short although most codes read only word 0.
        std::vector<uint8_t> shortInput = input();
        shortInput.pop_back();
        auto reply = device.ioctl(row.Code, shortInput, row.MinOutputLength);
        EXPECT_EQ(reply.error, ERROR_INSUFFICIENT_BUFFER);
        EXPECT_EQ(reply.bytes, 0u);
    }
    auto reply = device.ioctl(row.Code, input(), row.MinOutputLength - 1);
    EXPECT_EQ(reply.error, ERROR_INSUFFICIENT_BUFFER);
    EXPECT_EQ(reply.bytes, 0u);
    EXPECT_EQ(reply.output, std::vector<uint8_t>(row.MinOutputLength - 1, 0xEE))
        << "refused output was touched";
    EXPECT_EQ(smiCount(), 0u) << "a refused request touched the hardware";
}

TEST_P(DispatchRow, InformationIsTheMinimumOutputWhateverTheBufferLength)
{
    const ZEPHR_CONTROL_CODE_ROW& row = GetParam();
    auto exact = device.ioctl(row.Code, input(), row.MinOutputLength);
    ASSERT_TRUE(exact.ok) << exact.error;
    EXPECT_EQ(exact.bytes, row.MinOutputLength);

    auto longer = device.ioctl(row.Code, input(), row.MinOutputLength + 100);
    ASSERT_TRUE(longer.ok) << longer.error;
    EXPECT_EQ(longer.bytes, row.MinOutputLength);
    // Only the minimum comes back; the rest of the caller's buffer is as the
    // caller left it.
    EXPECT_TRUE(std::all_of(longer.output.begin() + row.MinOutputLength, longer.output.end(),
                            [](uint8_t b) { return b == 0xEE; }));
}

TEST_P(DispatchRow, EachWordReadIsBoundedAndAWordNotReadIsIgnored)
{
    const ZEPHR_CONTROL_CODE_ROW& row = GetParam();
    for (ZEPHR_FIELD field : {row.Word0, row.Word1}) {
        if (field == ZephrFieldNone) {
            continue;
        }
        const uint16_t bound = ZephrFieldBound[field];
        const size_t smiBefore = smiCount();
        for (uint16_t above : {uint16_t(bound + 1), uint16_t(0xFFFF)}) {
            auto reply = device.ioctl(row.Code, inputWith(field, above), row.MinOutputLength);
            EXPECT_EQ(reply.error, ERROR_INVALID_PARAMETER)
                << ZephrFieldName[field] << " " << above;
            EXPECT_EQ(reply.bytes, 0u);
            EXPECT_EQ(reply.output, std::vector<uint8_t>(row.MinOutputLength, 0xEE))
                << "refused output was touched";
        }
        EXPECT_EQ(smiCount(), smiBefore) << "an out-of-bounds request touched the hardware";
        auto atBound = device.ioctl(row.Code, inputWith(field, bound), row.MinOutputLength);
        EXPECT_TRUE(atBound.ok) << ZephrFieldName[field] << " " << bound;
    }
    if (row.MinInputLength > 0 && row.Word1 == ZephrFieldNone) {
        auto reply = device.ioctl(row.Code, input(0, 0xFFFF), row.MinOutputLength);
        EXPECT_TRUE(reply.ok) << "word 1 is not read";
        EXPECT_EQ(reply.bytes, row.MinOutputLength);
    }
}

INSTANTIATE_TEST_SUITE_P(Codes, DispatchRow, ::testing::ValuesIn(ZephrControlCodes),
                         [](const ::testing::TestParamInfo<ZEPHR_CONTROL_CODE_ROW>& info) {
                             return std::string(info.param.Name);
                         });

TEST_F(Dispatch, CodesOutsideTheTableAreInvalidParameters)
{
    std::vector<DWORD> invalid = {0x9C40A40C, 0x9C40A3FC, 0x9C40A450, 0x9C40A420, 0x9C40A43C,
                                  0x9C40A401, 0x9C40A402, 0x00000000, 0xFFFFBFFF, 0x9C41A400,
                                  0x9C402400 /* any access instead of write */};
    // Every code between the first and the last that is not a row.
    for (DWORD code = ZEPHR_FIRST_CODE; code <= ZEPHR_LAST_CODE; ++code) {
        if (ZephrFindControlCode(code) == nullptr) {
            invalid.push_back(code);
        }
    }
    for (DWORD code : invalid) {
        auto reply = device.ioctl(code, {0, 0, 0, 0}, ZEPHR_ACPI_REPORT_LENGTH);
        EXPECT_FALSE(reply.ok) << std::hex << code;
        EXPECT_EQ(reply.error, ERROR_INVALID_PARAMETER) << std::hex << code;
        EXPECT_EQ(reply.bytes, 0u);
    }
}

TEST_F(Dispatch, TextAnswersCarryNoStaleBytesPastTheirEnd)
{
    // The I/O manager fills the system buffer with a non-zero pattern; what
    // the caller gets back past the text must be zero.
    for (DWORD code :
         {IOCTL_ZEPHR_GET_SYSINFO, IOCTL_ZEPHR_GET_CPU_SPEED, IOCTL_ZEPHR_GET_ACPI_REPORT}) {
        auto reply = device.ioctl(code, {}, 40000);
        ASSERT_TRUE(reply.ok) << std::hex << code;
        std::string text = reply.text();
        ASSERT_LE(text.size() + 1, reply.bytes);
        EXPECT_TRUE(std::all_of(reply.output.begin() + text.size(),
                                reply.output.begin() + reply.bytes,
                                [](uint8_t b) { return b == 0; }))
            << std::hex << code;
    }
}

TEST_F(Dispatch, OpenAndCloseAlwaysSucceedAndPrintTheirMessage)
{
    driver.machine().trace.clear();
    {
        Device second;
        Device third(GENERIC_READ | GENERIC_WRITE);
        EXPECT_TRUE(second.open());
        EXPECT_TRUE(third.open());
    }
    auto lines = driver.machine().trace.linesStartingWith("dbg");
    EXPECT_EQ(lines, std::vector<std::string>(4, "dbg Zephr: Open / Close"));
}

TEST_F(Dispatch, AHandleWithoutWriteAccessCannotSendTheCodes)
{
    Device readOnly(GENERIC_READ);
    ASSERT_TRUE(readOnly.open());
    auto reply = readOnly.ioctl(IOCTL_ZEPHR_GET_VERSION, {}, ZEPHR_VERSION_LENGTH);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, ERROR_ACCESS_DENIED);
}

TEST_F(Dispatch, ConcurrentRequestsAllGetTheirOwnAnswers)
{
    driver.machine().smm.temperatures[7] = 61;
    std::vector<std::thread> threads;
    std::vector<int> wrong(8, 0);
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 200; ++i) {
                auto temp = device.words(IOCTL_ZEPHR_GET_TEMP, 7);
                auto version = device.ioctl(IOCTL_ZEPHR_GET_VERSION, {}, ZEPHR_VERSION_LENGTH);
                if (!temp.ok || temp.word() != 61 || !version.ok ||
                    version.bytes != ZEPHR_VERSION_LENGTH) {
                    ++wrong[t];
                }
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    EXPECT_EQ(std::count(wrong.begin(), wrong.end(), 0), 8);
}

} // namespace
