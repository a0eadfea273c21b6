#pragma once

// The virtual DAC board: reads commands from its pseudo-terminal, keeps the eight outputs,
// reports each command as one log line and, if asked, echoes it back. No user interface here.

#include "command_splitter.h"
#include "frame_decoder.h"
#include "pseudo_terminal.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <array>
#include <chrono>
#include <string_view>

class QSocketNotifier;

namespace quillon::board {

struct ChannelState {
    double volts = 0.0;
    bool gain = false;
};

using Outputs = std::array<ChannelState, 8>;

enum class ReplyMode { Silent, Echo };

class VirtualBoard : public QObject {
    Q_OBJECT

public:
    // Silence on the line that ends a burst of bytes. A frame is written in one piece, so its
    // bytes arrive together; at 9600 baud 50 ms is some 48 byte times.
    static constexpr std::chrono::milliseconds kQuietGap{50};
    // A burst this long with no pause is cut there, so a flood cannot grow without bound.
    static constexpr qsizetype kMaxBurst = 4096;
    // How often a board on a line of limited speed takes the bytes the line has carried since.
    static constexpr std::chrono::milliseconds kSliceInterval{10};

    // With a `baud` rate the board takes bytes no faster than an 8N1 line of that rate carries
    // them (baud / 10 a second) and the writer waits for the line; with 0, as fast as they come.
    explicit VirtualBoard(ReplyMode replyMode, int baud = 0, QObject* parent = nullptr);

    bool open(const QString& linkPath, QString* error);

    QString devicePath() const { return m_terminal.slavePath(); }
    QString linkPath() const { return m_terminal.linkPath(); }
    const Outputs& outputs() const { return m_outputs; }

signals:
    void commandLogged(const QString& line);
    void outputsChanged();

private slots:
    void readMaster();
    void takeSlice();
    void endBurst();

private:
    struct Taken {
        qint64 count = 0;
        bool lineEmpty = false; // the master had nothing more to read
        bool failed = false;
    };

    Taken take(qint64 limit);
    bool bytesWaiting() const;
    void cutOverlongBurst();
    void accept(const BurstSplit& split);
    void reject(std::string_view bytes);
    void apply(const DecodedCommand& command);
    void reply(std::string_view bytes);
    void pauseReading();

    PseudoTerminal m_terminal;
    QSocketNotifier* m_readNotifier = nullptr;
    QTimer m_quietTimer;
    // Pacing for a line of limited speed: bytes the line has carried but not yet taken.
    double m_bytesPerSecond = 0;
    double m_lineCredit = 0;
    QElapsedTimer m_lineClock;
    QTimer m_sliceTimer;
    QByteArray m_burst;
    Outputs m_outputs{};
    ReplyMode m_replyMode;
};

} // namespace quillon::board
