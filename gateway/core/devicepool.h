#pragma once

#include <QObject>
#include <QString>
#include <array>
#include <functional>
#include <memory>

class ComponentLoader;
class ModemControl;

// The 128 modem controls of the gateway, element d driving device d, with each device's
// availability mark: "" not connected, "free" connected and idle, "busy" sending.
// Events of element d are passed on carrying d.
class DevicePool : public QObject
{
    Q_OBJECT

public:
    static constexpr int Count = 128;
    // Makes one control, or returns nullptr with the reason in *error.
    using Factory = std::function<ModemControl *(QString *error)>;

    explicit DevicePool(QObject *parent = nullptr);
    ~DevicePool() override;

    // Creates all elements; false (and nothing held) when any one cannot be made.
    bool create(const Factory &factory, QString *error);
    // Creates all elements from the component registered for the modem control's ProgID.
    bool createRegistered(ComponentLoader &loader, QString *error);
    bool isCreated() const { return m_controls[0] != nullptr; }

    ModemControl *control(int d) const;
    QString DeviceState(int d) const;
    void setDeviceState(int d, const QString &state);

    static QString free() { return QStringLiteral("free"); }
    static QString busy() { return QStringLiteral("busy"); }

Q_SIGNALS:
    void OnRecvMsg(int d);
    void OnSndMsg(int d);
    void PhoneCall(int d);

private:
    std::array<ModemControl *, Count> m_controls{};
    std::array<QString, Count> m_states;
};
