#pragma once

// A pseudo-terminal pair standing in for a serial cable: the code under test opens the slave
// side as its serial device, and the test plays the board on the master side.

#include <QByteArray>
#include <QString>

namespace quillon::testing {

class PtyPair {
public:
    PtyPair();
    ~PtyPair();
    PtyPair(const PtyPair&) = delete;
    PtyPair& operator=(const PtyPair&) = delete;

    bool isValid() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Makes `path` a symbolic link to the slave (replacing what was there), like a udev name.
    bool linkAs(const QString& path) const;

    // The reads below keep the event loop running while they wait, when called on the
    // application's thread, so that the writes the code under test queued go out meanwhile.

    // Reads from the master until `count` bytes have come or `timeoutMs` passed.
    QByteArray readExactly(qsizetype count, int timeoutMs = 5000);
    // Reads what has arrived, waiting up to `timeoutMs` for the first byte and then until the
    // line has been quiet for `quietMs`.
    QByteArray readUntilQuiet(int timeoutMs = 5000, int quietMs = 100);
    // Everything waiting right now (possibly nothing).
    QByteArray readAvailable();

    bool write(const QByteArray& bytes);

    // Closes the master: the slave side sees a hang-up, as when a USB adapter is pulled.
    void hangUp();

private:
    bool waitReadable(int timeoutMs) const;

    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

} // namespace quillon::testing
