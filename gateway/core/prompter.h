#pragma once

#include <QString>

// Modal messages to the operator (an OK box titled with the application title). The windows
// supply the real one; tests supply a recorder, so nothing ever blocks on a box.
class Prompter
{
public:
    virtual ~Prompter() = default;
    virtual void message(const QString &text) = 0;
};
