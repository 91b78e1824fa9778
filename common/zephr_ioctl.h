// SPDX-License-Identifier: MIT
/*
 * zephr_ioctl.h
 *
 * The device protocol of zephr: the one table of its control codes (name,
 * function, minimum input and output lengths, the request fields its input
 * words fill and their bounds), and the layouts of the requests and answers.
 * The driver's dispatcher, the plug-in, the tools and the tests all take the
 * codes and their lengths from here. C++ needing nothing but the compiler
 * (no library, no heap): it builds in the freestanding driver and user mode.
 */
#ifndef ZEPHR_IOCTL_H
#define ZEPHR_IOCTL_H

/* Every code: device type 0x9C40, FILE_WRITE_ACCESS, METHOD_BUFFERED. */
#define ZEPHR_DEVICE_TYPE 0x9C40u
#define ZEPHR_REQUIRED_ACCESS 2u /* FILE_WRITE_ACCESS */
#define ZEPHR_TRANSFER_METHOD 0u /* METHOD_BUFFERED */

#define ZEPHR_CTL_CODE(Function)                                                                   \
    ((ZEPHR_DEVICE_TYPE << 16) | (ZEPHR_REQUIRED_ACCESS << 14) | ((unsigned int)(Function) << 2) | \
     ZEPHR_TRANSFER_METHOD)

/* Names of the device: kernel name, link name, and the path user mode opens. */
#define ZEPHR_DEVICE_NAME_W L"\\Device\\Zephr"
#define ZEPHR_LINK_NAME_W L"\\DosDevices\\ZephrDev"
#define ZEPHR_USER_PATH "\\\\.\\ZephrDev"

/* The answer word of every SMM and Super I/O request: all ones is "no value". */
#define ZEPHR_NO_VALUE 0xFFFFFFFFu
/* Truth values of the Super I/O answers. */
#define ZEPHR_SIO_TRUE 0xFFFFFFFFu
#define ZEPHR_SIO_FALSE 0u

/* Bounds the driver applies to the request fields. */
#define ZEPHR_MAX_FAN 1u
#define ZEPHR_MAX_FAN_STATE 2u
#define ZEPHR_MAX_SENSOR 255u
#define ZEPHR_MAX_DUTY 63u

/* Buffer lengths of the protocol, in bytes. */
#define ZEPHR_WORDS_LENGTH 4u           /* the two input words */
#define ZEPHR_ANSWER_LENGTH 4u          /* one 32-bit answer word */
#define ZEPHR_VERSION_LENGTH 8u         /* the version record */
#define ZEPHR_CPU_SPEED_LENGTH 8u       /* the CPU speed text */
#define ZEPHR_SYSINFO_LENGTH 16384u     /* the system information report */
#define ZEPHR_ACPI_REPORT_LENGTH 32768u /* the ACPI report */

/* Driver version 1.5. */
#define ZEPHR_VERSION_MAJOR 1u
#define ZEPHR_VERSION_MINOR 5u

/*
 * The request fields, each filled from an input word by the codes that read
 * it and 0 otherwise: FIELD(Name, bound, what a message calls it).
 */
#define ZEPHR_REQUEST_FIELDS(FIELD)                                                                \
    FIELD(Fan, ZEPHR_MAX_FAN, "fan")                                                               \
    FIELD(State, ZEPHR_MAX_FAN_STATE, "state")                                                     \
    FIELD(Sensor, ZEPHR_MAX_SENSOR, "sensor")                                                      \
    FIELD(Duty, ZEPHR_MAX_DUTY, "duty")

/*
 * The control codes, in the order of their functions:
 *   CODE(name, function, request, minimum input, minimum output, word 0, word 1)
 * "request" names the work; the driver runs its Op<request> routine for it.
 * Word 0 and word 1 are the request fields the input words at offsets 0 and
 * 2 fill; None: the word is not read. A code that reads only word 0 still
 * needs both words of input. Every other code is invalid.
 */
/* clang-format off */
#define ZEPHR_CONTROL_CODES(CODE)                                                                          \
    CODE(IOCTL_ZEPHR_SET_FAN_STATE,   0x900, SetFanState,    ZEPHR_WORDS_LENGTH, ZEPHR_ANSWER_LENGTH,      Fan,    State) \
    CODE(IOCTL_ZEPHR_GET_FAN_STATE,   0x901, GetFanState,    ZEPHR_WORDS_LENGTH, ZEPHR_ANSWER_LENGTH,      Fan,    None)  \
    CODE(IOCTL_ZEPHR_GET_FAN_SPEED,   0x902, GetFanSpeed,    ZEPHR_WORDS_LENGTH, ZEPHR_ANSWER_LENGTH,      Fan,    None)  \
    CODE(IOCTL_ZEPHR_GET_CPU_SPEED,   0x904, GetCpuSpeed,    0,                  ZEPHR_CPU_SPEED_LENGTH,   None,   None)  \
    CODE(IOCTL_ZEPHR_DETECT_SUPERIO,  0x905, DetectSuperIo,  0,                  ZEPHR_ANSWER_LENGTH,      None,   None)  \
    CODE(IOCTL_ZEPHR_SET_PWM,         0x906, SetPwm,         ZEPHR_WORDS_LENGTH, ZEPHR_ANSWER_LENGTH,      Fan,    Duty)  \
    CODE(IOCTL_ZEPHR_GET_PWM,         0x907, GetPwm,         ZEPHR_WORDS_LENGTH, ZEPHR_ANSWER_LENGTH,      Fan,    None)  \
    CODE(IOCTL_ZEPHR_GET_TEMP,        0x910, GetTemperature, ZEPHR_WORDS_LENGTH, ZEPHR_ANSWER_LENGTH,      Sensor, None)  \
    CODE(IOCTL_ZEPHR_GET_VERSION,     0x911, GetVersion,     0,                  ZEPHR_VERSION_LENGTH,     None,   None)  \
    CODE(IOCTL_ZEPHR_GET_SYSINFO,     0x912, GetSysInfo,     0,                  ZEPHR_SYSINFO_LENGTH,     None,   None)  \
    CODE(IOCTL_ZEPHR_GET_ACPI_REPORT, 0x913, GetAcpiReport,  0,                  ZEPHR_ACPI_REPORT_LENGTH, None,   None)
/* clang-format on */

/* The codes by name: IOCTL_ZEPHR_GET_TEMP is 0x9C40A440, and so on. */
enum ZEPHR_CONTROL_CODE : unsigned int {
#define ZEPHR_CODE_VALUE(Name, Function, Request, Input, Output, Word0, Word1)                     \
    Name = ZEPHR_CTL_CODE(Function),
    ZEPHR_CONTROL_CODES(ZEPHR_CODE_VALUE)
#undef ZEPHR_CODE_VALUE
};

/* The first and the last code of the table. */
#define ZEPHR_FIRST_CODE IOCTL_ZEPHR_SET_FAN_STATE
#define ZEPHR_LAST_CODE IOCTL_ZEPHR_GET_ACPI_REPORT

/* What an input word is to the code that reads it. */
typedef enum _ZEPHR_FIELD {
    ZephrFieldNone = 0,
#define ZEPHR_FIELD_VALUE(Name, Bound, Text) ZephrField##Name,
    ZEPHR_REQUEST_FIELDS(ZEPHR_FIELD_VALUE)
#undef ZEPHR_FIELD_VALUE
        ZephrFieldCount
} ZEPHR_FIELD;

/* The bound of each field; ZephrFieldNone is never filled. */
inline constexpr unsigned short ZephrFieldBound[ZephrFieldCount] = {
    0,
#define ZEPHR_FIELD_BOUND(Name, Bound, Text) Bound,
    ZEPHR_REQUEST_FIELDS(ZEPHR_FIELD_BOUND)
#undef ZEPHR_FIELD_BOUND
};

/* The name of each field in messages; "" for ZephrFieldNone. */
inline constexpr const char* ZephrFieldName[ZephrFieldCount] = {
    "",
#define ZEPHR_FIELD_TEXT(Name, Bound, Text) Text,
    ZEPHR_REQUEST_FIELDS(ZEPHR_FIELD_TEXT)
#undef ZEPHR_FIELD_TEXT
};

/* One row of the table as data, for the programs that walk it. */
typedef struct _ZEPHR_CONTROL_CODE_ROW {
    unsigned int Code;
    const char* Name;
    unsigned int Function;
    unsigned int MinInputLength;
    unsigned int MinOutputLength;
    ZEPHR_FIELD Word0;
    ZEPHR_FIELD Word1;
} ZEPHR_CONTROL_CODE_ROW;

inline constexpr ZEPHR_CONTROL_CODE_ROW ZephrControlCodes[] = {
#define ZEPHR_CODE_ROW(Name, Function, Request, Input, Output, Word0, Word1)                       \
    {Name, #Name, Function, Input, Output, ZephrField##Word0, ZephrField##Word1},
    ZEPHR_CONTROL_CODES(ZEPHR_CODE_ROW)
#undef ZEPHR_CODE_ROW
};

#define ZEPHR_CONTROL_CODE_COUNT (sizeof(ZephrControlCodes) / sizeof(ZephrControlCodes[0]))

/* The row of a code, or a null pointer for a code the table does not hold. */
constexpr const ZEPHR_CONTROL_CODE_ROW* ZephrFindControlCode(unsigned int Code)
{
    for (unsigned int Row = 0; Row < ZEPHR_CONTROL_CODE_COUNT; Row++) {
        if (ZephrControlCodes[Row].Code == Code) {
            return &ZephrControlCodes[Row];
        }
    }
    return nullptr;
}

/*
 * Input of the codes that read words: two unsigned 16-bit little-endian
 * words at offsets 0 and 2. Word 0 is the fan or the sensor; word 1 the
 * state or the duty.
 */
typedef struct _ZEPHR_REQUEST {
    unsigned short Word0;
    unsigned short Word1;
} ZEPHR_REQUEST;

/* Answer of IOCTL_ZEPHR_GET_VERSION. */
typedef struct _ZEPHR_VERSION_RECORD {
    unsigned int Major;
    unsigned int Minor;
} ZEPHR_VERSION_RECORD;

static_assert(sizeof(ZEPHR_REQUEST) == ZEPHR_WORDS_LENGTH, "request is two 16-bit words");
static_assert(sizeof(ZEPHR_VERSION_RECORD) == ZEPHR_VERSION_LENGTH, "version record");
static_assert(IOCTL_ZEPHR_GET_TEMP == 0x9C40A440u, "code layout");

#endif /* ZEPHR_IOCTL_H */
