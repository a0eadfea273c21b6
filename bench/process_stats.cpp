#include "process_stats.h"

#include <ctime>

#include <algorithm>
#include <charconv>
#include <fstream>
#include <string>
#include <climits>
#include <sys/resource.h>
#include <unistd.h>

namespace quillon::bench {

namespace {

// The KiB figure of the line starting with `key` in a /proc file such as status.
long ProcField(const char* path, const std::string& key) {
    std::ifstream status(path);
    for (std::string line; std::getline(status, line);) {
        if (!line.starts_with(key))
            continue;
        const auto first = line.find_first_not_of(" \t", key.size());
        long kib = 0;
        if (first != std::string::npos)
            std::from_chars(line.data() + first, line.data() + line.size(), kib);
        return kib;
    }
    return 0;
}

} // namespace

long ResidentKiB() {
    return ProcField("/proc/self/status", "VmRSS:");
}

long AnonymousKiB() {
    return ProcField("/proc/self/smaps_rollup", "Anonymous:");
}

long PeakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    const auto rank = std::min(values.size() - 1, std::size_t(fraction * double(values.size())));
    std::nth_element(values.begin(), values.begin() + rank, values.end());
    return values[rank];
}

double Median(std::vector<double> values) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const std::size_t middle = values.size() / 2;
    return values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

long long MonotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * 1'000'000'000LL + now.tv_nsec;
}

std::string SelfPath() {
    char path[PATH_MAX] = {};
    const ssize_t n = ::readlink("/proc/self/exe", path, sizeof path - 1);
    return n > 0 ? std::string(path, std::size_t(n)) : std::string();
}

std::string BinDir() {
    const std::string self = SelfPath();
    return self.substr(0, self.rfind('/'));
}

} // namespace quillon::bench
