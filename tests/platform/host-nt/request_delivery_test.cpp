// SPDX-License-Identifier: MIT
// request_delivery_test.cpp
//
// Device control delivery: the one system buffer with stale bytes past the
// input, the stack location the driver reads, the copy back bounded by
// Information and made only on success, the access check, the request
// count, and the driver faults the layer stops on.
#include "tests/platform/test_driver.h"

#include <condition_variable>
#include <cstring>
#include <mutex>
#include <thread>

using namespace testdriver;

namespace {

const ULONG kWriteCode = code(0x801, FILE_WRITE_ACCESS);
const ULONG kReadCode = code(0x802, FILE_READ_ACCESS);
const ULONG kAnyCode = code(0x803, FILE_ANY_ACCESS);

class Delivery : public DriverTest {
  protected:
    void SetUp() override
    {
        DriverTest::SetUp();
        ASSERT_EQ(io.open(kLinkName, nt::kFileWriteData | nt::kFileReadData, file), STATUS_SUCCESS);
    }
    void TearDown() override
    {
        if (file)
            io.close(file);
        DriverTest::TearDown();
    }

    NTSTATUS send(ULONG code, const std::vector<uint8_t>& input, std::vector<uint8_t>& output,
                  ULONG& bytes)
    {
        return io.deviceControl(
            *file, code, input.empty() ? nullptr : input.data(), static_cast<ULONG>(input.size()),
            output.empty() ? nullptr : output.data(), static_cast<ULONG>(output.size()), bytes);
    }

    // Makes the driver answer with these bytes, this status and this count.
    void answer(std::vector<uint8_t> bytes, NTSTATUS status, ULONG_PTR information)
    {
        settings().deviceControl = [=](PDEVICE_OBJECT, PIRP irp) {
            if (!bytes.empty())
                std::memcpy(irp->AssociatedIrp.SystemBuffer, bytes.data(), bytes.size());
            return complete(irp, status, information);
        };
    }

    std::shared_ptr<nt::FileObject> file;
};

struct Seen {
    std::vector<uint8_t> buffer;
    bool nullBuffer = false;
    IO_STACK_LOCATION stack{};
};

// Records what the driver sees of a request.
Seen& watch(size_t bufferLength)
{
    static Seen seen;
    seen = Seen{};
    settings().deviceControl = [bufferLength](PDEVICE_OBJECT, PIRP irp) {
        seen.stack = *IoGetCurrentIrpStackLocation(irp);
        auto* buffer = static_cast<uint8_t*>(irp->AssociatedIrp.SystemBuffer);
        seen.nullBuffer = buffer == nullptr;
        if (buffer != nullptr)
            seen.buffer.assign(buffer, buffer + bufferLength);
        return complete(irp, STATUS_SUCCESS, 0);
    };
    return seen;
}

TEST_F(Delivery, TheSystemBufferHoldsTheInputThenStaleBytes)
{
    Seen& seen = watch(8);
    std::vector<uint8_t> output(8, 0x11);
    ULONG bytes = 99;
    ASSERT_EQ(send(kWriteCode, {1, 2, 3}, output, bytes), STATUS_SUCCESS);
    EXPECT_EQ(seen.buffer, (std::vector<uint8_t>{1, 2, 3, 0xCD, 0xCD, 0xCD, 0xCD, 0xCD}));
    EXPECT_EQ(seen.stack.MajorFunction, IRP_MJ_DEVICE_CONTROL);
    EXPECT_EQ(seen.stack.Parameters.DeviceIoControl.IoControlCode, kWriteCode);
    EXPECT_EQ(seen.stack.Parameters.DeviceIoControl.InputBufferLength, 3u);
    EXPECT_EQ(seen.stack.Parameters.DeviceIoControl.OutputBufferLength, 8u);
    EXPECT_EQ(seen.stack.DeviceObject, record().deviceObject);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(output, std::vector<uint8_t>(8, 0x11)) << "Information 0 copies nothing";
}

TEST_F(Delivery, TheBufferIsAsLongAsTheLongerSideOrAbsent)
{
    Seen& seen = watch(6);
    std::vector<uint8_t> output(2);
    ULONG bytes = 0;
    ASSERT_EQ(send(kAnyCode, {9, 8, 7, 6, 5, 4}, output, bytes), STATUS_SUCCESS);
    EXPECT_EQ(seen.buffer, (std::vector<uint8_t>{9, 8, 7, 6, 5, 4}));

    Seen& none = watch(0);
    std::vector<uint8_t> empty;
    ASSERT_EQ(send(kAnyCode, {}, empty, bytes), STATUS_SUCCESS);
    EXPECT_TRUE(none.nullBuffer);
}

TEST_F(Delivery, OutputIsCopiedBackUpToInformationOnSuccessOnly)
{
    std::vector<uint8_t> output(6, 0x11);
    ULONG bytes = 0;
    answer({0xA1, 0xA2, 0xA3, 0xA4}, STATUS_SUCCESS, 3);
    ASSERT_EQ(send(kWriteCode, {}, output, bytes), STATUS_SUCCESS);
    EXPECT_EQ(bytes, 3u);
    EXPECT_EQ(output, (std::vector<uint8_t>{0xA1, 0xA2, 0xA3, 0x11, 0x11, 0x11}));

    std::vector<uint8_t> untouched(6, 0x22);
    answer({0xB1, 0xB2, 0xB3, 0xB4}, STATUS_BUFFER_TOO_SMALL, 4);
    EXPECT_EQ(send(kWriteCode, {}, untouched, bytes), STATUS_BUFFER_TOO_SMALL);
    EXPECT_EQ(bytes, 0u);
    EXPECT_EQ(untouched, std::vector<uint8_t>(6, 0x22));
}

TEST_F(Delivery, AccessBitsOfTheCodeMustBeGranted)
{
    std::shared_ptr<nt::FileObject> readOnly;
    std::shared_ptr<nt::FileObject> writeOnly;
    std::shared_ptr<nt::FileObject> noAccess;
    ASSERT_EQ(io.open(kLinkName, nt::kFileReadData, readOnly), STATUS_SUCCESS);
    ASSERT_EQ(io.open(kLinkName, nt::kFileWriteData, writeOnly), STATUS_SUCCESS);
    ASSERT_EQ(io.open(kLinkName, 0, noAccess), STATUS_SUCCESS);
    const ULONG bothCode = code(0x804, FILE_READ_ACCESS | FILE_WRITE_ACCESS);
    ULONG bytes = 0;
    uint64_t before = io.deviceControlCount();

    EXPECT_EQ(io.deviceControl(*readOnly, kWriteCode, nullptr, 0, nullptr, 0, bytes),
              STATUS_ACCESS_DENIED);
    EXPECT_EQ(io.deviceControl(*writeOnly, kReadCode, nullptr, 0, nullptr, 0, bytes),
              STATUS_ACCESS_DENIED);
    EXPECT_EQ(io.deviceControl(*writeOnly, bothCode, nullptr, 0, nullptr, 0, bytes),
              STATUS_ACCESS_DENIED);
    EXPECT_EQ(record().deviceControls, 0) << "refused before the driver";
    EXPECT_EQ(io.deviceControlCount(), before);

    EXPECT_EQ(io.deviceControl(*readOnly, kReadCode, nullptr, 0, nullptr, 0, bytes),
              STATUS_SUCCESS);
    EXPECT_EQ(io.deviceControl(*writeOnly, kWriteCode, nullptr, 0, nullptr, 0, bytes),
              STATUS_SUCCESS);
    EXPECT_EQ(io.deviceControl(*noAccess, kAnyCode, nullptr, 0, nullptr, 0, bytes), STATUS_SUCCESS);
    EXPECT_EQ(io.deviceControl(*file, bothCode, nullptr, 0, nullptr, 0, bytes), STATUS_SUCCESS);
    EXPECT_EQ(record().deviceControls, 4);
    EXPECT_EQ(io.deviceControlCount(), before + 4);
    for (auto* f : {&readOnly, &writeOnly, &noAccess})
        io.close(*f);
}

TEST_F(Delivery, BufferPointersMissingForTheirLengthAreRefused)
{
    ULONG bytes = 0;
    uint8_t output[4];
    EXPECT_EQ(io.deviceControl(*file, kAnyCode, nullptr, 4, output, 4, bytes),
              static_cast<NTSTATUS>(0xC0000005));
    EXPECT_EQ(io.deviceControl(*file, kAnyCode, output, 4, nullptr, 4, bytes),
              static_cast<NTSTATUS>(0xC0000005));
    EXPECT_EQ(record().deviceControls, 0);
}

TEST_F(Delivery, AMajorFunctionTheDriverDidNotSetNeverReachesIt)
{
    io.close(file);
    file.reset();
    settings().serveDeviceControl = false;
    settings().serveCreateClose = false;
    reload();
    std::shared_ptr<nt::FileObject> opened;
    EXPECT_EQ(io.open(kLinkName, nt::kFileWriteData, opened), STATUS_INVALID_DEVICE_REQUEST);

    settings().serveCreateClose = true;
    reload();
    ASSERT_EQ(io.open(kLinkName, nt::kFileWriteData, opened), STATUS_SUCCESS);
    ULONG bytes = 0;
    uint64_t before = io.deviceControlCount();
    EXPECT_EQ(io.deviceControl(*opened, kWriteCode, nullptr, 0, nullptr, 0, bytes),
              STATUS_INVALID_DEVICE_REQUEST);
    EXPECT_EQ(io.deviceControlCount(), before);
    io.close(opened);
}

TEST_F(Delivery, RequestsFromTwoThreadsMeetInsideTheDriver)
{
    std::mutex lock;
    std::condition_variable changed;
    int inside = 0;
    int met = 0; // requests that saw the other one inside too
    settings().deviceControl = [&](PDEVICE_OBJECT, PIRP irp) {
        std::unique_lock guard(lock);
        ++inside;
        changed.notify_all();
        // Generous bound: only a layer that serializes dispatch waits it out.
        if (changed.wait_for(guard, std::chrono::seconds(10), [&] { return inside == 2; }))
            ++met;
        return complete(irp, STATUS_SUCCESS, 0);
    };
    auto request = [&] {
        ULONG bytes = 0;
        EXPECT_EQ(io.deviceControl(*file, kAnyCode, nullptr, 0, nullptr, 0, bytes), STATUS_SUCCESS);
    };
    std::thread first(request);
    std::thread second(request);
    first.join();
    second.join();
    EXPECT_EQ(met, 2) << "the second request waited for the first to leave the driver";
}

using DeliveryDeath = Delivery;

TEST_F(DeliveryDeath, InformationBeyondTheOutputStopsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    answer({}, STATUS_SUCCESS, 5);
    std::vector<uint8_t> output(4);
    ULONG bytes = 0;
    EXPECT_DEATH(send(kWriteCode, {1, 2, 3, 4, 5, 6}, output, bytes),
                 "reported 5 bytes for an output of 4 bytes");
}

TEST_F(DeliveryDeath, ARequestCompletedTwiceOrNeverStopsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    std::vector<uint8_t> none;
    ULONG bytes = 0;
    settings().deviceControl = [](PDEVICE_OBJECT, PIRP irp) {
        IoCompleteRequest(irp, IO_NO_INCREMENT);
        return complete(irp, STATUS_SUCCESS, 0);
    };
    EXPECT_DEATH(send(kAnyCode, {}, none, bytes), "completed twice");

    settings().deviceControl = [](PDEVICE_OBJECT, PIRP) { return STATUS_SUCCESS; };
    EXPECT_DEATH(send(kAnyCode, {}, none, bytes), "without completing the request");

    settings().deviceControl = [](PDEVICE_OBJECT, PIRP irp) {
        complete(irp, STATUS_INVALID_PARAMETER, 0);
        return STATUS_SUCCESS;
    };
    EXPECT_DEATH(send(kAnyCode, {}, none, bytes), "but completed the request with 0xC000000D");
}

TEST_F(DeliveryDeath, CompletingARequestOutsideItsDispatchStopsTheProcess)
{
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    IRP stray{};
    EXPECT_DEATH(IoCompleteRequest(&stray, IO_NO_INCREMENT), "not in a dispatch routine");
}

} // namespace
