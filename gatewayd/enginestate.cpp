#include "enginestate.h"

#include "core/devicepool.h"
#include "core/devicetable.h"
#include "engine/gateway.h"
#include "messaging/messageflow.h"

EngineState EngineState::read(Gateway &gateway)
{
    EngineState state;
    state.databaseUp = gateway.flow().store().db().isOpen();
    state.devices = qMin(gateway.devices().rowCount(), DevicePool::Count);
    for (int d = 0; d < state.devices; ++d) {
        if (gateway.pool().state(d) != DeviceState::Offline)
            ++state.devicesUp;
    }
    state.queueLength = gateway.flow().queueLength();
    return state;
}

QString EngineState::text() const
{
    return QStringLiteral("数据库%1，设备%2/%3在线，内存剩余短信:%4")
            .arg(databaseUp ? QStringLiteral("已连接") : QStringLiteral("未连接"))
            .arg(devicesUp)
            .arg(devices)
            .arg(queueLength);
}
