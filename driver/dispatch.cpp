// SPDX-License-Identifier: MIT
/*
 * dispatch.cpp
 *
 * The request routines of the zephr device: open and close, and the
 * device-control dispatcher that serves the control-code protocol. Every code
 * is a row of ControlCodeTable (lengths, the words it reads, the operation
 * that does its work), made from the protocol table the driver shares with
 * its callers; the dispatcher walks the table, checks the lengths and bounds,
 * runs the operation and completes the request.
 */
#include "driver/firmware_bytes.h"
#include "driver/zephr.h"

/* The request fields, each 0 unless the code reads it. */
typedef struct _REQUEST_FIELDS {
    USHORT Value[ZephrFieldCount];
} REQUEST_FIELDS, *PREQUEST_FIELDS;

typedef VOID (*CONTROL_OPERATION)(const REQUEST_FIELDS* Fields, PVOID Buffer);

typedef struct _CONTROL_CODE_ENTRY {
    ULONG Code;
    ULONG MinInputLength;
    ULONG MinOutputLength;
    ZEPHR_FIELD Word0;
    ZEPHR_FIELD Word1;
    CONTROL_OPERATION Operation;
} CONTROL_CODE_ENTRY;

static VOID StoreAnswer(PVOID Buffer, ULONG Answer)
{
    RtlCopyMemory(Buffer, &Answer, sizeof(Answer));
}

#define FIELD(Fields, Name) ((Fields)->Value[ZephrField##Name])

/*
 * The operations, one per code. Each runs on the caller's thread, called by
 * DispatchDeviceControl once the request has passed its checks.
 * IRQL: PASSIVE_LEVEL.
 */

static VOID OpSetFanState(const REQUEST_FIELDS* Fields, PVOID Buffer)
{
    StoreAnswer(Buffer, SmmSetFanState(FIELD(Fields, Fan), FIELD(Fields, State)));
}

static VOID OpGetFanState(const REQUEST_FIELDS* Fields, PVOID Buffer)
{
    StoreAnswer(Buffer, SmmGetFanState(FIELD(Fields, Fan)));
}

static VOID OpGetFanSpeed(const REQUEST_FIELDS* Fields, PVOID Buffer)
{
    StoreAnswer(Buffer, SmmGetFanSpeed(FIELD(Fields, Fan)));
}

static VOID OpGetTemperature(const REQUEST_FIELDS* Fields, PVOID Buffer)
{
    StoreAnswer(Buffer, SmmGetTemperature(FIELD(Fields, Sensor)));
}

static VOID OpGetCpuSpeed(const REQUEST_FIELDS* Fields, PVOID Buffer)
{
    UNREFERENCED_PARAMETER(Fields);
    GetCpuSpeedText((PCHAR)Buffer);
}

static VOID OpDetectSuperIo(const REQUEST_FIELDS* Fields, PVOID Buffer)
{
    UNREFERENCED_PARAMETER(Fields);
    StoreAnswer(Buffer, SioDetect());
}

static VOID OpSetPwm(const REQUEST_FIELDS* Fields, PVOID Buffer)
{
    StoreAnswer(Buffer, SioSetFanDuty(FIELD(Fields, Fan), FIELD(Fields, Duty)));
}

static VOID OpGetPwm(const REQUEST_FIELDS* Fields, PVOID Buffer)
{
    StoreAnswer(Buffer, SioGetFanDuty(FIELD(Fields, Fan)));
}

static VOID OpGetVersion(const REQUEST_FIELDS* Fields, PVOID Buffer)
{
    ZEPHR_VERSION_RECORD Version = {ZEPHR_VERSION_MAJOR, ZEPHR_VERSION_MINOR};
    UNREFERENCED_PARAMETER(Fields);
    RtlCopyMemory(Buffer, &Version, sizeof(Version));
}

static VOID OpGetSysInfo(const REQUEST_FIELDS* Fields, PVOID Buffer)
{
    UNREFERENCED_PARAMETER(Fields);
    BuildSystemInfoReport((PCHAR)Buffer);
}

static VOID OpGetAcpiReport(const REQUEST_FIELDS* Fields, PVOID Buffer)
{
    UNREFERENCED_PARAMETER(Fields);
    (VOID) AcpiReport((PCHAR)Buffer);
}

/*
 * The dispatcher's table: a row for each row of the protocol table in
 * common/zephr_ioctl.h (code, lengths, the fields its words fill), with the
 * operation that does the work.
 */
static const CONTROL_CODE_ENTRY ControlCodeTable[] = {
#define DISPATCH_ENTRY(Name, Function, Request, Input, Output, Word0, Word1)                       \
    {Name, Input, Output, ZephrField##Word0, ZephrField##Word1, Op##Request},
    ZEPHR_CONTROL_CODES(DISPATCH_ENTRY)
#undef DISPATCH_ENTRY
};

#define CONTROL_CODE_COUNT (sizeof(ControlCodeTable) / sizeof(ControlCodeTable[0]))

/* The row of a code; codes below the first wrap to large indexes and miss. */
static const CONTROL_CODE_ENTRY* FindControlCode(ULONG Code)
{
    ULONG Index = Code - ZEPHR_FIRST_CODE;
    ULONG Row;

    if (Index > ZEPHR_LAST_CODE - ZEPHR_FIRST_CODE) {
        return NULL;
    }
    for (Row = 0; Row < CONTROL_CODE_COUNT; Row++) {
        if (ControlCodeTable[Row].Code == Code) {
            return &ControlCodeTable[Row];
        }
    }
    return NULL;
}

/* Copies the words the code reads out of the buffer before anything is written. */
static VOID ReadRequestFields(const CONTROL_CODE_ENTRY* Entry, const UCHAR* Buffer,
                              PREQUEST_FIELDS Fields)
{
    RtlZeroMemory(Fields, sizeof(*Fields));
    if (Entry->Word0 != ZephrFieldNone) {
        Fields->Value[Entry->Word0] = ReadLeUshort(Buffer);
    }
    if (Entry->Word1 != ZephrFieldNone) {
        Fields->Value[Entry->Word1] = ReadLeUshort(Buffer + 2);
    }
}

static BOOLEAN RequestFieldsInBounds(const REQUEST_FIELDS* Fields)
{
    ULONG Field;
    for (Field = ZephrFieldNone + 1; Field < ZephrFieldCount; Field++) {
        if (Fields->Value[Field] > ZephrFieldBound[Field]) {
            return FALSE;
        }
    }
    return TRUE;
}

static NTSTATUS CompleteRequest(PIRP Irp, NTSTATUS Status, ULONG_PTR Information)
{
    Irp->IoStatus.Status = Status;
    Irp->IoStatus.Information = Information;
    IoCompleteRequest(Irp, IO_NO_INCREMENT);
    return Status;
}

/*
 * Opens and closes of the device: nothing to keep per handle.
 * IRQL: PASSIVE_LEVEL, on the thread that opens or closes the handle.
 */
NTSTATUS NTAPI DispatchCreateClose(PDEVICE_OBJECT DeviceObject, PIRP Irp)
{
    UNREFERENCED_PARAMETER(DeviceObject);
    DbgPrint("Zephr: Open / Close\n");
    return CompleteRequest(Irp, STATUS_SUCCESS, 0);
}

/*
 * Device control requests: the code's row, its lengths and bounds, its
 * operation; every request is completed before the routine returns.
 * IRQL: PASSIVE_LEVEL, on the requesting thread.
 */
NTSTATUS NTAPI DispatchDeviceControl(PDEVICE_OBJECT DeviceObject, PIRP Irp)
{
    PIO_STACK_LOCATION Stack = IoGetCurrentIrpStackLocation(Irp);
    ULONG Code = Stack->Parameters.DeviceIoControl.IoControlCode;
    ULONG InputLength = Stack->Parameters.DeviceIoControl.InputBufferLength;
    ULONG OutputLength = Stack->Parameters.DeviceIoControl.OutputBufferLength;
    PVOID Buffer = Irp->AssociatedIrp.SystemBuffer;
    const CONTROL_CODE_ENTRY* Entry;
    REQUEST_FIELDS Fields;

    UNREFERENCED_PARAMETER(DeviceObject);
    Irp->IoStatus.Information = 0;

    Entry = FindControlCode(Code);
    if (Entry == NULL) {
        return CompleteRequest(Irp, STATUS_INVALID_PARAMETER, 0);
    }
    if (InputLength < Entry->MinInputLength || OutputLength < Entry->MinOutputLength) {
        return CompleteRequest(Irp, STATUS_BUFFER_TOO_SMALL, 0);
    }

    ReadRequestFields(Entry, (const UCHAR*)Buffer, &Fields);
    if (!RequestFieldsInBounds(&Fields)) {
        return CompleteRequest(Irp, STATUS_INVALID_PARAMETER, 0);
    }

    /*
     * The caller gets the whole minimum output back; what the operation does
     * not write is zero, never what the system buffer held before.
     */
    RtlZeroMemory(Buffer, Entry->MinOutputLength);
    Entry->Operation(&Fields, Buffer);
    return CompleteRequest(Irp, STATUS_SUCCESS, Entry->MinOutputLength);
}
