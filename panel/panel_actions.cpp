#include "panel_actions.h"

#include "form1.h"

#include <QAction>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QTimer>

#include <utility>

namespace quillon {

namespace {

const QString kProgram = QStringLiteral("quillon " QUILLON_VERSION);

} // namespace

PanelController::PanelController(Form1& form, PortDevices devices, MessagePresenter present,
                                 PortSources portSources, RecordSources recordSources,
                                 QObject* parent)
    : QObject(parent), m_form(form), m_link(std::move(devices)),
      m_recorder(m_link, kProgram, FailureText),
      m_messenger(present ? std::move(present) : MessageBoxPresenter(&form), m_recorder),
      m_recordMenu(new RecordMenu(std::move(recordSources), &form)),
      m_portChoice(m_link, std::move(portSources), m_messenger, &form),
      m_logSwitch(m_recorder, *m_recordMenu, m_messenger), m_playback(m_link, m_messenger, &form),
      m_sender(form, m_link, m_playback, m_messenger), m_reply(*form.resetGroup().returnCodeBox) {
    m_form.menuBar()->addMenu(m_portChoice.menu());
    m_portChoice.menu()->addFeatureItem(m_reply.hexItem());
    m_form.menuBar()->addMenu(m_recordMenu);
    initActionsConnections();
}

// The sequence stops before the link goes; the log then takes what is still waiting.
PanelController::~PanelController() {
    m_playback.abandon();
    m_recorder.stop();
}

void PanelController::initActionsConnections() {
    connect(&m_form, &Form1::loaded, this, &PanelController::load);
    connect(m_form.singleChannelGroup().sendButton, &QPushButton::clicked, this,
            &PanelController::sendSingleChannel);
    connect(m_form.fourChannelGroup().sendButton, &QPushButton::clicked, this,
            &PanelController::sendFourChannels);
    connect(m_form.eightChannelGroup().sendButton, &QPushButton::clicked, this,
            &PanelController::sendEightChannels);
    connect(m_form.resetGroup().resetButton, &QPushButton::clicked, this,
            &PanelController::sendReset);
    connect(m_form.helpAction(), &QAction::triggered, this, &PanelController::showHelp);
    connect(&m_link, &SerialLink::dataReceived, this,
            [this](const QString&, const QByteArray& reply) { showReceived(reply); });
    connect(m_recordMenu, &RecordMenu::sequenceChosen, this, &PanelController::playSequence);
}

// The port opens first, so that a log given on the command line names it in its header.
void PanelController::load() {
    m_portChoice.openAtStartup();
    if (!m_logFromLoad.isEmpty())
        startLog(std::exchange(m_logFromLoad, QString()));
}

void PanelController::finishLine(std::chrono::milliseconds limit) {
    m_playback.abandon();
    QElapsedTimer waited;
    waited.start();
    const auto lineIdle = [&] {
        return m_link.bytesToWrite() == 0 && m_link.lingerFor() <= std::chrono::nanoseconds(0);
    };
    if (lineIdle())
        return;
    QEventLoop loop;
    QTimer check;
    connect(&check, &QTimer::timeout, &loop, [&] {
        if (lineIdle() || waited.hasExpired(limit.count()))
            loop.quit();
    });
    check.start(5);
    loop.exec();
}

} // namespace quillon
