#pragma once

// Why an attempt to open or use the board's port failed, in the same terms whatever carries the
// line (a serial device or a network connection); the programs word each kind in their own
// language.

#include <QMetaType>
#include <QString>

namespace quillon {

enum class PortError {
    None,
    NotFound,     // no such device
    HostNotFound, // the network name is unknown
    Permission,   // access denied, or the device is held by another program
    AlreadyOpen,  // the device is open already
    NotOpen,      // the port is not open
    Write,        // writing failed
    Read,         // reading failed
    Gone,         // the device was disconnected, or the connection dropped
    Unsupported,  // the device or the server does not take the line settings
    ConnectionRefused,
    Timeout, // no progress, or no answer, in time
    Unknown,
};

struct PortFailure {
    QString device;
    PortError error = PortError::None;
    QString detail;        // the system's own text, or what did not happen
    int droppedFrames = 0; // queued frames dropped with this failure, never sent
};

} // namespace quillon

Q_DECLARE_METATYPE(quillon::PortFailure)
