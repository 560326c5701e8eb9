#pragma once

#include "core/prompter.h"

#include <QStringList>

// Keeps the messages the engine would have shown in a box.
class RecordingPrompter final : public Prompter
{
public:
    void message(const QString &text) override { messages << text; }
    QStringList messages;
};
