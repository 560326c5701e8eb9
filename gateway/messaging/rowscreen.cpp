#include "rowscreen.h"

#include "model/phonenumber.h"

namespace RowScreen {

std::optional<RowRefusal> check(QueuedMessage &row)
{
    const std::optional<QString> number = PhoneNumber::normalize(row.CellNumber);
    if (!number)
        return RowRefusal{QStringLiteral("invalid number"),
                          QStringLiteral("短信(SysNo=%1)未发送：号码“%2”不是电话号码")
                                  .arg(row.SysNo, row.CellNumber)};
    if (!row.invalidTime.isEmpty())
        return RowRefusal{QStringLiteral("invalid time"),
                          QStringLiteral("短信(SysNo=%1)未发送：时间%2无法识别")
                                  .arg(row.SysNo, row.invalidTime)};
    if (*number != row.CellNumber)
        row.CellNumber = *number;
    return std::nullopt;
}

} // namespace RowScreen
