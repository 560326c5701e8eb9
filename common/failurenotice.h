#pragma once

#include <QString>

// How the launcher and the updater tell the user they could not do their work: the splash or
// the progress window is gone by then, so a line on stderr alone goes unseen on a desktop.
namespace FailureNotice {

// Before the application object: with no display at all the program runs on the offscreen
// platform, so it still does its work, or reports why not, instead of aborting.
void chooseDisplay();
// True when a window can reach the user (not the offscreen or minimal platform).
bool hasDisplay();
// "<program>: <text>" on stderr and, when showBox, the text in a message box that waits for OK.
void report(const QString &program, const QString &text, bool showBox = hasDisplay());

} // namespace FailureNotice
