// SPDX-License-Identifier: MIT
// zephr_device_check.cpp
//
// A Win32 console program that checks the zephr device through the real
// CreateFileA and DeviceIoControl, run under Wine by tests/wine:
//   zephr_device_check production   the shipped zephr.sys (no SMM, no mapping)
//   zephr_device_check testhw       zephr-testhw.sys and its fixed notebook
//   zephr_device_check absent       no driver: the device must not open
// Each check prints "ok NAME" or "FAIL NAME: what was seen"; the last line is
// "device checks: N ok, M bad". Exit status 0 when every check held.
#include <windows.h>

#include "common/zephr_ioctl.h"
#include "driver/primitives/testhw_notebook.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

namespace {

int okCount = 0;
int badCount = 0;

void check(bool held, const char* name, const std::string& seen)
{
    if (held) {
        ++okCount;
        std::printf("ok %s\n", name);
    } else {
        ++badCount;
        std::printf("FAIL %s: %s\n", name, seen.c_str());
    }
    std::fflush(stdout);
}

// One request's outcome: whether DeviceIoControl succeeded, the Win32 error
// when it did not, the bytes returned, and the buffer.
struct Answer {
    bool succeeded = false;
    DWORD error = 0;
    DWORD returned = 0;
    std::vector<unsigned char> buffer;

    uint32_t word() const
    {
        uint32_t value = 0;
        if (buffer.size() >= 4)
            std::memcpy(&value, buffer.data(), 4);
        return value;
    }
    std::string describe() const
    {
        char text[96];
        if (succeeded)
            std::snprintf(text, sizeof text, "succeeded, %lu bytes, word 0x%08x",
                          static_cast<unsigned long>(returned), static_cast<unsigned>(word()));
        else
            std::snprintf(text, sizeof text, "failed with error %lu",
                          static_cast<unsigned long>(error));
        return text;
    }
};

Answer request(HANDLE device, DWORD code, const void* input, DWORD inputLength, DWORD outputLength)
{
    Answer answer;
    answer.buffer.assign(outputLength > inputLength ? outputLength : inputLength, 0xCC);
    if (inputLength != 0)
        std::memcpy(answer.buffer.data(), input, inputLength);
    SetLastError(0);
    answer.succeeded = DeviceIoControl(device, code, inputLength ? answer.buffer.data() : nullptr,
                                       inputLength, outputLength ? answer.buffer.data() : nullptr,
                                       outputLength, &answer.returned, nullptr) != FALSE;
    answer.error = answer.succeeded ? 0 : GetLastError();
    answer.buffer.resize(outputLength);
    return answer;
}

// The code's minimum lengths, from the protocol table.
DWORD minimumInput(DWORD code)
{
    return ZephrFindControlCode(code)->MinInputLength;
}

DWORD minimumOutput(DWORD code)
{
    return ZephrFindControlCode(code)->MinOutputLength;
}

// A request that reads no input, with the code's minimum output.
Answer ask(HANDLE device, DWORD code, DWORD outputLength = 0)
{
    return request(device, code, nullptr, 0, outputLength ? outputLength : minimumOutput(code));
}

// A request with the two words, by default with the code's minimum lengths.
Answer requestWords(HANDLE device, DWORD code, uint16_t word0, uint16_t word1,
                    DWORD inputLength = 0, DWORD outputLength = 0)
{
    ZEPHR_REQUEST words = {word0, word1};
    return request(device, code, &words, inputLength ? inputLength : minimumInput(code),
                   outputLength ? outputLength : minimumOutput(code));
}

void expectError(const Answer& answer, DWORD error, const char* name)
{
    check(!answer.succeeded && answer.error == error, name,
          answer.describe() + ", wanted error " + std::to_string(error));
}

void expectWord(const Answer& answer, uint32_t word, const char* name)
{
    check(answer.succeeded && answer.returned == ZEPHR_ANSWER_LENGTH && answer.word() == word, name,
          answer.describe() + ", wanted word " + std::to_string(word));
}

void checkVersion(HANDLE device, const char* name)
{
    const unsigned char expected[] = {1, 0, 0, 0, 5, 0, 0, 0};
    Answer answer = ask(device, IOCTL_ZEPHR_GET_VERSION);
    check(answer.succeeded && answer.returned == sizeof expected &&
              std::memcmp(answer.buffer.data(), expected, sizeof expected) == 0,
          name, answer.describe());
}

std::string textOf(const Answer& answer)
{
    const char* text = reinterpret_cast<const char*>(answer.buffer.data());
    return std::string(text, strnlen(text, answer.buffer.size()));
}

// Refusals: the NT statuses STATUS_INVALID_PARAMETER and
// STATUS_BUFFER_TOO_SMALL reach the caller as ERROR_INVALID_PARAMETER (87)
// and ERROR_INSUFFICIENT_BUFFER (122).
void checkRefusals(HANDLE device)
{
    expectError(ask(device, 0x9C40A40Cu, ZEPHR_ANSWER_LENGTH), ERROR_INVALID_PARAMETER,
                "function 0x903 is refused");
    expectError(ask(device, 0x9C40A3FCu, ZEPHR_ANSWER_LENGTH), ERROR_INVALID_PARAMETER,
                "code below the table is refused");
    expectError(ask(device, 0x9C40A450u, ZEPHR_ANSWER_LENGTH), ERROR_INVALID_PARAMETER,
                "code past the table is refused");
    expectError(ask(device, IOCTL_ZEPHR_GET_VERSION, minimumOutput(IOCTL_ZEPHR_GET_VERSION) - 1),
                ERROR_INSUFFICIENT_BUFFER, "version output one byte short is too small");
    expectError(requestWords(device, IOCTL_ZEPHR_GET_FAN_STATE, 0, 0, sizeof(uint16_t)),
                ERROR_INSUFFICIENT_BUFFER, "fan state input of one word is too small");
    expectError(ask(device, IOCTL_ZEPHR_GET_SYSINFO, minimumOutput(IOCTL_ZEPHR_GET_SYSINFO) - 1),
                ERROR_INSUFFICIENT_BUFFER, "report output one byte short is too small");
    expectError(requestWords(device, IOCTL_ZEPHR_GET_FAN_SPEED, 2, 0), ERROR_INVALID_PARAMETER,
                "fan 2 is out of bounds");
    expectError(requestWords(device, IOCTL_ZEPHR_SET_FAN_STATE, 0, 3), ERROR_INVALID_PARAMETER,
                "fan state 3 is out of bounds");
    expectError(requestWords(device, IOCTL_ZEPHR_GET_TEMP, 256, 0), ERROR_INVALID_PARAMETER,
                "sensor 256 is out of bounds");
    expectError(requestWords(device, IOCTL_ZEPHR_SET_PWM, 0, 64), ERROR_INVALID_PARAMETER,
                "duty 64 is out of bounds");
}

void expectText(const Answer& answer, DWORD code, const char* wanted, const char* name)
{
    std::string text = textOf(answer);
    check(answer.succeeded && answer.returned == minimumOutput(code) &&
              text.find(wanted) != std::string::npos,
          name, answer.describe() + ", text \"" + text.substr(0, 200) + "\"");
}

// Wine maps no physical memory (MmMapIoSpace answers null), so every firmware
// report tells so in its text, and the request itself succeeds.
void checkFirmwareReports(HANDLE device)
{
    expectText(ask(device, IOCTL_ZEPHR_GET_SYSINFO), IOCTL_ZEPHR_GET_SYSINFO,
               "*** Error: BIOS segment mapping failed ***",
               "system information reports the unmapped BIOS segment");
    expectText(ask(device, IOCTL_ZEPHR_GET_ACPI_REPORT), IOCTL_ZEPHR_GET_ACPI_REPORT,
               "*** ERROR: No ACPI BIOS found ***", "ACPI report finds no ACPI BIOS");
    Answer speed = ask(device, IOCTL_ZEPHR_GET_CPU_SPEED);
    check(speed.succeeded && speed.returned == minimumOutput(IOCTL_ZEPHR_GET_CPU_SPEED) &&
              textOf(speed) == "---",
          "CPU speed is --- without a table",
          speed.describe() + ", text \"" + textOf(speed) + "\"");
}

// The device is not exclusive: a second handle opens while the first is open.
void checkSecondHandle()
{
    HANDLE second = CreateFileA(ZEPHR_USER_PATH, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    check(second != INVALID_HANDLE_VALUE, "a second handle opens beside the first",
          "CreateFileA failed with error " + std::to_string(GetLastError()));
    if (second != INVALID_HANDLE_VALUE) {
        checkVersion(second, "the second handle is served");
        CloseHandle(second);
    }
}

// Under Wine neither SMM nor the Super I/O ports exist for the production
// driver, so its requests are only sent where they cannot fault: the
// accepted-request path is shown by the version and report codes.
void checkProduction(HANDLE device)
{
    checkVersion(device, "version is 1.5 in 8 bytes");
    checkRefusals(device);
    checkFirmwareReports(device);
    checkVersion(device, "driver still serves requests after the reports");
    checkSecondHandle();
}

// Every code of the protocol table at its boundary lengths, with both
// request words 0: the minimum input and output are accepted and the
// answer fills the minimum output; one byte less of either is too small.
// The lengths are the same for 32-bit and 64-bit callers (no request
// carries a pointer), so the table runs unchanged in both builds.
void checkEveryCodeAtItsBoundaries(HANDLE device)
{
    for (const ZEPHR_CONTROL_CODE_ROW& row : ZephrControlCodes) {
        const std::string name = row.Name;
        ZEPHR_REQUEST words = {0, 0};
        Answer exact = request(device, row.Code, &words, row.MinInputLength, row.MinOutputLength);
        check(exact.succeeded && exact.returned == row.MinOutputLength,
              (name + " at its minimum lengths fills its output").c_str(), exact.describe());
        if (row.MinOutputLength > 0)
            expectError(
                request(device, row.Code, &words, row.MinInputLength, row.MinOutputLength - 1),
                ERROR_INSUFFICIENT_BUFFER, (name + " output one byte short is too small").c_str());
        if (row.MinInputLength > 0)
            expectError(
                request(device, row.Code, &words, row.MinInputLength - 1, row.MinOutputLength),
                ERROR_INSUFFICIENT_BUFFER, (name + " input one byte short is too small").c_str());
    }
}

void checkTestHardware(HANDLE device)
{
    checkVersion(device, "version is 1.5 in 8 bytes");
    expectWord(requestWords(device, IOCTL_ZEPHR_GET_TEMP, 0, 0), TESTHW_TEMP_SENSOR0,
               "sensor 0 temperature");
    expectWord(requestWords(device, IOCTL_ZEPHR_GET_TEMP, 3, 0), TESTHW_TEMP_SENSOR3,
               "sensor 3 temperature");
    expectWord(requestWords(device, IOCTL_ZEPHR_GET_TEMP, 200, 0), ZEPHR_NO_VALUE,
               "an unknown sensor answers no value and the request succeeds");
    expectWord(requestWords(device, IOCTL_ZEPHR_GET_FAN_SPEED, 0, 0), TESTHW_FAN0_SPEED * 30,
               "fan 0 speed is the BIOS value times 30");
    expectWord(requestWords(device, IOCTL_ZEPHR_GET_FAN_SPEED, 1, 0), 0,
               "a stopped fan answers 0, not no value");
    expectWord(requestWords(device, IOCTL_ZEPHR_GET_FAN_SPEED, 0, 0, 0, 100),
               TESTHW_FAN0_SPEED * 30, "a 100-byte output still returns 4 bytes");
    expectWord(requestWords(device, IOCTL_ZEPHR_GET_FAN_STATE, 0, 0xFFFF),
               TESTHW_FAN0_INITIAL_STATE, "fan 0 state ignores word 1");
    expectWord(requestWords(device, IOCTL_ZEPHR_SET_FAN_STATE, 1, 2), 0, "set fan 1 to high");
    expectWord(requestWords(device, IOCTL_ZEPHR_GET_FAN_STATE, 1, 0), 2,
               "fan 1 state reads back high");
    expectWord(requestWords(device, IOCTL_ZEPHR_SET_FAN_STATE, 1, TESTHW_FAN1_INITIAL_STATE), 0,
               "set fan 1 back");
    expectWord(ask(device, IOCTL_ZEPHR_DETECT_SUPERIO), ZEPHR_SIO_FALSE,
               "no Super I/O chip on an empty bus");
    expectWord(requestWords(device, IOCTL_ZEPHR_GET_PWM, 0, 0), ZEPHR_NO_VALUE,
               "duty without a chip answers no value");
    checkRefusals(device);
    checkFirmwareReports(device);
    checkEveryCodeAtItsBoundaries(device);
}

// Without the driver (never started, or stopped and unloaded) the link is
// gone: the open fails with ERROR_FILE_NOT_FOUND.
void checkAbsent()
{
    HANDLE device = CreateFileA(ZEPHR_USER_PATH, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    DWORD error = GetLastError();
    check(device == INVALID_HANDLE_VALUE && error == ERROR_FILE_NOT_FOUND,
          "device does not open without the driver",
          device == INVALID_HANDLE_VALUE ? "CreateFileA failed with error " + std::to_string(error)
                                         : std::string("CreateFileA opened it"));
    if (device != INVALID_HANDLE_VALUE)
        CloseHandle(device);
}

// Opens the device, runs the checks of the mode on it and closes it.
void checkDevice(const std::string& mode)
{
    HANDLE device = CreateFileA(ZEPHR_USER_PATH, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    check(device != INVALID_HANDLE_VALUE, "device opens as \\\\.\\ZephrDev with GENERIC_WRITE",
          "CreateFileA failed with error " + std::to_string(GetLastError()));
    if (device == INVALID_HANDLE_VALUE)
        return;
    if (mode == "production")
        checkProduction(device);
    else
        checkTestHardware(device);
    check(CloseHandle(device) != FALSE, "device handle closes",
          "CloseHandle failed with error " + std::to_string(GetLastError()));
}

} // namespace

int main(int argc, char** argv)
{
    std::string mode = argc > 1 ? argv[1] : "";
    if (mode != "production" && mode != "testhw" && mode != "absent") {
        std::fprintf(stderr, "usage: zephr_device_check production|testhw|absent\n");
        return 2;
    }
    if (mode == "absent")
        checkAbsent();
    else
        checkDevice(mode);
    std::printf("device checks: %d ok, %d bad\n", okCount, badCount);
    return badCount == 0 ? 0 : 1;
}
