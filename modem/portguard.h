#pragma once

#include <QString>

// Whether another program holds a serial device. Qt's lock file only keeps out other Qt
// programs; ModemManager and most terminal programs mark the tty exclusive (TIOCEXCL) or lock
// it with flock(), and as root the exclusive mark does not even stop an open. Checked before the
// port is opened, so a busy port fails at once instead of two programs reading one modem.
namespace PortGuard {

// Empty when the device is free, else why it is not.
QString heldElsewhere(const QString &devicePath);
// Takes the flock() that heldElsewhere() looks for, on an open descriptor.
bool lock(int fd);

} // namespace PortGuard
