#pragma once

#include "model/devicestatus.h"
#include "model/frontreads.h"

#include <QJsonObject>

// The API's JSON for what the engine and the tables hold. Times are ISO 8601 with the offset,
// absent when unknown; numbers stay numbers.
namespace ApiViews {

// "queued", "sending", "sent" or "failed" for a Status value.
QString statusName(int status);
// "delivered", "pending" or "failed" for a report's TP-ST.
QString reportName(int tpStatus);

QJsonObject message(const StoredMessage &m);
QJsonObject received(const ReceivedRow &r);
QJsonObject device(const DeviceStatus &d);

} // namespace ApiViews
