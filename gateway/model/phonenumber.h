#pragma once

#include <QString>
#include <optional>

// A number as applications write it, made into what the SMS row holds: blanks, dashes and
// dots dropped, an optional leading "+" kept, then 3 to 20 digits. National numbers such as
// 13800138000 stay as they are: the modem's network knows its own country.
namespace PhoneNumber {

inline constexpr int MinDigits = 3;
inline constexpr int MaxDigits = 20;

std::optional<QString> normalize(const QString &text);

} // namespace PhoneNumber
