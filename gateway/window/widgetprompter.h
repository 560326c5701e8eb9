#pragma once

#include "core/prompter.h"

class QWidget;

// Operator messages as modal OK boxes titled with the application title.
class WidgetPrompter final : public Prompter
{
public:
    void setParentWindow(QWidget *parent) { m_parent = parent; }
    void message(const QString &text) override;

private:
    QWidget *m_parent = nullptr;
};
