#include "modemcontrol.h"

#include <QTimer>

// Anchors the vtable and the meta-object in the shared library that both the gateway and the
// component library link, so signals and casts agree across the library boundary.
ModemControl::~ModemControl() = default;

QString ModemControl::infoText(short id)
{
    QString text;
    if (!GetInfo(id, text))
        return {};
    return text.trimmed();
}

void ModemControl::BeginOpenComm()
{
    QTimer::singleShot(0, this, [this] { Q_EMIT OpenFinished(OpenComm()); });
}

void ModemControl::RefreshHealth() { }

bool ModemControl::Check()
{
    return false;
}

bool ModemControl::ReadStatusReport(int &, QString &, int &, QString &)
{
    return false;
}

int ModemControl::GetReferenceOfLastSnd()
{
    return -1;
}

bool ModemControl::Ussd(const QString &, bool, int)
{
    return false;
}
