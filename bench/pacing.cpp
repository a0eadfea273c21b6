#include "pacing.h"

#include "process_stats.h"

#include <algorithm>
#include <cmath>

namespace quillon::bench {

Lateness PacingLateness(const std::vector<long long>& arrivals, double rateHz) {
    constexpr double kNsPerMs = 1e6;
    const double periodNs = 1e9 / rateHz;
    std::vector<double> zeros;
    for (std::size_t i = 0; i < arrivals.size(); ++i)
        zeros.push_back(double(arrivals[i] - arrivals.front()) - periodNs * double(i));
    std::sort(zeros.begin(), zeros.end());
    const double zero = zeros.empty() ? 0 : zeros[zeros.size() / 2];
    std::vector<double> lateness;
    for (std::size_t i = 0; i < arrivals.size(); ++i) {
        const double scheduled = double(arrivals.front()) + zero + periodNs * double(i);
        lateness.push_back(std::abs(double(arrivals[i]) - scheduled) / kNsPerMs);
    }
    return {Percentile(lateness, 0.5), Percentile(lateness, 0.99), Percentile(lateness, 1.0)};
}

} // namespace quillon::bench
