#pragma once

#include <QString>

// A device's last failure in a form a program can act on, beside the operator's words:
// "cms:38" for a refusal, "permission", "locked", "noport", "timeout", "sim", "open", "lost",
// "unregistered", "send".
namespace FailureCode {

inline const QString Lost = QStringLiteral("lost");
inline const QString Unregistered = QStringLiteral("unregistered");

// A failed send: the driver's code of a refusal for good, else a +CMS ERROR at the head of its
// reason; "send" for anything else (a time-out, a closed port), whose outcome is not certain.
QString ofSend(const QString &refusal, const QString &reason);
// The +CMS ERROR code a send failure names, -1 when none.
int cmsCodeOfSend(const QString &refusal, const QString &reason);
// A failed send whose port closed under it after its text was written: nobody refused it, and
// whether the network took it is not known.
bool sendCutOff(const QString &refusal, const QString &reason);
// A failed open, from the driver's untranslated reason (GetInfo 10).
QString ofOpen(const QString &lastError);

} // namespace FailureCode
