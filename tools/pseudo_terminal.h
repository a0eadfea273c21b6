#pragma once

// The board's end of the cable: a pseudo-terminal pair whose slave the panel opens as its
// serial device. The board reads and answers on the master.

#include <QString>

namespace quillon::board {

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    bool open(QString* error);
    // Makes `path` a symbolic link to the slave, creating missing folders and replacing a
    // symbolic link that is there already; anything else at `path` is left alone and fails.
    bool linkAs(const QString& path, QString* error);

    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }
    QString linkPath() const { return m_linkPath; }

private:
    void removeLink();

    int m_master = -1;
    // Held open for the board's whole life: the master then never reads EIO while the panel
    // has the port closed, and the raw line settings stay for whoever opens the slave next.
    int m_slave = -1;
    QString m_slavePath;
    QString m_linkPath;
};

} // namespace quillon::board
