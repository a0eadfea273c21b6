// Measures the serial link on a pseudo-terminal: WriteBytes-to-readable latency for a 22-byte
// frame, and the CPU time used in the 2 seconds after the device hangs up.
#include "pty_pair.h"
#include "serial_link.h"

#include <QCoreApplication>
#include <QSerialPort>
#include <QTimer>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstdio>
#include <sys/resource.h>
#include <vector>

using namespace std::chrono;

namespace {

double cpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
           (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

double cpuDuringEventLoop(int ms) {
    const double before = cpuSeconds();
    QTimer::singleShot(ms, qApp, &QCoreApplication::quit);
    QCoreApplication::exec();
    return cpuSeconds() - before;
}

void measureLatency() {
    quillon::testing::PtyPair pty;
    quillon::SerialLink link({pty.slavePath(), QString()});
    if (!link.OpenAtStartup())
        return void(std::puts("open failed"));
    std::array<std::uint8_t, 22> frame{};
    for (std::size_t i = 0; i < frame.size(); ++i)
        frame[i] = std::uint8_t('0' + i % 10);
    std::vector<double> latencies, callTimes;
    for (int i = 0; i < 1000; ++i) {
        const auto start = steady_clock::now();
        link.WriteBytes(frame);
        const auto returned = steady_clock::now();
        if (pty.readExactly(22).size() != 22)
            return void(std::puts("short read"));
        const auto readable = steady_clock::now();
        latencies.push_back(duration<double, std::micro>(readable - start).count());
        callTimes.push_back(duration<double, std::micro>(returned - start).count());
    }
    for (auto* values : {&latencies, &callTimes})
        std::sort(values->begin(), values->end());
    std::printf(
        "WriteBytes -> 22 bytes readable at master: median %.1f us, p90 %.1f us, max %.1f us\n",
        latencies[500], latencies[900], latencies.back());
    std::printf("WriteBytes call itself: median %.1f us, max %.1f us\n", callTimes[500],
                callTimes.back());
}

void measureHangUp() {
    quillon::testing::PtyPair pty;
    quillon::SerialLink link({pty.slavePath(), QString()});
    link.OpenAtStartup();
    int lost = 0;
    QObject::connect(&link, &quillon::SerialLink::portLost, [&] { ++lost; });
    pty.hangUp();
    const double cpu = cpuDuringEventLoop(2000);
    std::printf("SerialLink, 2 s after hang-up: CPU %.2f ms, portLost %d times\n", cpu * 1000,
                lost);
}

void measureHangUpOfBareQSerialPort() {
    quillon::testing::PtyPair pty;
    QSerialPort port;
    port.setPortName(pty.slavePath());
    port.open(QIODevice::ReadWrite);
    int errors = 0;
    QObject::connect(&port, &QSerialPort::errorOccurred,
                     [&](QSerialPort::SerialPortError e) { errors += e != QSerialPort::NoError; });
    pty.hangUp();
    const double cpu = cpuDuringEventLoop(2000);
    std::printf("bare QSerialPort, 2 s after hang-up: CPU %.2f ms, %d errors\n", cpu * 1000,
                errors);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    measureLatency();
    measureHangUp();
    measureHangUpOfBareQSerialPort();
}
