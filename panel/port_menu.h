#pragma once

// The 串口 menu: its title names the open device, its items are the serial ports the system
// reports (read afresh each time it opens), headed by the open device where the system does not
// report it, then "其他设备…" for a path the list cannot show.

#include <QList>
#include <QMenu>
#include <QString>

#include <functional>
#include <optional>

namespace quillon {

// One serial port as the system reports it.
struct PortListing {
    QString name;     // e.g. "ttyUSB0"
    QString location; // the path to open, e.g. "/dev/ttyUSB0"
    QString description;
    QString manufacturer;
    std::optional<quint16> vendorId;
    std::optional<quint16> productId;
};

using PortLister = std::function<QList<PortListing>()>;
// Asks the operator for a device path; an empty text when they cancel.
using DevicePrompt = std::function<QString(QWidget* parent)>;

// Where the menu's list and its "其他设备…" answer come from; empty functions mean the real ones.
struct PortSources {
    PortLister listPorts;
    DevicePrompt askForDevice;
};

// Whether two device names lead to the same device (a symbolic link and its tty do).
bool SameDevice(const QString& a, const QString& b);

// The ports QSerialPortInfo reports now.
QList<PortListing> SystemPorts();
// A dialog with one line for the path.
QString AskForDevicePath(QWidget* parent);

// "串口：ttyUSB0" for "/dev/ttyUSB0" (a symbolic link keeps its own name), "串口：未打开" for
// no device.
QString PortMenuTitle(const QString& device);
// The port's name followed by what is known of it: description, manufacturer, vid:pid.
QString PortItemText(const PortListing& port);

class PortMenu : public QMenu {
    Q_OBJECT

public:
    // The last item's text as written; the menu shows it translated.
    static constexpr char kOtherDeviceText[] = QT_TR_NOOP("其他设备…");

    // Empty functions mean SystemPorts() and AskForDevicePath().
    explicit PortMenu(PortSources sources = {}, QWidget* parent = nullptr);

    // An item of another feature, kept below the ports whenever the list is read afresh; the
    // menu does not own it.
    void addFeatureItem(QAction* item);

public slots:
    // The device now open, empty while none is.
    void showDevice(const QString& device);
    // Said after the device in the title ("串口：ttyUSB0 · SCPI 2"); empty for nothing.
    void showTitleNote(const QString& note);

signals:
    void deviceChosen(const QString& device);

private:
    void fillItems(const QList<PortListing>& ports);
    void addPortItem(const QString& text, const QString& location);
    bool isOpen(const QString& location) const;
    void askForOtherDevice();

    PortLister m_listPorts;
    DevicePrompt m_askForDevice;
    QString m_device;
    QString m_titleNote;
    QList<QAction*> m_featureItems;
};

} // namespace quillon
