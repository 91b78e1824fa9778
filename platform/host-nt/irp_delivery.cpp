// SPDX-License-Identifier: MIT
// irp_delivery.cpp
//
// The road of one request through a driver: the dispatch routine for its
// major function, IofCompleteRequest, and the checks that the routine
// completed the request exactly once with the status it returned.
#include "platform/host-nt/kernel_state.h"

namespace nt {

namespace {

// Keeps the request known to IofCompleteRequest while the routine runs.
class PendingIrp {
  public:
    explicit PendingIrp(IrpBlock& block) : irp_(&block.irp)
    {
        std::lock_guard guard(kernel().irpLock);
        kernel().pendingIrps[irp_] = &block;
    }
    ~PendingIrp()
    {
        std::lock_guard guard(kernel().irpLock);
        kernel().pendingIrps.erase(irp_);
    }
    PendingIrp(const PendingIrp&) = delete;
    PendingIrp& operator=(const PendingIrp&) = delete;

  private:
    PIRP irp_;
};

} // namespace

NTSTATUS deliverIrp(DeviceRecord& device, IrpBlock& block)
{
    UCHAR major = block.stack.MajorFunction;
    PDRIVER_DISPATCH routine = device.driver->object.MajorFunction[major];
    if (routine == nullptr)
        return STATUS_INVALID_DEVICE_REQUEST;

    block.stack.DeviceObject = &device.object;
    block.irp.CurrentStackLocation = &block.stack;
    block.irp.IoStatus.Status = STATUS_SUCCESS;
    block.irp.IoStatus.Information = 0;

    NTSTATUS returned;
    {
        PendingIrp pending(block);
        returned = routine(&device.object, &block.irp);
    }
    unsigned completions = block.completions.load();
    if (completions == 0)
        driverFault("the " + MajorFunctionName(major) + " routine of " + device.driver->imageName +
                    " returned " + hex32(returned) + " without completing the request");
    if (returned != block.irp.IoStatus.Status)
        driverFault("the " + MajorFunctionName(major) + " routine of " + device.driver->imageName +
                    " returned " + hex32(returned) + " but completed the request with " +
                    hex32(block.irp.IoStatus.Status));
    return returned;
}

std::string MajorFunctionName(UCHAR major)
{
    switch (major) {
    case IRP_MJ_CREATE:
        return "IRP_MJ_CREATE";
    case IRP_MJ_CLOSE:
        return "IRP_MJ_CLOSE";
    case IRP_MJ_DEVICE_CONTROL:
        return "IRP_MJ_DEVICE_CONTROL";
    default:
        return "major function " + std::to_string(major);
    }
}

} // namespace nt

extern "C" VOID FASTCALL IofCompleteRequest(PIRP Irp, CCHAR PriorityBoost)
{
    (void)PriorityBoost;
    nt::IrpBlock* block = nullptr;
    {
        std::lock_guard guard(nt::kernel().irpLock);
        auto found = nt::kernel().pendingIrps.find(Irp);
        if (found != nt::kernel().pendingIrps.end())
            block = found->second;
    }
    if (block == nullptr)
        nt::driverFault("IofCompleteRequest was given a request that is not in a dispatch "
                        "routine (already returned, or not a request)");
    if (block->completions.fetch_add(1) != 0)
        nt::driverFault("a request was completed twice");
}
