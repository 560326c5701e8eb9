#pragma once

class Clock;
class DevicePool;
class DeviceStates;
class DeviceTable;
class EngineEvents;
class EngineHistory;
class LogSink;
class SendTimings;
class StatusPanel;
struct Settings;

// What every handler of the message path works with, handed over as one: the settings, the
// devices and their shown status, the operator's log and status panel, the send timings, the
// engine's events, its history and the clock. The pieces outlive the handlers.
struct FlowContext
{
    const Settings &settings;
    DevicePool &pool;
    // The one place a device's state changes.
    DeviceStates &states;
    DeviceTable &table;
    LogSink &log;
    StatusPanel &panel;
    SendTimings &timings;
    EngineEvents &events;
    EngineHistory &history;
    const Clock &clock;
};
