#include "line_log.h"

#include "command_words.h"
#include "commands.h"
#include "line_time.h"
#include "quoted_text.h"

#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <unistd.h>
#include <utility>

namespace quillon::sequence {

namespace {

using std::chrono::milliseconds;
using std::chrono::nanoseconds;

std::string Number(long long value, int width = 0) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, value).ptr;
    std::string text(digits, end);
    if (int(text.size()) < width)
        text.insert(0, std::size_t(width) - text.size(), '0');
    return text;
}

std::string ClockText(const LocalTime& time) {
    return Number(time.hour, 2) + ':' + Number(time.minute, 2) + ':' + Number(time.second, 2) +
           '.' + Number(time.millisecond, 3);
}

std::string DateText(const LocalTime& time) {
    return Number(time.year, 4) + '-' + Number(time.month, 2) + '-' + Number(time.day, 2);
}

std::string OffsetText(long seconds) {
    const char sign = seconds < 0 ? '-' : '+';
    const long minutes = std::labs(seconds) / 60;
    return sign + Number(minutes / 60, 2) + ':' + Number(minutes % 60, 2);
}

// A device and the line's settings, as the header and a port's opening name them.
std::string PortText(std::string_view device) {
    return std::string(device) + ", " + kLineSettingsText;
}

std::string LoggedHexBytes(std::string_view bytes) {
    std::string hex = HexBytes(bytes.substr(0, kLoggedHexBytes));
    if (bytes.size() > kLoggedHexBytes)
        hex += " …";
    return hex;
}

// A text on one line of bounded length: line breaks and other control characters become
// spaces, text that is not UTF-8 is made so, and a text too long is cut on a character
// boundary; the log stays a sequence that plays whatever it was told.
std::string OneLine(std::string_view text, std::size_t room) {
    const bool utf8 = IsValidUtf8(text);
    std::string line;
    for (const char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        line += byte < 0x20 || byte == 0x7F ? ' ' : byte >= 0x80 && !utf8 ? '?' : c;
    }
    if (line.size() <= room)
        return line;
    std::size_t cut = room > 4 ? room - 4 : 0;
    while (cut > 0 && (static_cast<unsigned char>(line[cut]) & 0xC0) == 0x80)
        --cut;
    line.resize(cut);
    return line + " …";
}

} // namespace

LogMoment LogMoment::now() {
    return {std::chrono::system_clock::now(), std::chrono::steady_clock::now().time_since_epoch()};
}

LocalTime LocalTime::of(std::chrono::system_clock::time_point wall) {
    using namespace std::chrono;
    const auto sinceEpoch = wall.time_since_epoch();
    const auto secondsSinceEpoch = floor<seconds>(sinceEpoch);
    const std::time_t whole = std::time_t(secondsSinceEpoch.count());
    std::tm local{};
    ::localtime_r(&whole, &local);
    LocalTime time;
    time.year = local.tm_year + 1900;
    time.month = local.tm_mon + 1;
    time.day = local.tm_mday;
    time.hour = local.tm_hour;
    time.minute = local.tm_min;
    time.second = local.tm_sec;
    time.millisecond = int(duration_cast<milliseconds>(sinceEpoch - secondsSinceEpoch).count());
    time.utcOffsetSeconds = local.tm_gmtoff;
    return time;
}

std::string LogFormat::header(std::string_view program, std::optional<std::string_view> device,
                              const LogMoment& moment) {
    const LocalTime time = LocalTime::of(moment.wall);
    m_dayStamp = time.year * 10000 + time.month * 100 + time.day;
    m_waits.restart();
    const std::string text = DateText(time) + 'T' + ClockText(time) +
                             OffsetText(time.utcOffsetSeconds) + " by " + std::string(program) +
                             ", port " + (device ? PortText(*device) : std::string("none open"));
    return "# quillon log started " + OneLine(text, kLongestLogLine - 24) + '\n';
}

std::string LogFormat::stamp(const LogMoment& moment) {
    const LocalTime time = LocalTime::of(moment.wall);
    const int day = time.year * 10000 + time.month * 100 + time.day;
    std::string lines;
    if (m_dayStamp != day)
        lines = "# date " + DateText(time) + '\n';
    m_dayStamp = day;
    return lines + "# " + ClockText(time) + ' ';
}

// Waits are rounded to the millisecond against the whole timeline, never against the previous
// wait, so their errors do not add up, and a wait longer than a sequence may hold is split.
std::string WaitLines::before(nanoseconds at, nanoseconds lineTime) {
    if (!m_anyCommand) {
        m_anyCommand = true;
        m_firstCommandAt = at;
        m_playedAt = nanoseconds(0);
        m_lastLineTime = lineTime;
        return {};
    }
    const nanoseconds earliest = m_playedAt + m_lastLineTime;
    const nanoseconds late = at - m_firstCommandAt - earliest;
    const long long wait = std::llround(double(late.count()) / 1e6);
    m_playedAt = earliest + milliseconds(wait > 0 ? wait : 0);
    m_lastLineTime = lineTime;
    std::string lines;
    constexpr long long kLongestWait = kLongestPause.count();
    for (long long left = wait; left >= 1; left -= kLongestWait)
        lines += "wait " + Number(left < kLongestWait ? left : kLongestWait) + '\n';
    return lines;
}

std::string LogFormat::sent(std::string_view frame, const LogMoment& moment, std::string_view by) {
    const std::optional<std::string> words = CommandWords(frame);
    const std::string sentBytes = "sent " + Number(static_cast<long long>(frame.size())) +
                                  " bytes" +
                                  (by.empty() ? "" : " by " + OneLine(by, kLoggedHexBytes));
    if (!words)
        return stamp(moment) + sentBytes + " that play does not take: " + LoggedHexBytes(frame) +
               '\n';
    // The date line, if any, comes before the wait, so the wait stays next to its command.
    std::string entry = stamp(moment);
    const std::string wait = m_waits.before(moment.steady, LineTime(frame.size()));
    const std::size_t dateLine = entry.rfind('\n');
    const std::size_t split = dateLine == std::string::npos ? 0 : dateLine + 1;
    entry.insert(split, wait);
    return entry + sentBytes + '\n' + *words + '\n';
}

std::string LogFormat::received(std::size_t byteCount, std::string_view shown,
                                const LogMoment& moment) {
    const std::string prefix = stamp(moment);
    const std::string words = "received " + Number(static_cast<long long>(byteCount)) + " bytes: ";
    return prefix + words + OneLine(shown, kLongestLogLine - prefix.size() - words.size()) + '\n';
}

std::string LogFormat::notSent(std::string_view warning, const LogMoment& moment) {
    return note("not sent: " + std::string(warning), moment);
}

std::string LogFormat::portOpened(std::string_view device, const LogMoment& moment) {
    return note("port opened: " + PortText(device), moment);
}

std::string LogFormat::portClosed(const LogMoment& moment) {
    return note("port closed", moment);
}

std::string LogFormat::portLost(std::string_view reason, const LogMoment& moment) {
    return note("port lost: " + std::string(reason), moment);
}

std::string LogFormat::writeFailed(std::string_view reason, std::size_t droppedFrames,
                                   const LogMoment& moment) {
    if (droppedFrames == 0)
        return note("write failed: " + std::string(reason), moment);
    return note("dropped " + Number(static_cast<long long>(droppedFrames)) +
                    " queued frame(s), never sent: " + std::string(reason),
                moment);
}

std::string LogFormat::noReply(std::string_view device, std::chrono::milliseconds wait,
                               const LogMoment& moment) {
    return note("no reply from " + std::string(device) + " within " +
                    Number(static_cast<long long>(wait.count())) + " ms",
                moment);
}

std::string LogFormat::note(std::string_view text, const LogMoment& moment) {
    const std::string prefix = stamp(moment);
    return prefix + OneLine(text, kLongestLogLine - prefix.size()) + '\n';
}

LogFile::~LogFile() {
    close();
}

LogFile::LogFile(LogFile&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)) {}

LogFile& LogFile::operator=(LogFile&& other) noexcept {
    if (this != &other) {
        close();
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
    }
    return *this;
}

bool LogFile::open(const std::string& path, std::string* error) {
    close();
    if (path == kStandardOutputLog) {
        // A descriptor of its own, so that closing the log leaves standard output open.
        const int fd = ::fcntl(STDOUT_FILENO, F_DUPFD_CLOEXEC, 0);
        if (fd < 0) {
            if (error)
                *error = std::strerror(errno);
            return false;
        }
        m_fd = fd;
        m_path = path;
        return true;
    }
    // Non-blocking only while opening: a pipe with no reader fails at once instead of waiting.
    const int fd = ::open(path.c_str(),
                          O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC | O_NOCTTY | O_NONBLOCK, 0666);
    if (fd < 0) {
        if (error)
            *error = std::strerror(errno);
        return false;
    }
    ::fcntl(fd, F_SETFL, O_APPEND);
    m_fd = fd;
    m_path = path;
    return true;
}

bool LogFile::append(std::string_view entry, std::string* error) {
    while (!entry.empty()) {
        const ssize_t written = ::write(m_fd, entry.data(), entry.size());
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            if (error)
                *error = written < 0 ? std::strerror(errno) : "nothing was written";
            return false;
        }
        entry.remove_prefix(std::size_t(written));
    }
    return true;
}

bool LogFile::sync(std::string* error) {
    // A log on a pipe or a terminal has nothing to flush to a disk.
    if (::fsync(m_fd) == 0 || errno == EINVAL || errno == EROFS)
        return true;
    if (error)
        *error = std::strerror(errno);
    return false;
}

bool LogFile::close(std::string* error) {
    if (m_fd < 0)
        return true;
    const bool synced = sync(error);
    ::close(m_fd);
    m_fd = -1;
    return synced;
}

} // namespace quillon::sequence
