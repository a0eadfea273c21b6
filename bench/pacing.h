#pragma once

// How far frames arrived from a fixed schedule, seen from outside the program that paced them.

#include <vector>

namespace quillon::bench {

struct Lateness {
    double p50 = 0, p99 = 0, max = 0; // |arrival - schedule|, in ms
};

// The program's zero is not visible from outside: take the one that fits best, the median of
// arrival - period x i, and measure each frame (arrival times in ns) against zero + period x i.
Lateness PacingLateness(const std::vector<long long>& arrivals, double rateHz);

} // namespace quillon::bench
