#pragma once

#include <QByteArray>
#include <QString>
#include <optional>

// The resources a program carries inside itself, addressed by numeric id as on the platform the
// programs come from: blocks of bytes ("CUSTOM") and string-table entries. They are embedded at
// build time by velmora_embed_resources() under one root.
class ProgramResources
{
public:
    explicit ProgramResources(QString root = QStringLiteral(":/velmora"));

    std::optional<QByteArray> data(int id) const;
    std::optional<QString> string(int id) const;
    // A string entry read as a 32-bit integer: decimal digits with an optional sign, blanks
    // around them allowed; anything else gives no value.
    static std::optional<qint32> toInt32(const QString &text);
    // The first count bytes of data entry id; nothing, with the reason in *error, when the entry
    // is missing or holds fewer bytes.
    std::optional<QByteArray> leadingBytes(int id, qint32 count, QString *error) const;

    const QString &root() const { return m_root; }

private:
    QString m_root;
};
