/*
 * zephr_ioctl.h
 *
 * The control codes of the zephr device and the layouts of their requests
 * and answers. Shared by the driver, the Gaugelet plug-in and the tools; it
 * depends on nothing but the compiler, so it builds in kernel and user mode
 * alike.
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

#define IOCTL_ZEPHR_SET_FAN_STATE ZEPHR_CTL_CODE(0x900)   /* 0x9C40A400 */
#define IOCTL_ZEPHR_GET_FAN_STATE ZEPHR_CTL_CODE(0x901)   /* 0x9C40A404 */
#define IOCTL_ZEPHR_GET_FAN_SPEED ZEPHR_CTL_CODE(0x902)   /* 0x9C40A408 */
#define IOCTL_ZEPHR_GET_CPU_SPEED ZEPHR_CTL_CODE(0x904)   /* 0x9C40A410 */
#define IOCTL_ZEPHR_DETECT_SUPERIO ZEPHR_CTL_CODE(0x905)  /* 0x9C40A414 */
#define IOCTL_ZEPHR_SET_PWM ZEPHR_CTL_CODE(0x906)         /* 0x9C40A418 */
#define IOCTL_ZEPHR_GET_PWM ZEPHR_CTL_CODE(0x907)         /* 0x9C40A41C */
#define IOCTL_ZEPHR_GET_TEMP ZEPHR_CTL_CODE(0x910)        /* 0x9C40A440 */
#define IOCTL_ZEPHR_GET_VERSION ZEPHR_CTL_CODE(0x911)     /* 0x9C40A444 */
#define IOCTL_ZEPHR_GET_SYSINFO ZEPHR_CTL_CODE(0x912)     /* 0x9C40A448 */
#define IOCTL_ZEPHR_GET_ACPI_REPORT ZEPHR_CTL_CODE(0x913) /* 0x9C40A44C */

/* The first and the last code of the table. */
#define ZEPHR_FIRST_CODE IOCTL_ZEPHR_SET_FAN_STATE
#define ZEPHR_LAST_CODE IOCTL_ZEPHR_GET_ACPI_REPORT

/* Names of the device: kernel name, link name, and the path user mode opens. */
#define ZEPHR_DEVICE_NAME_W L"\\Device\\Zephr"
#define ZEPHR_LINK_NAME_W L"\\DosDevices\\ZephrDev"
#define ZEPHR_USER_PATH "\\\\.\\ZephrDev"

/* The answer word of every SMM and Super I/O request: all ones is "no value". */
#define ZEPHR_NO_VALUE 0xFFFFFFFFu
/* Truth values of the Super I/O answers. */
#define ZEPHR_SIO_TRUE 0xFFFFFFFFu
#define ZEPHR_SIO_FALSE 0u

/* Bounds the driver applies to the request words. */
#define ZEPHR_MAX_FAN 1u
#define ZEPHR_MAX_FAN_STATE 2u
#define ZEPHR_MAX_SENSOR 255u
#define ZEPHR_MAX_DUTY 63u

/* Minimum output lengths of the text answers. */
#define ZEPHR_CPU_SPEED_LENGTH 8u
#define ZEPHR_SYSINFO_LENGTH 16384u
#define ZEPHR_ACPI_REPORT_LENGTH 32768u

/* Driver version 1.5. */
#define ZEPHR_VERSION_MAJOR 1u
#define ZEPHR_VERSION_MINOR 5u

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

#ifdef __cplusplus
static_assert(sizeof(ZEPHR_REQUEST) == 4, "request is two 16-bit words");
static_assert(sizeof(ZEPHR_VERSION_RECORD) == 8, "version record is 8 bytes");
static_assert(IOCTL_ZEPHR_GET_TEMP == 0x9C40A440u, "code layout");
#endif

#endif /* ZEPHR_IOCTL_H */
