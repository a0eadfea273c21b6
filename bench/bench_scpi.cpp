// quillon-scpi from the outside: a command from a connected client to its frame on the pty,
// beside a click on the panel's Send and a quillon-send process in the same run; eight clients
// of 200 commands each, every frame arriving in order per client; and the server's memory with
// sixteen idle clients beside none.

#include "bench_table.h"
#include "frame_layout.h"
#include "line_time.h"
#include "master_reader.h"
#include "panel_rig.h"
#include "process_stats.h"
#include "pty_pair.h"

#include <QCoreApplication>
#include <QPushButton>
#include <QTest>

#include <arpa/inet.h>
#include <array>
#include <cerrno>
#include <chrono>
#include <climits>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <optional>
#include <poll.h>
#include <spawn.h>
#include <string>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quillon::bench {

namespace {

using namespace std::chrono_literals;

constexpr int kRounds = 300;
constexpr int kSendRuns = 30;
constexpr int kClients = 8;
constexpr int kCommandsPerClient = 200;
constexpr int kIdleClients = 16;
constexpr std::size_t kFrameBytes = kFrameLength;
constexpr double kFrameLineMs =
    std::chrono::duration<double, std::milli>(LineTime(kFrameBytes)).count();
const QByteArray kFrame("0000110099999999999999"); // single 0 1.100

// quillon-scpi on a pty, listening on a free loopback port.
class ScpiProcess {
public:
    explicit ScpiProcess(const QString& device) {
        int out[2];
        if (::pipe(out) != 0)
            return;
        const std::string program = BinDir() + "/quillon-scpi";
        const std::string port = device.toStdString();
        std::vector<const char*> argv{program.c_str(), "--port",      port.c_str(),
                                      "--listen",      "127.0.0.1:0", nullptr};
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        if (posix_spawn(&m_pid, program.c_str(), &actions, nullptr,
                        const_cast<char* const*>(argv.data()), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        std::string line;
        char c = 0;
        while (m_pid > 0 && ::read(out[0], &c, 1) == 1 && c != '\n')
            line += c;
        ::close(out[0]);
        const std::size_t colon = line.rfind(':');
        if (line.rfind("listening on ", 0) == 0 && colon != std::string::npos)
            m_port = std::atoi(line.c_str() + colon + 1);
    }
    ~ScpiProcess() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGTERM);
            ::waitpid(m_pid, nullptr, 0);
        }
    }
    ScpiProcess(const ScpiProcess&) = delete;
    ScpiProcess& operator=(const ScpiProcess&) = delete;

    int port() const { return m_port; }
    long residentKiB() const {
        FILE* status = std::fopen(("/proc/" + std::to_string(m_pid) + "/status").c_str(), "r");
        if (!status)
            return 0;
        char line[256];
        long kib = 0;
        while (std::fgets(line, sizeof line, status)) {
            if (std::strncmp(line, "VmRSS:", 6) == 0)
                kib = std::atol(line + 6);
        }
        std::fclose(status);
        return kib;
    }

private:
    pid_t m_pid = -1;
    int m_port = 0;
};

int Connect(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(std::uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t sent = 0;
    while (sent < text.size()) {
        const ssize_t n = ::write(fd, text.data() + sent, text.size() - sent);
        if (n <= 0)
            return false;
        sent += std::size_t(n);
    }
    return true;
}

// One reply line, or nothing within the timeout.
std::optional<std::string> ReadLine(int fd) {
    std::string line;
    char c = 0;
    pollfd wait{fd, POLLIN, 0};
    while (::poll(&wait, 1, 5000) == 1 && ::read(fd, &c, 1) == 1) {
        if (c == '\n')
            return line;
        line += c;
    }
    return std::nullopt;
}

double Micros(MasterReader::Clock::duration span) {
    return std::chrono::duration<double, std::micro>(span).count();
}

// The panel's loop runs while the clicked frame is waited for, as the window writes it.
std::optional<MasterReader::Arrival> ServeUntilArrival(MasterReader& reader) {
    const auto deadline = MasterReader::Clock::now() + 2s;
    for (;;) {
        QCoreApplication::processEvents();
        const bool last = MasterReader::Clock::now() > deadline;
        if (auto arrival = reader.waitForFrame(1ms, !last))
            return arrival;
        if (last)
            return std::nullopt;
    }
}

std::optional<double> SendProcessMicros(testing::PtyPair& board) {
    board.readAvailable();
    MasterReader reader(board.masterFd());
    reader.expect(kFrame);
    const std::string program = BinDir() + "/quillon-send";
    const std::string device = board.slavePath().toStdString();
    std::vector<const char*> argv{program.c_str(), "--port", device.c_str(), "single", "0",
                                  "1.1",           nullptr};
    const auto started = MasterReader::Clock::now();
    pid_t pid = -1;
    if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, const_cast<char* const*>(argv.data()),
                    environ) != 0)
        return std::nullopt;
    const auto arrival = reader.waitForFrame(5000ms);
    ::waitpid(pid, nullptr, 0);
    if (!arrival || !arrival->matched)
        return std::nullopt;
    return Micros(arrival->at - started);
}

void MeasureLatency(BenchTable& table) {
    PanelRig rig;
    testing::PtyPair scpiBoard;
    testing::PtyPair sendBoard;
    ScpiProcess server(scpiBoard.slavePath());
    const int client = server.port() > 0 ? Connect(server.port()) : -1;
    if (!rig.failure().isEmpty() || client < 0) {
        table.add({"SCPI command to wire", 0, "", 0, 0, "", false,
                   "not measured: the panel or quillon-scpi did not start"});
        return;
    }
    MasterReader scpiReader(scpiBoard.masterFd());
    MasterReader panelReader(rig.board().masterFd());
    QPushButton* sendButton = rig.form().singleChannelGroup().sendButton;
    std::vector<double> scpi;
    std::vector<double> clicks;
    int failures = 0;
    for (int round = 0; round < kRounds + 20; ++round) {
        scpiReader.expect(kFrame);
        const auto written = MasterReader::Clock::now();
        WriteAll(client, "SOUR1:VOLT 1.1\n");
        const auto scpiArrival = scpiReader.waitForFrame(2000ms);
        panelReader.expect(kFrame);
        const auto clicked = MasterReader::Clock::now();
        QTest::mouseClick(sendButton, Qt::LeftButton, {}, sendButton->rect().center());
        const auto clickArrival = ServeUntilArrival(panelReader);
        if (!scpiArrival || !scpiArrival->matched || !clickArrival || !clickArrival->matched) {
            ++failures;
            continue;
        }
        if (round >= 20) {
            scpi.push_back(Micros(scpiArrival->at - written));
            clicks.push_back(Micros(clickArrival->at - clicked));
        }
    }
    std::vector<double> sends;
    for (int run = 0; run < kSendRuns; ++run) {
        if (const auto micros = SendProcessMicros(sendBoard))
            sends.push_back(*micros);
    }
    ::close(client);
    const double click = Median(clicks);
    const double command = Median(scpi);
    table.add({"click Send, single channel, to readable (µs)", click, "", 0, 0, "reference", false,
               "p90 " + FormatNumber(Percentile(clicks, 0.9), 1) + " µs, " +
                   std::to_string(clicks.size()) + " clicks, alternating with the SCPI command",
               true});
    table.add({"SCPI SOUR1:VOLT 1.1 from a connected client to readable (µs)", command,
               "click Send, single channel (µs)", click, command / click, "<= 2x the click",
               command <= 2 * click,
               "p90 " + FormatNumber(Percentile(scpi, 0.9), 1) + " µs, " +
                   std::to_string(scpi.size()) + " commands over loopback TCP to quillon-scpi" +
                   (failures ? ", " + std::to_string(failures) + " rounds failed" : "")});
    const double send = Median(sends);
    table.add({"quillon-send single 0 1.1, start to readable (µs)", send,
               "click Send, single channel (µs)", click, send / click, "reference", false,
               std::to_string(sends.size()) + " runs: a process start each, for comparison", true});
}

// Eight clients each send 200 commands, all at once; the frames are read back from the pty.
void MeasureManyClients(BenchTable& table) {
    testing::PtyPair board;
    ScpiProcess server(board.slavePath());
    std::array<int, kClients> clients{};
    for (int& client : clients)
        client = server.port() > 0 ? Connect(server.port()) : -1;
    std::array<std::string, kClients> commands;
    for (int c = 0; c < kClients; ++c) {
        for (int i = 0; i < kCommandsPerClient; ++i)
            commands[std::size_t(c)] +=
                "SOUR" + std::to_string(c + 1) + ":VOLT " + std::to_string(i) + "MV\n";
    }
    const std::size_t expected = std::size_t(kClients * kCommandsPerClient) * kFrameBytes;
    const long long started = MonotonicNs();
    for (int c = 0; c < kClients; ++c) {
        if (clients[std::size_t(c)] < 0 ||
            !WriteAll(clients[std::size_t(c)], commands[std::size_t(c)])) {
            table.add({"8 clients x 200 commands", 0, "", 0, 0, "", false,
                       "not measured: a client could not connect"});
            return;
        }
    }
    QByteArray wire;
    char buffer[4096];
    while (std::size_t(wire.size()) < expected) {
        pollfd wait{board.masterFd(), POLLIN, 0};
        if (::poll(&wait, 1, 10000) != 1)
            break;
        const ssize_t n = ::read(board.masterFd(), buffer, sizeof buffer);
        if (n > 0)
            wire.append(buffer, n);
    }
    const double elapsedMs = double(MonotonicNs() - started) / 1e6;
    // Each channel's values must come as its client sent them: 0, 1, 2 ... mV.
    std::array<int, kClients> next{};
    int outOfOrder = 0;
    for (qsizetype at = 0; at + qsizetype(kFrameBytes) <= wire.size(); at += kFrameBytes) {
        const int channel = wire[at + 2] - '0';
        const int millivolts = wire.mid(at + 4, 4).toInt();
        if (channel < 0 || channel >= kClients || millivolts != next[std::size_t(channel)]++)
            ++outOfOrder;
    }
    for (const int client : clients)
        ::close(client);
    const double lineMs = kClients * kCommandsPerClient * kFrameLineMs;
    const bool whole = std::size_t(wire.size()) == expected && outOfOrder == 0;
    table.add({"8 clients x 200 commands, first write to last frame readable (ms)", elapsedMs,
               "the 1600 frames' time on the line (ms)", lineMs, elapsedMs / lineMs,
               "all frames, in order per client, <= 1x the line time", whole && elapsedMs <= lineMs,
               std::to_string(wire.size() / kFrameBytes) + " of 1600 frames, " +
                   std::to_string(outOfOrder) +
                   " out of order; the pty takes bytes as fast as they come"});
}

void MeasureIdleMemory(BenchTable& table) {
    testing::PtyPair board;
    ScpiProcess server(board.slavePath());
    // One client served and gone first, so that both figures include what serving loads.
    const int first = server.port() > 0 ? Connect(server.port()) : -1;
    if (first < 0 || !WriteAll(first, "*IDN?\n") || !ReadLine(first)) {
        table.add({"quillon-scpi RSS", 0, "", 0, 0, "", false, "not measured: no server"});
        return;
    }
    ::close(first);
    ::usleep(200'000);
    const long none = server.residentKiB();
    std::vector<int> idle;
    for (int k = 0; k < kIdleClients; ++k) {
        const int client = Connect(server.port());
        if (client >= 0 && WriteAll(client, "*IDN?\n") && ReadLine(client))
            idle.push_back(client);
    }
    const long sixteen = server.residentKiB();
    for (const int client : idle)
        ::close(client);
    const double ratio = none > 0 ? double(sixteen) / double(none) : 0;
    table.add({"quillon-scpi RSS with 16 idle clients (KiB)", double(sixteen),
               "the same with none (KiB)", double(none), ratio, "<= 1.2x", ratio <= 1.2,
               std::to_string(idle.size()) + " clients connected, each served one *IDN?"});
}

} // namespace

void RunScpiBenchmark(BenchTable& table) {
    MeasureLatency(table);
    MeasureManyClients(table);
    MeasureIdleMemory(table);
}

} // namespace quillon::bench
