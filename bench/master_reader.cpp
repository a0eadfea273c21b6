#include "master_reader.h"

#include <cerrno>
#include <poll.h>
#include <unistd.h>

namespace quillon::bench {

namespace {
// How often the thread looks at its stop flag while the line is quiet.
constexpr int kStopCheckMs = 20;
} // namespace

MasterReader::MasterReader(int masterFd) : m_master(masterFd), m_thread([this] { readLoop(); }) {}

MasterReader::~MasterReader() {
    m_stop = true;
    m_thread.join();
}

void MasterReader::expect(const QByteArray& frame) {
    const std::lock_guard lock(m_mutex);
    m_expected = frame;
    m_received.clear();
    m_arrival.reset();
    m_collecting = true;
}

std::optional<MasterReader::Arrival> MasterReader::waitForFrame(std::chrono::milliseconds timeout,
                                                                bool keepCollecting) {
    std::unique_lock lock(m_mutex);
    m_arrived.wait_for(lock, timeout, [this] { return m_arrival.has_value(); });
    if (!keepCollecting || m_arrival)
        m_collecting = false;
    return m_arrival;
}

qsizetype MasterReader::strayBytes() const {
    const std::lock_guard lock(m_mutex);
    return m_strayBytes;
}

void MasterReader::readLoop() {
    char buffer[4096];
    while (!m_stop) {
        pollfd fd{m_master, POLLIN, 0};
        if (::poll(&fd, 1, kStopCheckMs) <= 0)
            continue;
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        const Clock::time_point readAt = Clock::now();
        if (n <= 0) {
            if (n == 0 || (errno != EAGAIN && errno != EINTR))
                return;
            continue;
        }
        const std::lock_guard lock(m_mutex);
        if (!m_collecting || m_arrival) {
            m_strayBytes += n;
            continue;
        }
        m_received.append(buffer, n);
        if (m_received.size() < m_expected.size())
            continue;
        m_arrival = Arrival{readAt, m_received == m_expected};
        m_arrived.notify_one();
    }
}

} // namespace quillon::bench
