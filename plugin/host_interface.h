// SPDX-License-Identifier: MIT
/*
 * host_interface.h
 *
 * The six exports through which the host learns Gaugelet's reader
 * functions, their parameters and the plug-in's descriptions, and creates
 * and frees instances. Undecorated C names with the default (cdecl) calling
 * convention; Gaugelet.def and Gaugelet_host.map pin the export lists.
 */
#ifndef GAUGELET_HOST_INTERFACE_H
#define GAUGELET_HOST_INTERFACE_H

#include "plugin/instance_record.h"

#ifdef __cplusplus
extern "C" {
#endif

/* The reader names, separated by '|'. */
const char* init(void);
/* The parameter list of a reader: "label=default|" entries. */
const char* getparam(const char* name);
/* A new instance, or null when memory ran out. Both values are unused. */
InstanceRecord* dllstartup(int first, int second);
/* Frees an instance (null is accepted); always 0. */
int dllshutdown(InstanceRecord* instance);
/* The plug-in's type code for the host: 1. */
int dlltype(void);
/* Descriptive texts by index; "" from 7 up. */
const char* getinfo(unsigned int index);

#ifdef __cplusplus
}
#endif

#endif /* GAUGELET_HOST_INTERFACE_H */
