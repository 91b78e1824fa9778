// SPDX-License-Identifier: MIT
// device_files_test.cpp
//
// CreateFileA, DeviceIoControl and CloseHandle against the test driver: the
// paths and dispositions opened, the access GENERIC_READ and GENERIC_WRITE
// grant, NT statuses as last errors, and handles that are not open.
#include "tests/platform/test_driver.h"

#include <windows.h>

#include <thread>

using namespace testdriver;

extern "C" LONG WINAPI RtlGetLastNtStatus(void);

namespace {

const ULONG kWriteCode = code(0x801, FILE_WRITE_ACCESS);
const char* const kUserPath = "\\\\.\\PlatformTest";

class DeviceFiles : public DriverTest {
  protected:
    HANDLE openDevice(const char* path, DWORD access, DWORD disposition = OPEN_EXISTING)
    {
        return CreateFileA(path, access, FILE_SHARE_WRITE, nullptr, disposition, 0, nullptr);
    }
};

TEST_F(DeviceFiles, ADevicePathOpensThroughItsLinkAndCloses)
{
    SetLastError(1234);
    HANDLE device = openDevice(kUserPath, GENERIC_WRITE);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), ERROR_SUCCESS);
    EXPECT_EQ(record().creates, 1);
    HANDLE again = openDevice("\\\\.\\platformtest", GENERIC_WRITE);
    ASSERT_NE(again, INVALID_HANDLE_VALUE);
    EXPECT_NE(again, device);
    EXPECT_TRUE(CloseHandle(device));
    EXPECT_TRUE(CloseHandle(again));
    EXPECT_EQ(record().closes, 2);
}

TEST_F(DeviceFiles, OtherPathsAndDispositionsAreRefused)
{
    struct Case {
        const char* path;
        DWORD disposition;
        DWORD error;
    } cases[] = {
        {"C:\\zephr.sys", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"PlatformTest", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"\\\\.\\", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {"\\\\.\\NoSuchDevice", OPEN_EXISTING, ERROR_FILE_NOT_FOUND},
        {kUserPath, 2 /* CREATE_ALWAYS */, ERROR_INVALID_PARAMETER},
        {kUserPath, 4 /* OPEN_ALWAYS */, ERROR_INVALID_PARAMETER},
        {nullptr, OPEN_EXISTING, ERROR_INVALID_PARAMETER},
    };
    for (const Case& c : cases) {
        SetLastError(0);
        EXPECT_EQ(openDevice(c.path, GENERIC_WRITE, c.disposition), INVALID_HANDLE_VALUE)
            << (c.path ? c.path : "(null)");
        EXPECT_EQ(GetLastError(), c.error) << (c.path ? c.path : "(null)");
    }
    EXPECT_EQ(record().creates, 0);
}

TEST_F(DeviceFiles, OnlyGenericWriteGrantsTheWriteAccessCodes)
{
    HANDLE reader = openDevice(kUserPath, GENERIC_READ);
    HANDLE writer = openDevice(kUserPath, GENERIC_WRITE);
    ASSERT_NE(reader, INVALID_HANDLE_VALUE);
    ASSERT_NE(writer, INVALID_HANDLE_VALUE);
    DWORD bytes = 77;
    EXPECT_FALSE(DeviceIoControl(reader, kWriteCode, nullptr, 0, nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(record().deviceControls, 0);
    EXPECT_TRUE(DeviceIoControl(writer, kWriteCode, nullptr, 0, nullptr, 0, &bytes, nullptr));
    EXPECT_EQ(record().deviceControls, 1);
    CloseHandle(reader);
    CloseHandle(writer);
}

TEST_F(DeviceFiles, TheDriversStatusBecomesTheLastError)
{
    HANDLE device = openDevice(kUserPath, GENERIC_WRITE);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    const std::pair<uint32_t, DWORD> cases[] = {{0xC000000D, ERROR_INVALID_PARAMETER},
                                                {0xC0000023, ERROR_INSUFFICIENT_BUFFER},
                                                {0xC0000010, ERROR_INVALID_FUNCTION},
                                                {0xC0000022, ERROR_ACCESS_DENIED},
                                                {0xC0001234, ERROR_MR_MID_NOT_FOUND}};
    for (auto [status, error] : cases) {
        settings().deviceControl = [status](PDEVICE_OBJECT, PIRP irp) {
            return complete(irp, static_cast<NTSTATUS>(status), 4);
        };
        DWORD value = 0x11111111;
        DWORD bytes = 9;
        SetLastError(0);
        EXPECT_FALSE(DeviceIoControl(device, kWriteCode, &value, 4, &value, 4, &bytes, nullptr));
        EXPECT_EQ(GetLastError(), error) << std::hex << status;
        EXPECT_EQ(static_cast<uint32_t>(RtlGetLastNtStatus()), status);
        EXPECT_EQ(bytes, 0u);
        EXPECT_EQ(value, 0x11111111u);
    }
    settings().deviceControl = [](PDEVICE_OBJECT, PIRP irp) {
        *static_cast<DWORD*>(irp->AssociatedIrp.SystemBuffer) = 52;
        return complete(irp, STATUS_SUCCESS, 4);
    };
    DWORD value = 0;
    DWORD bytes = 0;
    EXPECT_TRUE(DeviceIoControl(device, kWriteCode, &value, 4, &value, 4, &bytes, nullptr));
    EXPECT_EQ(value, 52u);
    EXPECT_EQ(bytes, 4u);
    EXPECT_EQ(static_cast<uint32_t>(RtlGetLastNtStatus()), 0xC0001234u)
        << "a success leaves the last failed status";
    CloseHandle(device);
}

TEST_F(DeviceFiles, RequestsWithoutAPlaceForTheCountOrWithOverlappedAreRefused)
{
    HANDLE device = openDevice(kUserPath, GENERIC_WRITE);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    DWORD bytes = 0;
    EXPECT_FALSE(DeviceIoControl(device, kWriteCode, nullptr, 0, nullptr, 0, nullptr, nullptr));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    alignas(8) unsigned char overlapped[32] = {};
    EXPECT_FALSE(DeviceIoControl(device, kWriteCode, nullptr, 0, nullptr, 0, &bytes,
                                 reinterpret_cast<LPOVERLAPPED>(overlapped)));
    EXPECT_EQ(GetLastError(), ERROR_INVALID_PARAMETER);
    EXPECT_EQ(record().deviceControls, 0);
    CloseHandle(device);
}

TEST_F(DeviceFiles, HandlesThatAreNotOpenAreInvalid)
{
    HANDLE device = openDevice(kUserPath, GENERIC_WRITE);
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(CloseHandle(device));
    DWORD bytes = 0;
    for (HANDLE handle : {device, INVALID_HANDLE_VALUE, static_cast<HANDLE>(nullptr)}) {
        SetLastError(0);
        EXPECT_FALSE(CloseHandle(handle));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
        EXPECT_FALSE(DeviceIoControl(handle, kWriteCode, nullptr, 0, nullptr, 0, &bytes, nullptr));
        EXPECT_EQ(GetLastError(), ERROR_INVALID_HANDLE);
    }
    EXPECT_EQ(record().closes, 1);
    EXPECT_EQ(record().deviceControls, 0);
}

TEST(LastError, EachThreadHasItsOwn)
{
    SetLastError(87);
    DWORD seenByOther = 0;
    std::thread other([&] {
        seenByOther = GetLastError();
        SetLastError(5);
    });
    other.join();
    EXPECT_EQ(seenByOther, 0u);
    EXPECT_EQ(GetLastError(), 87u);
}

} // namespace
