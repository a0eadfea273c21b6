#pragma once

// A pseudo-terminal pair standing in for a serial cable: whoever plays the board reads and
// answers on the master, and the panel opens the slave as its serial device.

#include <QString>

namespace quillon {

class PseudoTerminal {
public:
    PseudoTerminal() = default;
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal&) = delete;
    PseudoTerminal& operator=(const PseudoTerminal&) = delete;

    // Opens a new pair with a raw 8N1 slave and a non-blocking master.
    bool open(QString* error = nullptr);
    // Makes `path` a symbolic link to the slave, replacing a symbolic link that is there
    // already; anything else at `path`, or a folder that does not exist, fails.
    // The link goes with this object, unless another terminal has taken the path over.
    bool linkAs(const QString& path, QString* error = nullptr);
    // Closes the master: the slave side sees a hang-up, as when a USB adapter is pulled.
    void hangUp();

    bool isOpen() const { return m_master >= 0; }
    int masterFd() const { return m_master; }
    QString slavePath() const { return m_slavePath; }
    QString linkPath() const { return m_linkPath; }

    // Raw 8N1: every byte passes unchanged, whatever settings the terminal had.
    static bool makeRaw(int fd);
    // Opens a terminal device raw, as a serial port would be (`flags` adds to O_RDWR |
    // O_NOCTTY | O_CLOEXEC); -1 if it cannot be opened or set up.
    static int openRaw(const QString& device, int flags = 0);

private:
    void removeLink();

    int m_master = -1;
    // Held open for the pair's whole life: the master then never reads EIO while the panel
    // has the port closed, and the raw line settings stay for whoever opens the slave next.
    int m_slave = -1;
    QString m_slavePath;
    QString m_linkPath;
};

} // namespace quillon
