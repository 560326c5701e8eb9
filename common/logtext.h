#pragma once

#include <QString>

// A message as a log line may carry it: C0 and C1 control characters, DEL and the Unicode line
// and paragraph separators are written as escapes (\n, \r, \t, \x1B, \u0085, \u2028), so a
// received text can neither end a line early nor drive a terminal. Everything else stays.
QString loggableText(const QString &message);
