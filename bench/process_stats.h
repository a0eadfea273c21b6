#pragma once

#include <string>
#include <vector>

namespace quillon::bench {

// This process's resident set (VmRSS of /proc/self/status), in KiB; 0 when unreadable.
long ResidentKiB();

// The anonymous (not file-backed) part of this process's resident set, from
// /proc/self/smaps_rollup, in KiB; 0 when unreadable.
long AnonymousKiB();

// This process's peak resident set (getrusage's ru_maxrss), in KiB.
long PeakResidentKiB();

// The path of this program, and the folder it is in (where the programs it measures are built).
std::string SelfPath();
std::string BinDir();

// CLOCK_MONOTONIC now, in nanoseconds: the clock a child process reads too.
long long MonotonicNs();

// The median, and the value below which `fraction` of the values lie; both 0 for no values.
double Median(std::vector<double> values);
double Percentile(std::vector<double> values, double fraction);

} // namespace quillon::bench
