#pragma once

// What the quillon program was asked to do by its command line.

#include <QString>
#include <QStringList>

namespace quillon {

struct CommandLine {
    enum class Action {
        Run,       // open the panel; on `port` alone when one was given
        PrintHelp, // print `text` on standard output and exit 0
        PrintVersion,
        Refuse, // print `text` (the error and the usage) on standard error, exit non-zero
    };
    Action action = Action::Run;
    QString port;
    QString logFile; // start logging to it at start-up
    QString text;
};

// `arguments` as QCoreApplication::arguments() gives them, the program's own path first.
CommandLine ParseCommandLine(const QStringList& arguments);

} // namespace quillon
