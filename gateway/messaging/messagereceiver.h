#pragma once

#include <QString>

class DevicePool;
class DeviceTable;
class LogSink;
class MessageStore;
class SendDispatch;
class StatusPanel;
struct Settings;

// A message that arrived on a modem: logged, counted, stored in smsrecv and, when a
// forwarding number is configured, queued again as a new row of SMS. The handler returns only
// once the message is in the database or in the local spool, since the modem then deletes it;
// when it is in neither, the modem keeps it. A message stored before a restart that came before
// its deletion is only deleted; what is no message at all goes to the quarantine folder.
class MessageReceiver
{
public:
    MessageReceiver(const Settings &settings, DevicePool &pool, DeviceTable &table, LogSink &log,
                    StatusPanel &panel, MessageStore &store, const SendDispatch &dispatch);

    void OnRecvMsg(int d);
    // False when the message could be kept neither in the database nor on disk.
    bool SaveReceivedMessage(const QString &sender, const QString &text, const QString &timeStamp,
                             const QString &key = {});

private:
    const Settings &m_settings;
    DevicePool &m_pool;
    DeviceTable &m_table;
    LogSink &m_log;
    StatusPanel &m_panel;
    MessageStore &m_store;
    const SendDispatch &m_dispatch;
};
