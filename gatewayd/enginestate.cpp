#include "enginestate.h"

#include "model/engineapi.h"

EngineState EngineState::read(const EngineApi &engine)
{
    const EngineStatus status = engine.status();
    EngineState state;
    state.databaseUp = status.databaseUp;
    state.devices = int(status.devices.size());
    state.devicesUp = status.devicesUp();
    state.queueLength = status.queueLength;
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
