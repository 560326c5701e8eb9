#pragma once

#include <QString>

// The +CMS ERROR codes every modem speaks (TS 27.005), known to the driver that reads them
// and to the gateway that shows them, whatever driver it loaded.
namespace CmsError {

// What a code means, in the operator's language; empty for a code no standard names. 512 and
// up belong to the manufacturer.
Q_DECL_EXPORT QString meaning(int code);

// The code a failure text begins with ("+CMS ERROR: 42（网络拥塞）" gives 42); -1 when the text
// names no code: a time-out, a lost port, a verbose error or no answer at all, none of which
// says whether the message reached the network.
Q_DECL_EXPORT int codeOf(const QString &failure);

// The code and its meaning as the operator reads them: "+CMS ERROR: 38 网络故障".
Q_DECL_EXPORT QString describe(int code);

} // namespace CmsError
