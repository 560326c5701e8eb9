#include "widgetprompter.h"

#include "engine/gateway.h"

#include <QMessageBox>

void WidgetPrompter::message(const QString &text)
{
    QMessageBox::information(m_parent, Gateway::title(), text, QMessageBox::Ok);
}
