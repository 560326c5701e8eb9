#include "modemerrors.h"

#include "modemapi/cmserror.h"

#include <array>

namespace ModemErrors {

bool isTransient(int cmsError)
{
    constexpr std::array<int, 10> transient = {{
            41,  // temporary failure
            42,  // congestion
            47,  // resources unavailable
            192, // SC busy
            194, // SC system failure
            314, // SIM busy
            331, // no network service
            332, // network time-out
            500, // unknown error
            512, // first manufacturer-specific code: a busy or unreachable network on several
                 // modems
    }};
    for (int code : transient) {
        if (code == cmsError)
            return true;
    }
    return false;
}

int cmsErrorOf(const QString &failure)
{
    return CmsError::codeOf(failure);
}

SimProblem simProblem(int cmeError, const QString &text)
{
    switch (cmeError) {
    case 10:
        return SimProblem::Missing;
    case 11:
    case 17:
        return SimProblem::PinRequired;
    case 12:
    case 18:
        return SimProblem::PukRequired;
    case 13:
    case 15:
        return SimProblem::Failure;
    case 14:
        return SimProblem::Busy;
    default:
        break;
    }
    // Verbose errors (AT+CMEE=2 left on by another program) and the states of +CPIN?.
    const QString t = text.toUpper();
    if (t.contains(QLatin1String("PUK")))
        return SimProblem::PukRequired;
    if (t.contains(QLatin1String("PIN")) && !t.contains(QLatin1String("READY")))
        return SimProblem::PinRequired;
    if (t.contains(QLatin1String("NOT INSERTED")) || t.contains(QLatin1String("NO SIM")))
        return SimProblem::Missing;
    if (t.contains(QLatin1String("BUSY")))
        return SimProblem::Busy;
    if (t.contains(QLatin1String("FAILURE")) || t.contains(QLatin1String("WRONG")))
        return SimProblem::Failure;
    return SimProblem::None;
}

QString cmsMeaning(int cmsError)
{
    return CmsError::meaning(cmsError);
}

} // namespace ModemErrors
