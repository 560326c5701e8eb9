#pragma once

#include "engine/gateway.h"
#include "engine/service.h"
#include "messaging/messageflow.h"

// The engine with its parts in reach. A front end sees a Gateway through EngineApi and its
// events only; a test that drives or inspects the device table, the pool, the message flow or
// the service builds this instead.
class GatewayParts : public Gateway
{
public:
    using Gateway::Gateway;

    using Gateway::clock;
    using Gateway::deviceSearchParts;
    using Gateway::devices;
    using Gateway::flow;
    using Gateway::FormLoad;
    using Gateway::LoadSettings;
    using Gateway::mnuSCSB_Click;
    using Gateway::pool;
    using Gateway::programDir;
    using Gateway::prompter;
    using Gateway::RefreshDeviceList;
    using Gateway::sendTimings;
    using Gateway::service;
    using Gateway::ServiceRunning;
    using Gateway::setServiceRunning;
    using Gateway::setStatusPanel;
    using Gateway::settings;
    using Gateway::simPool;
    using Gateway::states;
    using Gateway::statusPanel;
    using Gateway::updateparas;
    using Gateway::WriteLog;
};
