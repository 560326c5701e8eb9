#include "enginethread.h"

#include "enginebridge.h"
#include "gateway.h"

EngineThread::EngineThread(QString programDir, const Clock &clock, Make make)
{
    m_thread.setObjectName(QStringLiteral("engine"));
    m_anchor = new QObject;
    m_anchor->moveToThread(&m_thread);
    // The gateway closes its ports and its connection on the thread that opened them, once its
    // loop has ended.
    QObject::connect(
            &m_thread, &QThread::finished, m_anchor,
            [this] {
                m_gateway.reset();
                m_bridge.reset();
            },
            Qt::DirectConnection);
    m_thread.start();
    runAndWait([&] {
        m_bridge = std::make_unique<EngineBridge>();
        m_gateway = make ? make(std::move(programDir), clock, *m_bridge)
                         : std::make_unique<Gateway>(std::move(programDir), clock, *m_bridge);
        m_bridge->attach(*m_gateway);
    });
}

EngineThread::~EngineThread()
{
    m_thread.quit();
    m_thread.wait();
    delete m_anchor;
}

void EngineThread::runAndWait(const std::function<void()> &work)
{
    QMetaObject::invokeMethod(m_anchor, work, Qt::BlockingQueuedConnection);
}
