#pragma once

// Which port the panel talks to: the Load's opening of port 1 or port 2, then the operator's
// choice in the 串口 menu. A device that does not open is told with why; whatever happens to the
// port, the menu's title names the device now open.

#include "port_menu.h"
#include "port_opener.h"

#include <QObject>
#include <QString>

namespace quillon {

class OperatorMessenger;
class SerialLink;
struct PortFailure;

class PortChoice : public QObject {
    Q_OBJECT

public:
    // Empty sources mean the system's port list and a dialog for "其他设备…".
    PortChoice(SerialLink& link, PortSources sources, const OperatorMessenger& messenger,
               QWidget* window, QObject* parent = nullptr);

    PortMenu* menu() const { return m_menu; }

public slots:
    // Opens port 1, else port 2; when neither opens, the operator is told once the Load is over.
    void openAtStartup();
    void choose(const QString& device);

private:
    void finishOpening(OpenPurpose purpose, bool opened);
    void tellNoPort();
    void tellChoiceFailed();
    void reportPortLost(const PortFailure& failure);

    SerialLink& m_link;
    const OperatorMessenger& m_messenger;
    PortLister m_listPorts;
    PortMenu* m_menu;
};

} // namespace quillon
