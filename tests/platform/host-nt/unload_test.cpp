// SPDX-License-Identifier: MIT
// unload_test.cpp
//
// Unload as the Windows I/O manager does it: DriverUnload runs at once only
// when no handle to the driver's devices is open, else after the last
// handle's IRP_MJ_CLOSE, so never while a request is in the driver; no
// device of a driver being unloaded opens; the handles already open keep
// reaching the driver until they close.
#include "tests/platform/test_driver.h"

#include <condition_variable>
#include <mutex>
#include <thread>

using namespace testdriver;

namespace {

constexpr NTSTATUS kStatusNoSuchDevice = static_cast<NTSTATUS>(0xC000000EL);
const ULONG kAnyCode = code(0x803, FILE_ANY_ACCESS);

class Unload : public DriverTest {
  protected:
    NTSTATUS request(nt::FileObject& file)
    {
        ULONG bytes = 0;
        return io.deviceControl(file, kAnyCode, nullptr, 0, nullptr, 0, bytes);
    }
};

// How many handles are open when unloadDriver is called, and what the
// driver has seen right after the call and after the handles closed.
struct UnloadRow {
    const char* name;
    int handles;
    bool unloadWithHandlesOpen;
    int unloadsAtOnce;
    NTSTATUS openAfterUnload;     // through the link and the device name alike
    NTSTATUS requestOnHeldHandle; // when a handle is held
};

TEST_F(Unload, DriverUnloadWaitsForTheLastHandle)
{
    const UnloadRow rows[] = {
        {"no handle open", 0, false, 1, STATUS_OBJECT_NAME_NOT_FOUND, STATUS_SUCCESS},
        {"one handle open", 1, false, 0, kStatusNoSuchDevice, STATUS_SUCCESS},
        {"two handles open", 2, false, 0, kStatusNoSuchDevice, STATUS_SUCCESS},
        // The kernel fault that lets tests reach a driver after its unload.
        {"unload forced with a handle open", 1, true, 1, STATUS_OBJECT_NAME_NOT_FOUND,
         STATUS_DEVICE_DOES_NOT_EXIST},
    };
    for (const UnloadRow& row : rows) {
        SCOPED_TRACE(row.name);
        reload();
        std::vector<std::shared_ptr<nt::FileObject>> held(row.handles);
        for (auto& file : held)
            ASSERT_EQ(io.open(kLinkName, 0, file), STATUS_SUCCESS);
        io.setFaults({.unloadWithHandlesOpen = row.unloadWithHandlesOpen});
        io.unloadDriver();
        EXPECT_FALSE(io.driverLoaded());
        EXPECT_EQ(record().unloads, row.unloadsAtOnce);

        for (const wchar_t* name : {kLinkName, kDeviceName}) {
            std::shared_ptr<nt::FileObject> late;
            EXPECT_EQ(io.open(name, 0, late), row.openAfterUnload);
        }
        if (!held.empty()) {
            EXPECT_EQ(request(*held[0]), row.requestOnHeldHandle);
        }

        for (auto& file : held)
            EXPECT_EQ(io.close(file), STATUS_SUCCESS);
        EXPECT_EQ(record().unloads, 1) << "DriverUnload runs once";
        if (!row.unloadWithHandlesOpen) {
            EXPECT_EQ(record().closesAtUnload, row.handles) << "after the last IRP_MJ_CLOSE";
        }
        io.setFaults({});
    }
}

TEST_F(Unload, ARequestInTheDriverHoldsTheUnloadBackUntilItsHandleCloses)
{
    std::mutex lock;
    std::condition_variable changed;
    bool inDriver = false;
    bool release = false;
    settings().deviceControl = [&](PDEVICE_OBJECT, PIRP irp) {
        std::unique_lock guard(lock);
        inDriver = true;
        changed.notify_all();
        changed.wait(guard, [&] { return release; });
        return complete(irp, STATUS_SUCCESS, 0);
    };
    std::shared_ptr<nt::FileObject> file;
    ASSERT_EQ(io.open(kLinkName, 0, file), STATUS_SUCCESS);
    NTSTATUS answered = STATUS_UNSUCCESSFUL;
    std::thread caller([&] { answered = request(*file); });
    {
        std::unique_lock guard(lock);
        changed.wait(guard, [&] { return inDriver; });
    }
    io.unloadDriver();
    EXPECT_EQ(record().unloads, 0) << "unloaded while a request was in the driver";
    {
        std::lock_guard guard(lock);
        release = true;
        changed.notify_all();
    }
    caller.join();
    EXPECT_EQ(answered, STATUS_SUCCESS);
    EXPECT_EQ(record().unloads, 0);
    EXPECT_EQ(io.close(file), STATUS_SUCCESS);
    EXPECT_EQ(record().unloads, 1);
}

} // namespace
