#pragma once

#include <atomic>
#include <cstddef>

namespace quillon::bench {

// Counts the heap allocations made through operator new by the whole process.
std::size_t AllocationCount();

} // namespace quillon::bench
