// quillon-bench: the project's benchmarks, one mode each; bench/run runs them all and writes the
// table. Benchmarks never fail a build or a test: they measure and compare.

#include "bench_table.h"

#include <QApplication>

#include <cstdio>
#include <cstring>
#include <string>

namespace quillon::bench {
void RunBuilderBenchmarks(int argc, char** argv, BenchTable& table);
void RunClickBenchmark(BenchTable& table);
void RunFloodBenchmark(BenchTable& table);
void RunStartupBenchmark(BenchTable& table);
int RunStartupChild(int& argc, char** argv, const std::string& kind);
void RunSendBenchmark(BenchTable& table);
void RunPacingBenchmark(BenchTable& table);
void RunWaveBenchmark(BenchTable& table);
void RunRemoteSendBenchmark(BenchTable& table);
void RunRemoteClickBenchmark(BenchTable& table);
void RunScpiBenchmark(BenchTable& table);
} // namespace quillon::bench

namespace {

int Usage() {
    std::fputs("usage: quillon-bench [--rows-only] builders [google-benchmark flags]\n"
               "       quillon-bench [--rows-only] click|flood|startup|send|pace|wave|remote|scpi\n"
               "       quillon-bench startup-child panel|panel-en|floor   (started by startup)\n",
               stderr);
    return 2;
}

// The panel's window on the offscreen platform, for the modes that click and flood it.
template <typename Run> void WithOffscreenApplication(int argc, char** argv, Run run) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    run();
}

} // namespace

int main(int argc, char** argv) {
    using namespace quillon::bench;
    const bool rowsOnly = argc > 1 && std::strcmp(argv[1], "--rows-only") == 0;
    if (rowsOnly) {
        argv[1] = argv[0];
        ++argv;
        --argc;
    }
    if (argc < 2)
        return Usage();
    const std::string mode = argv[1];
    BenchTable table;
    if (mode == "builders") {
        RunBuilderBenchmarks(argc - 1, argv + 1, table);
    } else if (mode == "click") {
        WithOffscreenApplication(argc, argv, [&] { RunClickBenchmark(table); });
    } else if (mode == "flood") {
        WithOffscreenApplication(argc, argv, [&] { RunFloodBenchmark(table); });
    } else if (mode == "startup") {
        RunStartupBenchmark(table);
    } else if (mode == "send") {
        RunSendBenchmark(table);
    } else if (mode == "pace") {
        RunPacingBenchmark(table);
    } else if (mode == "wave") {
        RunWaveBenchmark(table);
    } else if (mode == "remote") {
        WithOffscreenApplication(argc, argv, [&] {
            RunRemoteSendBenchmark(table);
            RunRemoteClickBenchmark(table);
        });
    } else if (mode == "scpi") {
        WithOffscreenApplication(argc, argv, [&] { RunScpiBenchmark(table); });
    } else if (mode == "startup-child" && argc == 3) {
        return RunStartupChild(argc, argv, argv[2]);
    } else {
        return Usage();
    }
    std::fputs(table.markdown(!rowsOnly).c_str(), stdout);
    return 0;
}
