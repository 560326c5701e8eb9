#pragma once

#include <QString>

// Where engine parts report to the operator: one line at a time, time-stamped by the sink. The
// window shows the lines; the service writes them to standard output.
class LogSink
{
public:
    virtual ~LogSink() = default;
    virtual void WriteLog(const QString &message) = 0;
};
