#pragma once

#include <QIODevice>

// A serial line for AT tests: what the driver writes is collected, what the "modem" says is
// injected and announced with readyRead, as a port would.
class FakeSerialDevice : public QIODevice
{
public:
    FakeSerialDevice() { open(QIODevice::ReadWrite); }

    bool isSequential() const override { return true; }
    qint64 bytesAvailable() const override { return m_in.size() + QIODevice::bytesAvailable(); }

    void inject(const QByteArray &bytes)
    {
        m_in.append(bytes);
        Q_EMIT readyRead();
    }
    QByteArray takeWritten() { return std::exchange(m_written, {}); }

protected:
    qint64 readData(char *data, qint64 maxSize) override
    {
        const qint64 n = qMin<qint64>(maxSize, m_in.size());
        std::copy_n(m_in.constData(), n, data);
        m_in.remove(0, n);
        return n;
    }
    qint64 writeData(const char *data, qint64 size) override
    {
        m_written.append(data, size);
        return size;
    }

private:
    QByteArray m_in;
    QByteArray m_written;
};
