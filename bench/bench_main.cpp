// quillon-bench: the project's benchmarks, one mode each; bench/run runs them all and writes the
// table. Benchmarks never fail a build or a test: they measure and compare.

#include "bench_table.h"

#include <cstdio>
#include <cstring>
#include <string>

namespace quillon::bench {
void RunBuilderBenchmarks(int argc, char** argv, BenchTable& table);
} // namespace quillon::bench

namespace {

int Usage() {
    std::fputs("usage: quillon-bench builders [google-benchmark flags]\n", stderr);
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return Usage();
    const std::string mode = argv[1];
    quillon::bench::BenchTable table;
    if (mode == "builders") {
        quillon::bench::RunBuilderBenchmarks(argc - 1, argv + 1, table);
    } else {
        return Usage();
    }
    std::fputs(table.markdown().c_str(), stdout);
    return 0;
}
