#pragma once

#include <QStringList>

// Tells which lines of the activity log's end are new since the last look: the engine hands out
// only its newest lines, so the console finds where it stopped reading among them.
class LogFollower
{
public:
    // The lines of recent (the log's newest, the newest last) after those seen before. *reset is
    // set when none of the lines seen before are among them any more (the first look, or more
    // lines came than recent holds): then all of recent is returned.
    QStringList follow(const QStringList &recent, bool *reset);
    const QStringList &seen() const { return m_seen; }

private:
    QStringList m_seen;
};
