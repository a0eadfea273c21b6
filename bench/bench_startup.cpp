// Start-up: from process start to the window's first painted exposure, and peak RSS, for the
// panel and for a bare window with one label in the same font (the floor), under an X server;
// and the panel in English beside the panel in Chinese.
// The parent times each child from just before posix_spawn; the child reports the moment its
// window has been exposed and painted, on the same CLOCK_MONOTONIC.

#include "bench_table.h"
#include "command_line.h"
#include "form1.h"
#include "panel_actions.h"
#include "process_stats.h"
#include "pty_pair.h"
#include "window_language.h"

#include <QApplication>
#include <QLabel>
#include <QMainWindow>
#include <QMetaObject>
#include <QWindow>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <climits>
#include <cstdio>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <optional>
#include <spawn.h>
#include <string>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace quillon::bench {

namespace {

constexpr int kRuns = 20;
constexpr double kNsPerMs = 1e6;
constexpr double kKiBPerMiB = 1024;

// Watches every event of the application for the window's first Expose event and notes the time
// and peak RSS; once the event has been handled (the window painted) notes them again, prints
// "<exposed ns> <peak KiB> <painted ns> <peak KiB> <anonymous KiB> <port open>" and quits.
class FirstExposure : public QObject {
public:
    FirstExposure(QWidget& window, std::function<bool()> portOpen)
        : m_window(window), m_portOpen(std::move(portOpen)) {
        qApp->installEventFilter(this);
    }

    bool eventFilter(QObject* watched, QEvent* event) override {
        if (!m_seen && event->type() == QEvent::Expose && watched == m_window.windowHandle() &&
            m_window.windowHandle()->isExposed()) {
            m_seen = true;
            m_exposedNs = MonotonicNs();
            m_exposedPeakKiB = PeakResidentKiB();
            QMetaObject::invokeMethod(this, &FirstExposure::report, Qt::QueuedConnection);
        }
        return false;
    }

private:
    void report() {
        const long long now = MonotonicNs();
        std::printf("%lld %ld %lld %ld %ld %d\n", m_exposedNs, m_exposedPeakKiB, now,
                    PeakResidentKiB(), AnonymousKiB(), m_portOpen() ? 1 : 0);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    }

    QWidget& m_window;
    std::function<bool()> m_portOpen;
    bool m_seen = false;
    long long m_exposedNs = 0;
    long m_exposedPeakKiB = 0;
};

// What panel/main.cpp does with --language, with the exposure watch added.
int RunPanel(int& argc, char** argv, QLocale::Language language) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(kApplicationTitle);
    const UiTranslation translation(kPanelTexts, language);

    Form1 window;
    PanelController controller(window);
    FirstExposure exposure(window, [&controller] { return controller.link().isOpen(); });
    window.show();
    return app.exec();
}

// The panel's Song face at 10.5 pt, as Form1 asks for it.
QFont SongFont() {
    QFont font;
    font.setFamilies(
        {QStringLiteral("宋体"), QStringLiteral("SimSun"), QStringLiteral("AR PL UMing CN")});
    font.setPointSizeF(10.5);
    return font;
}

// A bare main window of the panel's client size with one label in the panel's face.
int RunFloor(int& argc, char** argv) {
    QApplication app(argc, argv);

    QMainWindow window;
    auto* label = new QLabel(QStringLiteral("单通道控制(设定值必须为4位数，单位为V)"), &window);
    label->setFont(SongFont());
    window.setCentralWidget(label);
    window.setGeometry(QRect(Form1::kClientTopLeft, Form1::kClientSize));
    FirstExposure exposure(window, [] { return false; });
    window.show();
    return app.exec();
}

struct Sample {
    double exposedMs = 0;
    double exposedPeakMiB = 0;
    double paintedMs = 0;
    double paintedPeakMiB = 0;
    double anonymousMiB = 0;
    bool portOpen = false;
};

// The children's kinds, in the order of the first round.
const char* const kKinds[] = {"panel", "floor", "panel-en"};

std::vector<std::string> ChildEnvironment(const QString& port1) {
    std::vector<std::string> env;
    for (char** entry = environ; *entry; ++entry) {
        const std::string text = *entry;
        if (!text.starts_with("QT_QPA_PLATFORM=") && !text.starts_with("QUILLON_PORT"))
            env.push_back(text);
    }
    env.push_back("QT_QPA_PLATFORM=xcb");
    env.push_back("QUILLON_PORT1=" + port1.toStdString());
    return env;
}

std::string ReadAll(int fd) {
    std::string text;
    char buffer[256];
    for (ssize_t n; (n = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (n > 0)
            text.append(buffer, n);
        else if (errno != EINTR)
            break;
    }
    return text;
}

std::optional<Sample> Parse(const std::string& line, long long spawnedNs) {
    long long exposedNs = 0, paintedNs = 0;
    long exposedPeakKiB = 0, paintedPeakKiB = 0, anonymousKiB = 0;
    int portOpen = 0;
    const char* p = line.data();
    const char* end = p + line.size();
    auto next = [&](auto& value) {
        while (p < end && *p == ' ')
            ++p;
        const auto result = std::from_chars(p, end, value);
        p = result.ptr;
        return result.ec == std::errc();
    };
    if (!next(exposedNs) || !next(exposedPeakKiB) || !next(paintedNs) || !next(paintedPeakKiB) ||
        !next(anonymousKiB) || !next(portOpen))
        return std::nullopt;
    return Sample{(exposedNs - spawnedNs) / kNsPerMs, exposedPeakKiB / kKiBPerMiB,
                  (paintedNs - spawnedNs) / kNsPerMs, paintedPeakKiB / kKiBPerMiB,
                  anonymousKiB / kKiBPerMiB,          portOpen == 1};
}

std::optional<Sample> Spawn(const std::string& self, const char* kind,
                            const std::vector<std::string>& env) {
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return std::nullopt;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    std::vector<char*> envp;
    for (const std::string& entry : env)
        envp.push_back(const_cast<char*>(entry.c_str()));
    envp.push_back(nullptr);
    char* argv[] = {const_cast<char*>(self.c_str()), const_cast<char*>("startup-child"),
                    const_cast<char*>(kind), nullptr};

    pid_t pid = 0;
    const long long spawnedNs = MonotonicNs();
    const int spawned = posix_spawn(&pid, self.c_str(), &actions, nullptr, argv, envp.data());
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    const std::string output = spawned == 0 ? ReadAll(out[0]) : std::string();
    ::close(out[0]);
    int status = 0;
    if (spawned != 0 || ::waitpid(pid, &status, 0) != pid || !WIFEXITED(status) ||
        WEXITSTATUS(status) != 0)
        return std::nullopt;
    return Parse(output, spawnedNs);
}

std::vector<double> Field(const std::vector<Sample>& samples, double Sample::*field) {
    std::vector<double> values;
    for (const Sample& sample : samples)
        values.push_back(sample.*field);
    return values;
}

// One figure of the panel beside the floor's, both medians, with the p90s in the note.
void AddRatioRow(BenchTable& table, const std::string& measure, const std::vector<Sample>& panel,
                 const std::vector<Sample>& floor, double Sample::*field, double limit,
                 const std::string& note) {
    const double ours = Median(Field(panel, field));
    const double floorValue = Median(Field(floor, field));
    const double ratio = ours / floorValue;
    const std::string p90 = QStringLiteral("p90 %1 vs %2")
                                .arg(Percentile(Field(panel, field), 0.9), 0, 'f', 1)
                                .arg(Percentile(Field(floor, field), 0.9), 0, 'f', 1)
                                .toStdString();
    table.add({"panel: " + measure, ours, "floor: QMainWindow + one QLabel, same font", floorValue,
               ratio, "<= " + FormatNumber(limit, 2) + "x floor", ratio <= limit,
               note.empty() ? p90 : note + "; " + p90});
}

} // namespace

int RunStartupChild(int& argc, char** argv, const std::string& kind) {
    if (kind == "panel")
        return RunPanel(argc, argv, QLocale::Chinese);
    if (kind == "panel-en")
        return RunPanel(argc, argv, QLocale::English);
    if (kind == "floor")
        return RunFloor(argc, argv);
    std::fputs("startup-child: panel, panel-en or floor\n", stderr);
    return 2;
}

void RunStartupBenchmark(BenchTable& table) {
    testing::PtyPair board;
    if (qEnvironmentVariableIsEmpty("DISPLAY") || !board.isValid()) {
        table.add({"start-up", 0, "", 0, 0, "", false,
                   "not measured: needs an X server in DISPLAY (bench/run starts Xvfb) and a pty"});
        return;
    }
    const std::string self = SelfPath();
    const std::vector<std::string> env = ChildEnvironment(board.slavePath());
    // One untimed start of each first, so every timed series starts with warm file caches.
    for (const char* kind : kKinds)
        Spawn(self, kind, env);

    std::vector<Sample> panel, floor, english;
    std::vector<Sample>* const series[] = {&panel, &floor, &english};
    int failures = 0;
    for (int run = 0; run < kRuns; ++run) {
        for (int turn = 0; turn < 3; ++turn) {
            const int kind = (run + turn) % 3;
            const auto sample = Spawn(self, kKinds[kind], env);
            if (!sample)
                ++failures;
            else
                series[kind]->push_back(*sample);
        }
    }
    const int portOpen =
        int(std::count_if(panel.begin(), panel.end(), [](const Sample& s) { return s.portOpen; }));
    const std::string runs =
        QStringLiteral("%1 + %2 runs, the order rotating; port open at exposure in %3 of %1 panel "
                       "runs%4")
            .arg(panel.size())
            .arg(floor.size())
            .arg(portOpen)
            .arg(failures ? QStringLiteral("; %1 runs failed").arg(failures) : QString())
            .toStdString();
    const std::string anonymous =
        QStringLiteral("of it anonymous (not file-backed) memory: %1 vs %2 MiB")
            .arg(Median(Field(panel, &Sample::anonymousMiB)), 0, 'f', 2)
            .arg(Median(Field(floor, &Sample::anonymousMiB)), 0, 'f', 2)
            .toStdString();
    AddRatioRow(table, "start-up to the first Expose event (ms)", panel, floor, &Sample::exposedMs,
                1.15, runs);
    AddRatioRow(table, "start-up to the first Expose event painted (ms)", panel, floor,
                &Sample::paintedMs, 1.15, "");
    AddRatioRow(table, "peak RSS at the first Expose event (MiB)", panel, floor,
                &Sample::exposedPeakMiB, 1.10, "getrusage ru_maxrss");
    AddRatioRow(table, "peak RSS once painted (MiB)", panel, floor, &Sample::paintedPeakMiB, 1.10,
                anonymous);

    const double englishMs = Median(Field(english, &Sample::paintedMs));
    const double chineseMs = Median(Field(panel, &Sample::paintedMs));
    const double ratio = englishMs / chineseMs;
    table.add({"panel --language en: start-up to the first Expose event painted (ms)", englishMs,
               "the panel in Chinese (--language zh), same runs", chineseMs, ratio, "<= 1.05x",
               ratio <= 1.05,
               QStringLiteral("%1 English runs; p90 %2 vs %3")
                   .arg(english.size())
                   .arg(Percentile(Field(english, &Sample::paintedMs), 0.9), 0, 'f', 1)
                   .arg(Percentile(Field(panel, &Sample::paintedMs), 0.9), 0, 'f', 1)
                   .toStdString()});
}

} // namespace quillon::bench
