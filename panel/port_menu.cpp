#include "port_menu.h"

#include "link_transport.h"
#include "menu_text.h"
#include "operator_wording.h"

#include <QAction>
#include <QFileInfo>
#include <QInputDialog>
#include <QSerialPortInfo>

#include <algorithm>

namespace quillon {

namespace {

QString Hex4(quint16 value) {
    return QStringLiteral("%1").arg(value, 4, 16, QLatin1Char('0'));
}

} // namespace

// The same device under two names (a by-id link and its tty) is still the open one.
bool SameDevice(const QString& a, const QString& b) {
    if (a == b)
        return true;
    const QString canonical = QFileInfo(a).canonicalFilePath();
    return !canonical.isEmpty() && canonical == QFileInfo(b).canonicalFilePath();
}

QList<PortListing> SystemPorts() {
    QList<PortListing> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts()) {
        PortListing port{info.portName(),     info.systemLocation(), info.description(),
                         info.manufacturer(), std::nullopt,          std::nullopt};
        if (info.hasVendorIdentifier())
            port.vendorId = info.vendorIdentifier();
        if (info.hasProductIdentifier())
            port.productId = info.productIdentifier();
        ports << port;
    }
    return ports;
}

QString AskForDevicePath(QWidget* parent) {
    QInputDialog dialog(parent);
    dialog.setWindowTitle(PortMenu::tr("其他设备"));
    dialog.setLabelText(PortMenu::tr("设备路径（例如 /dev/ttyUSB0 或 /dev/pts/3）："));
    // Set here, so that they are in the panel's language even without Qt's own translations.
    dialog.setOkButtonText(OkText());
    dialog.setCancelButtonText(CancelText());
    if (dialog.exec() != QDialog::Accepted)
        return {};
    return dialog.textValue().trimmed();
}

QString PortMenuTitle(const QString& device) {
    if (device.isEmpty())
        return PortMenu::tr("串口：未打开");
    return PortMenu::tr("串口：%1").arg(ShortDeviceName(device));
}

QString PortItemText(const PortListing& port) {
    QStringList known;
    for (const QString& text : {port.description, port.manufacturer}) {
        if (!text.isEmpty())
            known << text;
    }
    if (port.vendorId && port.productId)
        known << Hex4(*port.vendorId) + u':' + Hex4(*port.productId);
    if (known.isEmpty())
        return port.name;
    return PortMenu::tr("%1（%2）", "port item: name, what is known of it")
        .arg(port.name, known.join(PortMenu::tr("，", "separator of what is known of a port")));
}

PortMenu::PortMenu(PortSources sources, QWidget* parent)
    : QMenu(parent), m_listPorts(sources.listPorts ? std::move(sources.listPorts) : SystemPorts),
      m_askForDevice(sources.askForDevice ? std::move(sources.askForDevice) : AskForDevicePath) {
    setObjectName(QStringLiteral("PortMenu"));
    menuAction()->setObjectName(QStringLiteral("PORT"));
    showDevice({});
    // Listing the ports waits for the system; it is done when the menu opens, not at start-up.
    fillItems({});
    connect(this, &QMenu::aboutToShow, this, [this] { fillItems(m_listPorts()); });
}

void PortMenu::addFeatureItem(QAction* item) {
    m_featureItems.append(item);
    connect(item, &QObject::destroyed, this, [this, item] { m_featureItems.removeOne(item); });
    fillItems({});
}

void PortMenu::showTitleNote(const QString& note) {
    m_titleNote = note;
    showDevice(m_device);
}

void PortMenu::showDevice(const QString& device) {
    m_device = device;
    const QString title = PortMenuTitle(device);
    //: %1 the port menu's title, %2 a note such as "SCPI 2" (clients connected)
    setTitle(MenuText(m_titleNote.isEmpty() ? title : tr("%1 · %2").arg(title, m_titleNote)));
    for (QAction* item : actions()) {
        if (item->isCheckable() && !m_featureItems.contains(item))
            item->setChecked(isOpen(item->data().toString()));
    }
}

void PortMenu::fillItems(const QList<PortListing>& ports) {
    clear();
    // The open device heads the list where the system does not report it as a serial port (a
    // pseudo-terminal or a link to one, a serial server's URL).
    if (!m_device.isEmpty() && std::ranges::none_of(ports, [this](const PortListing& port) {
            return isOpen(port.location);
        }))
        addPortItem(m_device, m_device);
    for (const PortListing& port : ports)
        addPortItem(PortItemText(port), port.location);
    addSeparator();
    connect(addAction(tr(kOtherDeviceText)), &QAction::triggered, this,
            &PortMenu::askForOtherDevice);
    if (!m_featureItems.isEmpty())
        addSeparator();
    addActions(m_featureItems);
}

bool PortMenu::isOpen(const QString& location) const {
    return !m_device.isEmpty() && SameDevice(location, m_device);
}

void PortMenu::addPortItem(const QString& text, const QString& location) {
    QAction* item = addAction(MenuText(text));
    item->setData(location);
    item->setCheckable(true);
    item->setChecked(isOpen(location));
    connect(item, &QAction::triggered, this, [this, location] {
        emit deviceChosen(location);
        // A click toggled the check mark; it belongs to the device that is open now.
        showDevice(m_device);
    });
}

void PortMenu::askForOtherDevice() {
    const QString device = m_askForDevice(parentWidget());
    if (!device.isEmpty())
        emit deviceChosen(device);
}

} // namespace quillon
