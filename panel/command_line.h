#pragma once

// What the quillon program was asked to do by its command line.

#include "listen_address.h"
#include "window_language.h"

#include <QLocale>
#include <QString>
#include <QStringList>

#include <optional>

namespace quillon {

// The panel's texts: written in Chinese, translated by translations/quillon_*.ts.
inline const TextCatalogue kPanelTexts{QStringLiteral("quillon"), QLocale::Chinese};

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
    // AnyLanguage: as the system's locale chooses.
    QLocale::Language language = QLocale::AnyLanguage;
    // Serve SCPI clients there from start-up.
    std::optional<ListenAddress> scpi = std::nullopt;
};

// `arguments` as QCoreApplication::arguments() gives them, the program's own path first.
CommandLine ParseCommandLine(const QStringList& arguments);

} // namespace quillon
