#pragma once

#include <QByteArray>
#include <QByteArrayList>

// One extended command ("+CMGF=0", "+CPIN?", "+CMGF=?") taken apart: its upper-case name, the
// form it was given in, and its parameters with their quotes removed.
struct AtCommand
{
    QByteArray name;
    bool query = false;
    bool test = false;
    QByteArrayList params;
    // The first parameter as a number; -1 when there is none.
    int first = -1;

    static AtCommand parse(const QByteArray &command);
};

// +CMS ERROR codes of TS 27.005.
namespace Cms {
constexpr int OperationNotAllowed = 302;
constexpr int OperationNotSupported = 303;
constexpr int InvalidPduParameter = 304;
constexpr int InvalidIndex = 321;
constexpr int NoNetworkService = 331;
constexpr int UnknownError = 500;

QByteArray error(int code);
} // namespace Cms
