#include "splash.h"

#include "launcherpaths.h"

#include "common/contact.h"

#include <QLabel>
#include <QLinearGradient>
#include <QPainter>
#include <QPixmap>
#include <QTimer>
#include <QVBoxLayout>

namespace {

QPixmap splashPicture()
{
    QPixmap picture(420, 150);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, 420, 150);
    gradient.setColorAt(0, QColor(0x1f, 0x4e, 0x79));
    gradient.setColorAt(1, QColor(0x5b, 0x9b, 0xd5));
    painter.fillRect(picture.rect(), gradient);
    painter.setPen(Qt::white);
    QFont font = painter.font();
    font.setPointSize(26);
    font.setBold(true);
    painter.setFont(font);
    painter.drawText(picture.rect(), Qt::AlignCenter, QStringLiteral("Velmora"));
    return picture;
}

QLabel *label(QWidget *parent, const char *name, const QString &text)
{
    auto *l = new QLabel(text, parent);
    l->setObjectName(QLatin1String(name));
    return l;
}

} // namespace

Splash::Splash(ComponentInstaller installer, QString launcherDir,
               ComponentInstaller::Starter gatewayStarter, QWidget *parent)
    : QWidget(parent, Qt::SplashScreen | Qt::FramelessWindowHint),
      m_installer(std::move(installer)),
      m_launcherDir(LauncherPaths::withTrailingSlash(launcherDir)),
      m_gatewayStarter(std::move(gatewayStarter))
{
    setObjectName(QStringLiteral("splash"));
    m_imgLoad = label(this, "ImgLoad", QString());
    m_imgLoad->setPixmap(splashPicture());
    m_label1 = label(this, "Label1", QString::fromUtf8(Contact::ProductTitle));
    QFont title = m_label1->font();
    title.setPointSize(title.pointSize() + 4);
    m_label1->setFont(title);
    m_lblemail = label(this, "lblemail", QStringLiteral("E-mail：") + QLatin1String(Contact::Mail));
    m_lbltoome =
            label(this, "lbltoome", QStringLiteral("QQ：") + QLatin1String(Contact::Messenger));

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(m_imgLoad);
    layout->addWidget(m_label1, 0, Qt::AlignHCenter);
    layout->addWidget(m_lblemail);
    layout->addWidget(m_lbltoome);

    m_tmrLoad = new QTimer(this);
    m_tmrLoad->setObjectName(QStringLiteral("TmrLoad"));
    m_tmrLoad->setInterval(TickMs);
    connect(m_tmrLoad, &QTimer::timeout, this, &Splash::TmrLoad_Timer);
    m_tmrLoad->start();
}

void Splash::TmrLoad_Timer()
{
    if (!m_componentsDone) {
        if (!m_installer.RegOCX()) {
            stop(1, m_installer.errorString());
            return;
        }
        // Optional: without it the about window says system information is not available.
        m_installer.recordSystemInfoTool();
        m_componentsDone = true;
        return;
    }
    const QString gateway = LauncherPaths::gatewayCommand(m_launcherDir);
    close();
    if (!m_gatewayStarter(gateway, {}))
        stop(1, QStringLiteral("cannot start %1").arg(gateway));
    else
        stop(0, QString());
}

void Splash::stop(int exitCode, const QString &error)
{
    m_tmrLoad->stop();
    close();
    Q_EMIT finished(exitCode, error);
}
