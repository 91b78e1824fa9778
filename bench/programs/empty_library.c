/* SPDX-License-Identifier: MIT */
/* empty_library.c
 *
 * A shared library with one function and nothing to run when it loads: the
 * cost of loading and unloading a library at all, for the floor of the
 * plug-in's load. */
int zephr_bench_empty(void)
{
    return 0;
}
