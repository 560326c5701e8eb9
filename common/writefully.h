#pragma once

#include <QByteArray>

// Writes all of data to the file descriptor, going on after partial writes and interruptions;
// false (errno says why) when the descriptor takes no more.
bool writeFully(int fd, const QByteArray &data);
