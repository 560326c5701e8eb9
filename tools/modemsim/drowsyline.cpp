#include "drowsyline.h"

DrowsyLine::DrowsyLine(std::function<void(const QByteArray &)> write, QObject *parent)
    : QObject(parent), m_write(std::move(write))
{
    m_late.setSingleShot(true);
    connect(&m_late, &QTimer::timeout, this, &DrowsyLine::release);
}

void DrowsyLine::heard(const QByteArray &bytes, bool inCommandMode)
{
    if (m_quietMs <= 0)
        return;
    const bool afterQuiet = !m_lastInput.isValid() || m_lastInput.elapsed() >= m_quietMs;
    if ((afterQuiet && inCommandMode) || bytes.contains('\x1b'))
        m_losesNext = true;
    m_lastInput.start();
}

bool DrowsyLine::losesCommand()
{
    const bool lost = m_losesNext;
    m_losesNext = false;
    return lost;
}

void DrowsyLine::portOpened()
{
    if (m_firstAnswerDelayMs > 0)
        m_nextAnswerLate = true;
}

void DrowsyLine::say(const QByteArray &bytes)
{
    if (m_late.isActive()) {
        m_held += bytes; // behind the late answer, in order
        return;
    }
    if (!m_nextAnswerLate) {
        m_write(bytes);
        return;
    }
    m_nextAnswerLate = false;
    m_held = bytes;
    m_late.start(m_firstAnswerDelayMs);
}

void DrowsyLine::release()
{
    const QByteArray held = m_held;
    m_held.clear();
    m_write(held);
}

void DrowsyLine::forget()
{
    m_late.stop();
    m_held.clear();
    m_losesNext = false;
    m_lastInput.invalidate();
}
