#include "portopenwatcher.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <sys/inotify.h>
#include <unistd.h>

PortOpenWatcher::PortOpenWatcher(QObject *parent) : QObject(parent) { }

PortOpenWatcher::~PortOpenWatcher()
{
    delete m_notifier;
    if (m_fd >= 0)
        ::close(m_fd);
}

bool PortOpenWatcher::start(QString *error)
{
    m_fd = ::inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (m_fd < 0) {
        *error = QStringLiteral("inotify: %1").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return false;
    }
    m_notifier = new QSocketNotifier(m_fd, QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &PortOpenWatcher::onReadable);
    return true;
}

int PortOpenWatcher::watch(const QString &path, std::function<void()> opened)
{
    if (m_fd < 0)
        return -1;
    const int wd = ::inotify_add_watch(m_fd, QFile::encodeName(path).constData(), IN_OPEN);
    if (wd >= 0)
        m_watches.insert(wd, std::move(opened));
    return wd;
}

void PortOpenWatcher::unwatch(int watch)
{
    // The kernel drops the watch by itself when the device goes; removing it again is harmless.
    if (m_watches.remove(watch) > 0)
        ::inotify_rm_watch(m_fd, watch);
}

void PortOpenWatcher::onReadable()
{
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return;
        for (ssize_t at = 0; at < n;) {
            const auto *event = reinterpret_cast<const inotify_event *>(buffer + at);
            at += ssize_t(sizeof(inotify_event) + event->len);
            if (event->mask & IN_IGNORED) {
                m_watches.remove(event->wd);
                continue;
            }
            // A copy: the modem may watch its new device from inside the call.
            const std::function<void()> opened = m_watches.value(event->wd);
            if ((event->mask & IN_OPEN) && opened)
                opened();
        }
    }
}
