// What the process costs, for the measuring programs (any thread).
#ifndef TAVIK_BENCH_PROCESSSTATS_H
#define TAVIK_BENCH_PROCESSSTATS_H

#include <cstdio>
#include <sys/resource.h>
#include <unistd.h>

// CPU time of all threads so far, user and system, in seconds.
inline double cpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// Resident size in MB, or 0 when it cannot be read.
inline double residentMb()
{
    long pages = 0;
    long resident = 0;
    if (FILE* f = std::fopen("/proc/self/statm", "r")) {
        if (std::fscanf(f, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(f);
    }
    return resident * double(sysconf(_SC_PAGESIZE)) / (1024.0 * 1024.0);
}

#endif
