#pragma once

// The board's end of the cable for timing: a thread that reads the pty master and notes the
// moment the last byte of an expected frame has arrived.

#include <QByteArray>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace quillon::bench {

class MasterReader {
public:
    using Clock = std::chrono::steady_clock;

    explicit MasterReader(int masterFd);
    ~MasterReader();
    MasterReader(const MasterReader&) = delete;
    MasterReader& operator=(const MasterReader&) = delete;

    // Starts collecting one frame; bytes that arrive while nothing is expected are strays.
    void expect(const QByteArray& frame);
    struct Arrival {
        Clock::time_point at; // when the read that completed the frame returned
        bool matched;         // the bytes were the expected ones
    };
    // The expected frame's arrival, or nothing within `timeout`; then bytes count as strays,
    // unless the caller will wait again.
    std::optional<Arrival> waitForFrame(std::chrono::milliseconds timeout,
                                        bool keepCollecting = false);

    // Bytes that came while no frame was expected, or after it was complete.
    qsizetype strayBytes() const;

private:
    void readLoop();

    int m_master;
    mutable std::mutex m_mutex;
    std::condition_variable m_arrived;
    QByteArray m_expected;
    QByteArray m_received;
    bool m_collecting = false;
    std::optional<Arrival> m_arrival;
    qsizetype m_strayBytes = 0;
    std::atomic<bool> m_stop{false};
    std::thread m_thread;
};

} // namespace quillon::bench
