/* SPDX-License-Identifier: MIT */
/*
 * peak_memory.c
 *
 * peak_memory RESULT PROGRAM [ARGUMENT...]: runs PROGRAM and writes its
 * peak resident memory in KiB to the file RESULT; exits with its status.
 *
 * A child's peak as wait4 reports it is never less than the peak of the
 * process it was started from (the kernel carries that over at exec), so
 * the benchmark suite, which is larger than the programs it measures, starts
 * them through this small C program.
 */
#include <stdio.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

int main(int argc, char** argv)
{
    pid_t child;
    int status = 0;
    struct rusage usage;
    FILE* result;

    if (argc < 3) {
        fprintf(stderr, "usage: peak_memory RESULT PROGRAM [ARGUMENT...]\n");
        return 125;
    }
    child = fork();
    if (child < 0) {
        perror("peak_memory: fork");
        return 125;
    }
    if (child == 0) {
        execv(argv[2], argv + 2);
        perror("peak_memory: exec");
        _exit(127);
    }
    if (wait4(child, &status, 0, &usage) < 0) {
        perror("peak_memory: wait4");
        return 125;
    }
    result = fopen(argv[1], "w");
    if (result == NULL || fprintf(result, "%ld\n", usage.ru_maxrss) < 0 || fclose(result) != 0) {
        perror("peak_memory: the result file");
        return 125;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 126;
}
