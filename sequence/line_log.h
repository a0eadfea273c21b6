#pragma once

// The log of what went over the line, as a sequence that plays back: every frame sent is a
// comment with its time and, when a sequence can send it again, its command's words, with a
// `wait` before it that keeps the original spacing; everything else is a comment with its time.
// LogFormat makes the entries; LogFile appends each one to the file in a single write.

#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace quillon::sequence {

// A moment as the log records it: the wall clock for the comments, a steady clock for the waits
// between frames, so that a change of the system's time never shows as a pause.
struct LogMoment {
    std::chrono::system_clock::time_point wall;
    std::chrono::nanoseconds steady{0};

    static LogMoment now();
};

// The local time of a moment, to the millisecond, with the offset from UTC.
struct LocalTime {
    int year = 1970;
    int month = 1;
    int day = 1;
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
    long utcOffsetSeconds = 0;

    static LocalTime of(std::chrono::system_clock::time_point wall);
};

// Frames of at most this many bytes are shown in hex when no command makes them.
inline constexpr std::size_t kLoggedHexBytes = 64;
// Received bytes are told in comments of at most this many bytes each.
inline constexpr std::size_t kReceivedBytesPerLine = 512;
// Every line the log writes is shorter than a sequence line may be, so a log always plays.
inline constexpr std::size_t kLongestLogLine = 4000;

// The `wait` lines between commands: played at the line's rate, a command follows the one before
// it once that one has had its time on the line, and the wait makes up the rest of the time
// that passed. Shared by the log and by anything else that writes a timed sequence.
class WaitLines {
public:
    // The wait lines before a command due at `at` (on any steady clock) that takes `lineTime` on
    // the line; nothing before the first command since the start or the last restart().
    std::string before(std::chrono::nanoseconds at, std::chrono::nanoseconds lineTime);
    void restart() { m_anyCommand = false; }

private:
    bool m_anyCommand = false;
    std::chrono::nanoseconds m_firstCommandAt{0};
    // Where the last command stands when the sequence is played at the line's rate.
    std::chrono::nanoseconds m_playedAt{0};
    std::chrono::nanoseconds m_lastLineTime{0};
};

class LogFormat {
public:
    // "# quillon log started 2026-12-08T21:03:00.123+01:00 by quillon 0.1.0, port /dev/ttyUSB0,
    // 9600 8N1" (or "port none open" without a device). Starts a new log: no wait ever reaches
    // back past it.
    std::string header(std::string_view program, std::optional<std::string_view> device,
                       const LogMoment& moment);
    // A frame whose last byte the driver has taken: "# 21:03:04.512 sent 22 bytes" and its
    // command's words (after a wait when the line was idle), or a comment with its bytes in hex.
    // `by` names who sent it when that is not the program itself ("sent 22 bytes by
    // 127.0.0.1:53122").
    std::string sent(std::string_view frame, const LogMoment& moment, std::string_view by = {});
    // "# 21:03:05.940 received 22 bytes: <shown>", `shown` being the bytes as the panel shows them.
    std::string received(std::size_t byteCount, std::string_view shown, const LogMoment& moment);
    // The line's other events, each a comment of fixed words and its details on one line:
    // "# 21:03:07.002 not sent: <the operator's warning>",
    std::string notSent(std::string_view warning, const LogMoment& moment);
    // "port opened: /dev/ttyUSB0, 9600 8N1", "port closed", "port lost: <reason>",
    std::string portOpened(std::string_view device, const LogMoment& moment);
    std::string portClosed(const LogMoment& moment);
    std::string portLost(std::string_view reason, const LogMoment& moment);
    // "dropped 2 queued frame(s), never sent: <reason>", or "write failed: <reason>" when no
    // frame was queued,
    std::string writeFailed(std::string_view reason, std::size_t droppedFrames,
                            const LogMoment& moment);
    // "no reply from /dev/ttyUSB0 within 500 ms".
    std::string noReply(std::string_view device, std::chrono::milliseconds wait,
                        const LogMoment& moment);
    // Any other event: "# 21:03:07.002 <text>", the text on one line.
    std::string note(std::string_view text, const LogMoment& moment);

private:
    std::string stamp(const LogMoment& moment);

    std::optional<int> m_dayStamp; // year * 10000 + month * 100 + day of the last entry
    WaitLines m_waits;
};

// The path that names standard output as the log, as command lines write it.
inline constexpr std::string_view kStandardOutputLog = "-";

// A log file opened for appending only. Each entry goes to the system in one write, so a crash
// loses nothing already appended and two programs appending to one file never mix their lines.
class LogFile {
public:
    LogFile() = default;
    ~LogFile();
    LogFile(LogFile&& other) noexcept;
    LogFile& operator=(LogFile&& other) noexcept;
    LogFile(const LogFile&) = delete;
    LogFile& operator=(const LogFile&) = delete;

    // Creates the file if need be; false with the system's reason in `error`. A pipe without a
    // reader is refused rather than waited for. kStandardOutputLog appends to standard output.
    bool open(const std::string& path, std::string* error);
    bool isOpen() const { return m_fd >= 0; }
    const std::string& path() const { return m_path; }

    bool append(std::string_view entry, std::string* error);
    // Flushes what was appended to the disk (fsync).
    bool sync(std::string* error);
    // Syncs and closes; the reason of a failed sync in `error` if given.
    bool close(std::string* error = nullptr);

private:
    int m_fd = -1;
    std::string m_path;
};

} // namespace quillon::sequence
