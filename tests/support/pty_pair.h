#pragma once

// The test's end of a pseudo-terminal cable: the code under test opens the slave side as its
// serial device, and the test plays the board on the master side with these helpers.

#include "pseudo_terminal.h"

#include <QByteArray>
#include <QString>

namespace quillon::testing {

class PtyPair : public PseudoTerminal {
public:
    PtyPair() { open(); }

    bool isValid() const { return isOpen(); }

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

private:
    bool waitReadable(int timeoutMs) const;
};

} // namespace quillon::testing
