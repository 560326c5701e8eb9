#include "statuspanel.h"

void StatusPanel::setText(const QString &text)
{
    m_text = text;
    Q_EMIT changed(text);
}

void StatusPanel::showQueueLength(int length)
{
    setText(QStringLiteral("内存剩余短信:") + QString::number(length));
}
