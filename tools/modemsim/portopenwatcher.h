#pragma once

#include <QHash>
#include <QObject>
#include <QString>

#include <functional>

class QSocketNotifier;

// Tells a modem when a program opens its port, as a real modem learns it from DTR. One
// inotify instance serves every port: the per-user limit of instances is far below 128.
class PortOpenWatcher : public QObject
{
    Q_OBJECT

public:
    explicit PortOpenWatcher(QObject *parent = nullptr);
    ~PortOpenWatcher() override;

    // False, with the reason, when the kernel gives no inotify instance.
    bool start(QString *error);
    // Calls opened each time the device at path is opened from now on; the watch, or -1.
    int watch(const QString &path, std::function<void()> opened);
    void unwatch(int watch);

private:
    void onReadable();

    int m_fd = -1;
    QSocketNotifier *m_notifier = nullptr;
    QHash<int, std::function<void()>> m_watches;
};
