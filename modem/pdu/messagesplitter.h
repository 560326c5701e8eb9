#pragma once

#include "smspdu.h"

#include <QList>
#include <QString>

// Splits a text into the user data of one or more messages: GSM 7-bit when every character
// has a code there, else UCS2; 160 septets / 70 characters in one message, 153 / 67 per part of
// a concatenated one (152 / 66 with a 16-bit reference). A part never ends between the two
// septets of an extension character nor between the two halves of a UTF-16 surrogate pair.
namespace MessageSplitter {

enum class Coding { Automatic, Ucs2 };

struct Options
{
    Coding coding = Coding::Automatic;
    int reference = 0;
    bool sixteenBitReference = false;
};

inline constexpr int MaxParts = 255;

// An empty list when the text needs more than MaxParts parts.
QList<UserData> split(const QString &text, const Options &options = {});

} // namespace MessageSplitter
