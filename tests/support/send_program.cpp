#include "send_program.h"

#include <QProcess>
#include <QString>

namespace quillon::testing {

int RunQuillonSend(const QStringList& arguments, QByteArray* err, int timeoutMs) {
    QProcess process;
    process.start(qEnvironmentVariable("QUILLON_TEST_BIN_DIR") + "/quillon-send", arguments);
    if (!process.waitForFinished(timeoutMs))
        return -1;
    if (err)
        *err = process.readAllStandardError();
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

QByteArray EightChannelWire(std::initializer_list<int> codes) {
    QByteArray frame("20");
    for (const int code : codes)
        frame.append('1').append(char(code));
    return frame + "9999";
}

} // namespace quillon::testing
