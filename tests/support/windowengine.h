#pragma once

#include "engine/enginebridge.h"
#include "engine/gateway.h"
#include "window/engineclient.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <memory>

// The window's client on an engine that runs on the test's own thread: the engine's answers
// still come as queued calls, so a test waits for them with settle() before it looks.
class WindowEngine
{
public:
    explicit WindowEngine(Gateway &gateway) : client(gateway, bridge)
    {
        bridge.attach(gateway);
        settle();
    }

    // Processes events until everything asked of the engine before has been done and what it
    // showed has reached the client; false when that takes longer than timeoutMs.
    bool settle(int timeoutMs = 30000)
    {
        const auto done = std::make_shared<bool>(false);
        QEventLoop loop;
        QTimer::singleShot(timeoutMs, &loop, &QEventLoop::quit);
        client.afterEngine([done, loop = QPointer<QEventLoop>(&loop)] {
            *done = true;
            if (loop)
                loop->quit();
        });
        if (!*done)
            loop.exec();
        return *done;
    }

    EngineBridge bridge;
    EngineClient client;
};
