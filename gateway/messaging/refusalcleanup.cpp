#include "refusalcleanup.h"

#include "storage/dbhelper.h"
#include "storage/statements.h"

#include "policy/sendingpolicy.h"

#include <QSet>

namespace RefusalCleanup {

void forgetDeletedRows(DBHelper &db, SendingPolicy &policy)
{
    const QStringList kept = policy.refusedRows();
    if (kept.isEmpty() || !db.isOpen())
        return;
    QStringList marks;
    QVariantList keys;
    for (const QString &sysNo : kept) {
        marks << QStringLiteral("?");
        keys << Statements::keyValue(sysNo);
    }
    const auto rows = db.readRows({QStringLiteral("select SysNo from SMS where SysNo in (%1)")
                                           .arg(marks.join(QLatin1Char(','))),
                                   keys});
    // A failed read says nothing of the rows: they are looked for again at the next load.
    if (!rows)
        return;
    QSet<QString> present;
    for (const QStringList &row : *rows)
        present.insert(row.value(0).trimmed());
    QStringList gone;
    for (const QString &sysNo : kept) {
        if (!present.contains(sysNo))
            gone << sysNo;
    }
    policy.rowsGone(gone);
}

} // namespace RefusalCleanup
