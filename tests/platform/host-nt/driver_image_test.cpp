// SPDX-License-Identifier: MIT
// driver_image_test.cpp
//
// Driver images: loading a shared object and running its DriverEntry, fresh
// globals at each load, the image released when DriverEntry fails or the
// driver unloads, and kept while a device of the driver is left.
#include "platform/host-nt/nt_host.h"

#include <dlfcn.h>
#include <filesystem>
#include <gtest/gtest.h>
#include <stdexcept>

namespace {

class DriverImage : public testing::Test {
  protected:
    void TearDown() override
    {
        io.setFaults({});
        io.unloadDriver();
        io.discardUnloadedDevices();
    }

    static bool resident(const char* path)
    {
        void* handle = dlopen(path, RTLD_NOW | RTLD_NOLOAD);
        if (handle != nullptr)
            dlclose(handle);
        return handle != nullptr;
    }

    // The driver's answer: how often its image's DriverEntry ran.
    ULONG askLoadCount()
    {
        std::shared_ptr<nt::FileObject> file;
        EXPECT_EQ(io.open(L"\\DosDevices\\ImageTest", 0, file), STATUS_SUCCESS);
        if (!file)
            return 0;
        ULONG count = 0;
        ULONG bytes = 0;
        EXPECT_EQ(io.deviceControl(*file, 0x00220000, nullptr, 0, &count, 4, bytes),
                  STATUS_SUCCESS);
        io.close(file);
        return count;
    }

    nt::IoManager& io = nt::IoManager::instance();
};

TEST_F(DriverImage, EachLoadStartsWithFreshGlobalsAndUnloadReleasesTheImage)
{
    ASSERT_EQ(io.loadDriver(IMAGE_DRIVER_PATH), STATUS_SUCCESS);
    EXPECT_TRUE(io.driverLoaded());
    EXPECT_EQ(askLoadCount(), 1u);
    io.unloadDriver();
    EXPECT_FALSE(io.driverLoaded());
    EXPECT_FALSE(resident(IMAGE_DRIVER_PATH));

    ASSERT_EQ(io.loadDriver(IMAGE_DRIVER_PATH), STATUS_SUCCESS);
    EXPECT_EQ(askLoadCount(), 1u) << "the second load ran on the first load's globals";
}

TEST_F(DriverImage, ASecondLoadWhileOneIsLoadedIsRefused)
{
    ASSERT_EQ(io.loadDriver(IMAGE_DRIVER_PATH), STATUS_SUCCESS);
    EXPECT_EQ(io.loadDriver(IMAGE_DRIVER_PATH), static_cast<NTSTATUS>(0xC000010E));
    EXPECT_EQ(askLoadCount(), 1u);
}

TEST_F(DriverImage, AFailedDriverEntryReleasesTheImage)
{
    EXPECT_EQ(io.loadDriver(FAILING_DRIVER_PATH), STATUS_DEVICE_DOES_NOT_EXIST);
    EXPECT_FALSE(io.driverLoaded());
    EXPECT_FALSE(resident(FAILING_DRIVER_PATH));
}

TEST_F(DriverImage, ImagesThatCannotBeLoadedAreNamedInTheError)
{
    try {
        io.loadDriver("/nonexistent/missing_driver.so");
        FAIL() << "a missing image loaded";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("/nonexistent/missing_driver.so"),
                  std::string::npos);
    }
    try {
        io.loadDriver(NO_ENTRY_IMAGE_PATH);
        FAIL() << "an image without DriverEntry loaded";
    } catch (const std::runtime_error& error) {
        EXPECT_NE(std::string(error.what()).find("no DriverEntry"), std::string::npos);
    }
    EXPECT_FALSE(io.driverLoaded());
    EXPECT_FALSE(resident(NO_ENTRY_IMAGE_PATH));
}

TEST_F(DriverImage, TheImageStaysWhileADeviceOfTheDriverIsLeft)
{
    ASSERT_EQ(io.loadDriver(IMAGE_DRIVER_PATH), STATUS_SUCCESS);
    std::shared_ptr<nt::FileObject> held;
    ASSERT_EQ(io.open(L"\\Device\\ImageTest", 0, held), STATUS_SUCCESS);
    io.setFaults({.deleteLink = STATUS_UNSUCCESSFUL, .unloadWithHandlesOpen = true});
    io.unloadDriver();
    EXPECT_TRUE(resident(IMAGE_DRIVER_PATH));
    ULONG count = 0;
    ULONG bytes = 0;
    EXPECT_EQ(io.deviceControl(*held, 0x00220000, nullptr, 0, &count, 4, bytes), STATUS_SUCCESS)
        << "the left device still reaches the driver";
    EXPECT_EQ(count, 1u);

    io.setFaults({});
    io.discardUnloadedDevices();
    EXPECT_TRUE(resident(IMAGE_DRIVER_PATH)) << "an open handle still holds the device";
    EXPECT_EQ(io.deviceControl(*held, 0x00220000, nullptr, 0, nullptr, 0, bytes),
              STATUS_DEVICE_DOES_NOT_EXIST);
    io.close(held);
    held.reset();
    EXPECT_FALSE(resident(IMAGE_DRIVER_PATH));
}

// The old image stays in memory while a handle holds its device; the next
// load must still start on fresh globals, not on the old image's.
TEST_F(DriverImage, AReloadWhileAnOldHandleHoldsTheImageStartsFresh)
{
    ASSERT_EQ(io.loadDriver(IMAGE_DRIVER_PATH), STATUS_SUCCESS);
    std::shared_ptr<nt::FileObject> held;
    ASSERT_EQ(io.open(L"\\Device\\ImageTest", 0, held), STATUS_SUCCESS);
    io.setFaults({.unloadWithHandlesOpen = true});
    io.unloadDriver();
    io.setFaults({});
    ASSERT_TRUE(resident(IMAGE_DRIVER_PATH));
    ASSERT_EQ(io.loadDriver(IMAGE_DRIVER_PATH), STATUS_SUCCESS);
    EXPECT_EQ(askLoadCount(), 1u) << "the reload ran on the old image's globals";
    io.close(held);
}

TEST(DefaultDriverPath, IsZephrSoBesideThePlatformLibrary)
{
    std::filesystem::path expected = std::filesystem::path(ZEPHR_BUILD_DIR) / "lib" / "zephr.so";
    EXPECT_EQ(std::filesystem::weakly_canonical(nt::IoManager::defaultDriverPath()),
              std::filesystem::weakly_canonical(expected));
}

} // namespace
