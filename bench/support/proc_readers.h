#pragma once

#include <QString>

#include <chrono>

namespace bench {

using Clock = std::chrono::steady_clock;

double msBetween(Clock::time_point a, Clock::time_point b);

// Processor time of the calling thread.
double threadCpuMs();

// A field of /proc/self/status in KiB ("VmRSS", "VmHWM"), or -1.
long statusKiB(const char* field);

// Resets VmHWM to the current RSS (Linux 4.0 and later). False when the kernel refuses.
bool resetPeakRss();

// The 1, 5 and 15 minute load averages, as /proc/loadavg gives them.
QString loadAverage();

bool onTmpfs(const QString& path);

}  // namespace bench
