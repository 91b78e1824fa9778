// SPDX-License-Identifier: MIT
// name_space_test.cpp
//
// The object name space: devices and links made by a driver, opening through
// links, names that collide or do not exist, the kernel's faults, and what an
// unload that could not remove its link leaves behind.
#include "tests/platform/test_driver.h"

#include <algorithm>

using namespace testdriver;

namespace {

class NameSpace : public DriverTest {
  protected:
    NTSTATUS openPath(const std::wstring& path)
    {
        std::shared_ptr<nt::FileObject> file;
        NTSTATUS status = io.open(path, nt::kFileWriteData, file);
        if (NT_SUCCESS(status)) {
            EXPECT_EQ(io.close(file), STATUS_SUCCESS);
        }
        return status;
    }

    NTSTATUS createDevice(const wchar_t* name, ULONG extension, PDEVICE_OBJECT& device)
    {
        UNICODE_STRING text;
        RtlInitUnicodeString(&text, name);
        return IoCreateDevice(record().driverObject, extension, &text, 0x8000, 0x100, FALSE,
                              &device);
    }

    NTSTATUS createLink(const wchar_t* link, const wchar_t* target)
    {
        UNICODE_STRING linkText;
        UNICODE_STRING targetText;
        RtlInitUnicodeString(&linkText, link);
        RtlInitUnicodeString(&targetText, target);
        return IoCreateSymbolicLink(&linkText, &targetText);
    }

    NTSTATUS deleteLink(const wchar_t* link)
    {
        UNICODE_STRING text;
        RtlInitUnicodeString(&text, link);
        return IoDeleteSymbolicLink(&text);
    }
};

TEST_F(NameSpace, OpenAndCloseReachTheDriverThroughTheLink)
{
    std::shared_ptr<nt::FileObject> file;
    ASSERT_EQ(io.open(kLinkName, nt::kFileWriteData, file), STATUS_SUCCESS);
    EXPECT_EQ(record().creates, 1);
    EXPECT_EQ(record().closes, 0);
    EXPECT_EQ(io.close(file), STATUS_SUCCESS);
    EXPECT_EQ(record().closes, 1);
    EXPECT_EQ(io.close(file), STATUS_INVALID_HANDLE) << "a file closes once";
    EXPECT_EQ(record().closes, 1);
}

TEST_F(NameSpace, NamesIgnoreCaseAndTheTwoDosDirectoriesAreOne)
{
    EXPECT_EQ(openPath(L"\\??\\PlatformTest"), STATUS_SUCCESS);
    EXPECT_EQ(openPath(L"\\dosdevices\\PLATFORMTEST"), STATUS_SUCCESS);
    EXPECT_EQ(openPath(L"\\DEVICE\\platformtest"), STATUS_SUCCESS);
    EXPECT_TRUE(io.nameExists(L"\\??\\platformtest"));
    EXPECT_EQ(record().creates, 3);
}

TEST_F(NameSpace, UnknownAndMalformedNamesAreRefused)
{
    EXPECT_EQ(openPath(L"\\DosDevices\\PlatformTes"), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(openPath(L"\\DosDevices\\PlatformTestX"), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(openPath(L"PlatformTest"), STATUS_OBJECT_NAME_INVALID);
    EXPECT_EQ(openPath(L""), STATUS_OBJECT_NAME_INVALID);
    EXPECT_EQ(record().creates, 0);
}

TEST_F(NameSpace, ANameIsTakenOnceByADeviceOrALink)
{
    PDEVICE_OBJECT device = nullptr;
    EXPECT_EQ(createDevice(kDeviceName, 0, device), STATUS_OBJECT_NAME_COLLISION);
    EXPECT_EQ(createDevice(L"\\device\\PLATFORMTEST", 0, device), STATUS_OBJECT_NAME_COLLISION);
    EXPECT_EQ(createDevice(kLinkName, 0, device), STATUS_OBJECT_NAME_COLLISION);
    EXPECT_EQ(createLink(L"\\??\\PlatformTest", kDeviceName), STATUS_OBJECT_NAME_COLLISION);
    EXPECT_EQ(device, nullptr);
}

TEST_F(NameSpace, ASecondDeviceIsRecordedAndHeadsTheDriversList)
{
    PDEVICE_OBJECT second = nullptr;
    ASSERT_EQ(createDevice(L"\\Device\\PlatformSecond", 24, second), STATUS_SUCCESS);
    EXPECT_EQ(second->DriverObject, record().driverObject);
    EXPECT_EQ(second->DeviceType, 0x8000u);
    EXPECT_EQ(second->Characteristics, 0x100u);
    ASSERT_NE(second->DeviceExtension, nullptr);
    const auto* extension = static_cast<const uint8_t*>(second->DeviceExtension);
    EXPECT_EQ(std::count(extension, extension + 24, 0), 24) << "the extension starts zeroed";
    EXPECT_EQ(record().driverObject->DeviceObject, second);
    EXPECT_EQ(second->NextDevice, record().deviceObject);
    EXPECT_EQ(record().deviceObject->DeviceExtension, nullptr) << "no extension asked for";

    IoDeleteDevice(second);
    EXPECT_EQ(record().driverObject->DeviceObject, record().deviceObject);
    EXPECT_FALSE(io.nameExists(L"\\Device\\PlatformSecond"));
}

TEST_F(NameSpace, LinksChainAndGoAway)
{
    ASSERT_EQ(createLink(L"\\DosDevices\\Outer", kLinkName), STATUS_SUCCESS);
    EXPECT_EQ(openPath(L"\\DosDevices\\Outer"), STATUS_SUCCESS);
    ASSERT_EQ(createLink(L"\\DosDevices\\Dangling", L"\\Device\\Nothing"), STATUS_SUCCESS);
    EXPECT_EQ(openPath(L"\\DosDevices\\Dangling"), STATUS_OBJECT_NAME_NOT_FOUND);
    ASSERT_EQ(createLink(L"\\DosDevices\\LoopA", L"\\DosDevices\\LoopB"), STATUS_SUCCESS);
    ASSERT_EQ(createLink(L"\\DosDevices\\LoopB", L"\\DosDevices\\LoopA"), STATUS_SUCCESS);
    EXPECT_EQ(openPath(L"\\DosDevices\\LoopA"), STATUS_OBJECT_NAME_NOT_FOUND);

    for (const wchar_t* link : {L"\\DosDevices\\Outer", L"\\DosDevices\\Dangling",
                                L"\\DosDevices\\LoopA", L"\\DosDevices\\LoopB"})
        EXPECT_EQ(deleteLink(link), STATUS_SUCCESS);
    EXPECT_EQ(deleteLink(L"\\DosDevices\\Outer"), STATUS_OBJECT_NAME_NOT_FOUND);
    EXPECT_EQ(openPath(L"\\DosDevices\\Outer"), STATUS_OBJECT_NAME_NOT_FOUND);
}

TEST_F(NameSpace, AnExclusiveDeviceOpensOnceAtATime)
{
    settings().exclusive = true;
    reload();
    std::shared_ptr<nt::FileObject> first;
    std::shared_ptr<nt::FileObject> second;
    ASSERT_EQ(io.open(kLinkName, 0, first), STATUS_SUCCESS);
    EXPECT_EQ(io.open(kLinkName, 0, second), STATUS_ACCESS_DENIED);
    EXPECT_EQ(record().creates, 1);
    io.close(first);
    EXPECT_EQ(io.open(kLinkName, 0, second), STATUS_SUCCESS);
    io.close(second);
}

TEST_F(NameSpace, TheKernelsFaultsFailTheDriversLoad)
{
    io.unloadDriver();
    io.setFaults({.createDevice = STATUS_INSUFFICIENT_RESOURCES});
    EXPECT_EQ(io.loadDriver(&Entry), STATUS_INSUFFICIENT_RESOURCES);
    EXPECT_FALSE(io.driverLoaded());
    EXPECT_FALSE(io.nameExists(kDeviceName));

    io.setFaults({.createLink = STATUS_OBJECT_NAME_INVALID});
    EXPECT_EQ(io.loadDriver(&Entry), STATUS_OBJECT_NAME_INVALID);
    EXPECT_FALSE(io.driverLoaded());
    EXPECT_FALSE(io.nameExists(kDeviceName)) << "the driver deleted its device again";
    EXPECT_FALSE(io.nameExists(kLinkName));

    io.setFaults({});
    EXPECT_EQ(io.loadDriver(&Entry), STATUS_SUCCESS);
}

// As on Windows, a device whose driver is unloaded opens no more, even when
// the unload left its names behind.
TEST_F(NameSpace, ADeviceTheUnloadLeftOpensNoMore)
{
    io.setFaults({.deleteLink = STATUS_ACCESS_DENIED});
    io.unloadDriver();
    EXPECT_FALSE(io.driverLoaded());
    EXPECT_TRUE(io.nameExists(kLinkName));
    EXPECT_TRUE(io.nameExists(kDeviceName));
    EXPECT_EQ(openPath(kLinkName), static_cast<NTSTATUS>(0xC000000EL)); // STATUS_NO_SUCH_DEVICE
    EXPECT_EQ(record().creates, 0) << "the unloaded driver's routine ran";

    io.setFaults({});
    EXPECT_EQ(io.loadDriver(&Entry), STATUS_OBJECT_NAME_COLLISION);
    io.discardUnloadedDevices();
    EXPECT_FALSE(io.nameExists(kLinkName));
    EXPECT_FALSE(io.nameExists(kDeviceName));
    EXPECT_EQ(io.loadDriver(&Entry), STATUS_SUCCESS);
}

TEST_F(NameSpace, ADeletedDeviceHearsNothingMoreOnItsOpenHandles)
{
    std::shared_ptr<nt::FileObject> file;
    ASSERT_EQ(io.open(kLinkName, nt::kFileWriteData, file), STATUS_SUCCESS);
    ASSERT_EQ(deleteLink(kLinkName), STATUS_SUCCESS);
    IoDeleteDevice(record().deviceObject);
    ULONG bytes = 7;
    EXPECT_EQ(io.deviceControl(*file, code(1, FILE_ANY_ACCESS), nullptr, 0, nullptr, 0, bytes),
              STATUS_DEVICE_DOES_NOT_EXIST);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(io.close(file), STATUS_SUCCESS);
    EXPECT_EQ(record().deviceControls, 0);
    EXPECT_EQ(record().closes, 0);
    // The driver's unload then finds no link and leaves the (deleted) device be.
}

} // namespace
