#include "registryvalue.h"

#include "common/registryfile.h"

#include <QRegularExpression>

QString RegistryValue::rootName(quint32 root)
{
    switch (root) {
    case ClassesRoot:
        return QStringLiteral("HKEY_CLASSES_ROOT");
    case CurrentUser:
        return QStringLiteral("HKEY_CURRENT_USER");
    case LocalMachine:
        return QStringLiteral("HKEY_LOCAL_MACHINE");
    case Users:
        return QStringLiteral("HKEY_USERS");
    default:
        return {};
    }
}

RegistryValue RegistryValue::fromFileText(const QString &text)
{
    static const QRegularExpression dword(QStringLiteral("^dword:([0-9a-fA-F]{1,8})$"));
    static const QRegularExpression hex(QStringLiteral("^hex(?:\\(([0-9a-fA-F]+)\\))?:"));

    RegistryValue v;
    if (const auto m = dword.match(text); m.hasMatch()) {
        v.type = DWord;
        v.number = m.captured(1).toUInt(nullptr, 16);
        return v;
    }
    if (const auto m = hex.match(text); m.hasMatch()) {
        v.type = m.captured(1).isEmpty() ? quint32(Binary) : m.captured(1).toUInt(nullptr, 16);
        v.data = text.mid(m.capturedLength());
        return v;
    }
    // A string value is stored with its terminating NUL, and the query counts it.
    v.type = String;
    v.data = text + QChar(u'\0');
    return v;
}

qsizetype RegistryValue::size() const
{
    switch (type) {
    case String:
        return data.size();
    case DWord:
        return 4;
    default:
        return data.isEmpty() ? 0 : data.count(QLatin1Char(',')) + 1;
    }
}

std::optional<QString> registryBufferText(const RegistryValue &value)
{
    const qsizetype n = value.data.size();
    if (n > RegistryValue::BufferSize)
        return std::nullopt;
    if (n > 0 && value.data.at(n - 1) == QChar(u'\0'))
        return value.data.left(n - 1);
    return value.data;
}

bool GetKeyValue(const RegistryFile &registry, quint32 keyRoot, const QString &keyName,
                 const QString &subKeyRef, QString &keyVal)
{
    const QString root = RegistryValue::rootName(keyRoot);
    const auto stored = root.isEmpty()
            ? std::nullopt
            : registry.value(root + QLatin1Char('\\') + keyName, subKeyRef);
    if (!stored) {
        keyVal.clear();
        return false;
    }
    const RegistryValue value = RegistryValue::fromFileText(*stored);
    if (value.size() > RegistryValue::BufferSize) {
        keyVal.clear();
        return false;
    }
    switch (value.type) {
    case RegistryValue::String: {
        keyVal = registryBufferText(value).value_or(QString());
        break;
    }
    case RegistryValue::DWord:
        keyVal = QString::number(value.number);
        break;
    default:
        break;
    }
    return true;
}
