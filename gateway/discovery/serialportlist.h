#pragma once

#include <QString>

// The serial ports the system has, named COMn as the gateway counts them, each followed by "-"
// ("COM1-COM3-"): the links of the ports folder and the devices under their Wine names.
QString ListSerialPorts();
