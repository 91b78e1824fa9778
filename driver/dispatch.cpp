/*
 * dispatch.cpp
 *
 * The request routines of the zephr device: open and close, and the
 * device-control dispatcher that owns the control-code protocol. Every code
 * is a row of ControlCodeTable (lengths, the words it reads, the operation
 * that does its work); the dispatcher walks the table, checks the lengths and
 * bounds, runs the operation and completes the request.
 */
#include "driver/firmware_bytes.h"
#include "driver/zephr.h"

/* What a word of the input is to the code that reads it. */
typedef enum _REQUEST_FIELD {
    FieldNone = 0,
    FieldFan,
    FieldState,
    FieldSensor,
    FieldDuty,
    FieldCount
} REQUEST_FIELD;

/* The request fields, each 0 unless the code reads it. */
typedef struct _REQUEST_FIELDS {
    USHORT Value[FieldCount];
} REQUEST_FIELDS, *PREQUEST_FIELDS;

/* The bound of each field; a field no code reads is 0 and passes. */
static const USHORT FieldBound[FieldCount] = {
    0,                   /* FieldNone: never filled */
    ZEPHR_MAX_FAN,       /* fan 0 or 1 */
    ZEPHR_MAX_FAN_STATE, /* state 0, 1 or 2 */
    ZEPHR_MAX_SENSOR,    /* sensor 0 to 255 */
    ZEPHR_MAX_DUTY,      /* duty 0 to 63 */
};

typedef VOID (*CONTROL_OPERATION)(const REQUEST_FIELDS* Fields, PVOID Buffer);

typedef struct _CONTROL_CODE_ENTRY {
    ULONG Code;
    ULONG MinInputLength;
    ULONG MinOutputLength;
    REQUEST_FIELD Word0;
    REQUEST_FIELD Word1;
    CONTROL_OPERATION Operation;
} CONTROL_CODE_ENTRY;

static VOID StoreAnswer(PVOID Buffer, ULONG Answer)
{
    RtlCopyMemory(Buffer, &Answer, sizeof(Answer));
}

#define FIELD(Fields, Name) ((Fields)->Value[Field##Name])

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

static const CONTROL_CODE_ENTRY ControlCodeTable[] = {
    /* Code                       In Out                       Word 0       Word 1      Operation */
    {IOCTL_ZEPHR_SET_FAN_STATE, 4, 4, FieldFan, FieldState, OpSetFanState},
    {IOCTL_ZEPHR_GET_FAN_STATE, 4, 4, FieldFan, FieldNone, OpGetFanState},
    {IOCTL_ZEPHR_GET_FAN_SPEED, 4, 4, FieldFan, FieldNone, OpGetFanSpeed},
    {IOCTL_ZEPHR_GET_CPU_SPEED, 0, ZEPHR_CPU_SPEED_LENGTH, FieldNone, FieldNone, OpGetCpuSpeed},
    {IOCTL_ZEPHR_DETECT_SUPERIO, 0, 4, FieldNone, FieldNone, OpDetectSuperIo},
    {IOCTL_ZEPHR_SET_PWM, 4, 4, FieldFan, FieldDuty, OpSetPwm},
    {IOCTL_ZEPHR_GET_PWM, 4, 4, FieldFan, FieldNone, OpGetPwm},
    {IOCTL_ZEPHR_GET_TEMP, 4, 4, FieldSensor, FieldNone, OpGetTemperature},
    {IOCTL_ZEPHR_GET_VERSION, 0, sizeof(ZEPHR_VERSION_RECORD), FieldNone, FieldNone, OpGetVersion},
    {IOCTL_ZEPHR_GET_SYSINFO, 0, ZEPHR_SYSINFO_LENGTH, FieldNone, FieldNone, OpGetSysInfo},
    {IOCTL_ZEPHR_GET_ACPI_REPORT, 0, ZEPHR_ACPI_REPORT_LENGTH, FieldNone, FieldNone,
     OpGetAcpiReport},
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
    if (Entry->Word0 != FieldNone) {
        Fields->Value[Entry->Word0] = ReadLeUshort(Buffer);
    }
    if (Entry->Word1 != FieldNone) {
        Fields->Value[Entry->Word1] = ReadLeUshort(Buffer + 2);
    }
}

static BOOLEAN RequestFieldsInBounds(const REQUEST_FIELDS* Fields)
{
    ULONG Field;
    for (Field = FieldNone + 1; Field < FieldCount; Field++) {
        if (Fields->Value[Field] > FieldBound[Field]) {
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
