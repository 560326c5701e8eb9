#pragma once

#include <QString>

// Whether another program holds a serial device. Qt's lock file only keeps out other Qt
// programs; ModemManager and most terminal programs mark the tty exclusive (TIOCEXCL) or lock
// it with flock(), and as root the exclusive mark does not even stop an open. Checked before the
// port is opened, so a busy port fails at once instead of two programs reading one modem.
// The lock files in the lock folder (LCK..ttyUSB0, the convention Qt shares with terminal
// programs) are read here too: one of a process that has ended is removed, since Qt removes
// only those it may open for writing and would refuse the port for good; one of a running
// process names it.
namespace PortGuard {

// Empty when the device is free, else why it is not. A system console is never free.
QString heldElsewhere(const QString &devicePath);
// Takes the flock() that heldElsewhere() looks for, on an open descriptor.
bool lock(int fd);

// The lock file of the device where Qt and the other programs look for it; empty when no lock
// folder can be used.
QString lockFileOf(const QString &devicePath);
// Empty when the lock file is absent, or was left by a process that has ended and is now
// removed; else why it stands (its process runs, or it cannot be removed).
QString clearStaleLock(const QString &lockFile);
// True when this user may not open the device at all (not in its group, typically dialout).
bool permissionDenied(const QString &devicePath);

} // namespace PortGuard
