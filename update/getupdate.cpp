#include "getupdate.h"

#include <QLabel>
#include <QProgressBar>
#include <QTimer>
#include <QVBoxLayout>

GetUpdate::GetUpdate(PayloadWriter writer, QString installFolder, Starter starter, QWidget *parent)
    : QWidget(parent), m_writer(std::move(writer)), m_installFolder(std::move(installFolder)),
      m_starter(std::move(starter))
{
    setObjectName(QStringLiteral("GetUpdate"));
    setWindowTitle(QStringLiteral("升级程序"));
    m_label1 = new QLabel(QStringLiteral("正在更新文件……"), this);
    m_label1->setObjectName(QStringLiteral("Label1"));
    m_progressBar1 = new QProgressBar(this);
    m_progressBar1->setObjectName(QStringLiteral("ProgressBar1"));
    m_progressBar1->setRange(0, 100);
    m_progressBar1->setValue(0);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_label1);
    layout->addWidget(m_progressBar1);
    resize(360, 90);

    m_timer1 = new QTimer(this);
    m_timer1->setObjectName(QStringLiteral("Timer1"));
    m_timer1->setInterval(StartDelayMs);
    connect(m_timer1, &QTimer::timeout, this, &GetUpdate::Timer1_Timer);
    m_timer1->start();
}

void GetUpdate::Timer1_Timer()
{
    m_timer1->stop();
    UpdateFiles();
}

void GetUpdate::UpdateFiles()
{
    const bool written =
            m_writer.writeAll([this](int percent) { m_progressBar1->setValue(percent); });
    if (!written) {
        close();
        Q_EMIT finished(1, m_writer.errorString());
        return;
    }
    m_progressBar1->setValue(100);
    const QString gateway = m_installFolder + QStringLiteral("MainApp/Velmora");
    const bool started = m_starter(gateway);
    close();
    if (started)
        Q_EMIT finished(0, QString());
    else
        Q_EMIT finished(1, QStringLiteral("cannot start %1").arg(gateway));
}
