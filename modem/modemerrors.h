#pragma once

#include <QString>

// What a modem's error codes mean for what to do next.
namespace ModemErrors {

// +CMS ERROR codes (TS 27.005 §3.2.5; 0..255 are the network's causes of TS 24.011 E.2 and
// TS 23.040 §9.2.3.22) after which the same message may well go through a moment later:
// congestion, a busy SIM or service centre, a network that did not answer, the catch-all 500
// and the first manufacturer code 512, which common modems use for "network busy". All other
// codes (unassigned or barred number, invalid PDU, no subscription...) are final.
bool isTransient(int cmsError);

// The +CMS ERROR code a failure text begins with ("+CMS ERROR: 42（网络拥塞）" gives 42); -1 when
// the text names no code: a time-out, a lost port, a verbose error or no answer at all, none of
// which says whether the message reached the network.
int cmsErrorOf(const QString &failure);

enum class SimProblem { None, PinRequired, PukRequired, Missing, Busy, Failure };
// The SIM problem named by a +CME ERROR (TS 27.007 §9.2.1: 10 not inserted, 11 PIN, 12 PUK,
// 13 failure, 14 busy, 15 wrong) or by the state a +CPIN? answer gives; code -1 for text only.
SimProblem simProblem(int cmeError, const QString &text);

// What a +CMS ERROR code means, in the operator's language; empty for a code no standard
// names. 512 and up belong to the manufacturer.
QString cmsMeaning(int cmsError);

} // namespace ModemErrors
