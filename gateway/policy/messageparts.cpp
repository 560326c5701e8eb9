#include "messageparts.h"

#include "pdu/messagesplitter.h"

int messageParts(const QString &text)
{
    return qMax(1, int(MessageSplitter::split(text).size()));
}
