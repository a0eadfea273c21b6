#pragma once

// quillon-send run to its end from a test, and the frames tests expect on the board's end.

#include <QByteArray>
#include <QStringList>

#include <initializer_list>

namespace quillon::testing {

// Runs quillon-send (from QUILLON_TEST_BIN_DIR) with `arguments`; its exit status, or -1 when it
// crashed or did not end within `timeoutMs`. `err` gets what it wrote to standard error.
int RunQuillonSend(const QStringList& arguments, QByteArray* err = nullptr, int timeoutMs = 30000);

// The eight-channel frame with these codes for channels 0 to 7, as it goes over the line.
QByteArray EightChannelWire(std::initializer_list<int> codes);

} // namespace quillon::testing
