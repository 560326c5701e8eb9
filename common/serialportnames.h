#pragma once

#include <QList>
#include <QString>

// Serial port numbers as the gateway counts them (COMn) and the devices behind them. COMn is
// the link or device "comN" in the ports folder when it exists; otherwise the Wine convention:
// COM1-32 -> /dev/ttyS0-31, COM33-64 -> /dev/ttyUSB0-31, COM65-96 -> /dev/ttyACM0-31.
// A system console is never a modem: it is left out of the list, and the modem driver refuses
// to open one, whichever name leads to it.
namespace SerialPortNames {

// $VELMORA_PORTS_DIR, else "ports" beside the running program.
QString portsDir();
// The device path for COMn; empty when n has no name at all.
QString resolve(int n);
QString resolve(int n, const QString &portsDir);
// The Wine name of COMn, or empty outside 1..96.
QString wineDevice(int n);
// n for a Wine device name ("/dev/ttyUSB2" -> 35), 0 for other names.
int comNumberOfDevice(const QString &devicePath);
// The COMn numbers that exist, ascending: links in the ports folder whose target exists, and the
// serial devices the system lists under the Wine names, but for the console.
QList<int> existing();
QList<int> existing(const QString &portsDir);

// Whether the device, links followed, is a system console: /dev/console, /dev/tty, a virtual
// terminal, or a serial line the kernel writes its console to (/sys/class/tty/console/active).
bool isConsole(const QString &devicePath);
// The same against the given contents of the kernel's list of active consoles ("tty0 ttyS0").
bool isConsole(const QString &devicePath, const QString &activeList);

} // namespace SerialPortNames
