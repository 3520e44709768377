#pragma once
// The process's peak resident set (VmHWM) in kB, or -1 where /proc cannot tell. It covers the
// whole life of the process, so each benchmark runs one measurement a process.

#include <cstdio>

#include <QtGlobal>

inline qint64 peakRssKb()
{
    // /proc files report no size, so they are read line by line until the end.
    FILE* status = std::fopen("/proc/self/status", "r");
    if (!status)
        return -1;
    long long kb = -1;
    char line[256];
    while (std::fgets(line, sizeof line, status))
        if (std::sscanf(line, "VmHWM: %lld kB", &kb) == 1)
            break;
    std::fclose(status);
    return kb;
}
