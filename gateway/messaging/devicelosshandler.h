#pragma once

#include "flowcontext.h"

#include <QString>

class SendDispatch;

// A modem that stopped answering or whose port went away: the device goes off line and is
// opened again after a short pause. A message it was sending keeps its row at 1, since whether it
// reached the network is not known.
class DeviceLossHandler
{
public:
    DeviceLossHandler(const FlowContext &context, SendDispatch &dispatch);

    void deviceLost(int d, const QString &why);

private:
    FlowContext m_ctx;
    SendDispatch &m_dispatch;
};
