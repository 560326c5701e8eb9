#pragma once

#include "core/prompter.h"

#include <QStringList>

// Records the message boxes the engine would show.
class RecordingPrompter final : public Prompter
{
public:
    void message(const QString &text) override { messages << text; }
    QStringList messages;
};
