#include "frmabout.h"

#include "common/contact.h"
#include "common/registryfile.h"
#include "common/sysinfotool.h"
#include "linklabel.h"
#include "windowskin.h"

#include <version.h>

#include <QApplication>
#include <QDesktopServices>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QStyle>
#include <QVBoxLayout>

FrmAbout::FrmAbout(QWidget *mainWindow)
    : QDialog(mainWindow),
      m_messageBox([](QWidget *parent, const QString &title, const QString &text) {
          QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, parent);
          box.exec();
      }),
      m_startProgram([](const QString &program) { return QProcess::startDetached(program, {}); }),
      m_openUrl([](const QUrl &url) { return QDesktopServices::openUrl(url); })
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("FrmAbout"));
    buildControls();

    WindowSkin::attach(this, QStringLiteral("WinXPAbout"));
    placeBeside(mainWindow);
    setWindowTitle(applicationTitle());
    m_lblVersion->setText(
            versionText(VELMORA_VERSION_MAJOR, VELMORA_VERSION_MINOR, VELMORA_VERSION_PATCH));
    m_lblTitle->setText(applicationTitle());
    setFixedSize(sizeHint());
}

QString FrmAbout::versionText(int major, int minor, int patch)
{
    return QStringLiteral("版本： Ver %1.%2.%3").arg(major).arg(minor).arg(patch);
}

QString FrmAbout::applicationTitle()
{
    return QString::fromUtf8(Contact::ProductTitle);
}

QUrl FrmAbout::mailLink()
{
    return QUrl(QStringLiteral("mailto:") + QLatin1String(Contact::Mail));
}

QUrl FrmAbout::webLink()
{
    return QUrl(QLatin1String(Contact::ContactPage));
}

void FrmAbout::StartSysInfo()
{
    // A missing key, a missing file and a program that will not start all end the same way.
    const auto program = SysInfoTool::locate(RegistryFile::systemRegistry());
    if (program && m_startProgram(*program))
        return;
    m_messageBox(this, applicationTitle(), QStringLiteral("此时系统信息不可用"));
}

QFrame *FrmAbout::buildHeader()
{
    auto *picture1 = new QFrame(this);
    picture1->setObjectName(QStringLiteral("Picture1"));
    picture1->setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);

    m_picIcon = new QLabel(picture1);
    m_picIcon->setObjectName(QStringLiteral("picIcon"));
    QIcon icon = parentWidget() ? parentWidget()->windowIcon() : QApplication::windowIcon();
    if (icon.isNull())
        icon = style()->standardIcon(QStyle::SP_MessageBoxInformation);
    m_picIcon->setPixmap(icon.pixmap(32, 32));
    m_picIcon->setAlignment(Qt::AlignTop);

    m_lblTitle = new QLabel(picture1);
    m_lblTitle->setObjectName(QStringLiteral("lblTitle"));
    QFont titleFont = m_lblTitle->font();
    titleFont.setBold(true);
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.4);
    m_lblTitle->setFont(titleFont);

    m_lblVersion = new QLabel(picture1);
    m_lblVersion->setObjectName(QStringLiteral("lblVersion"));

    auto *titleColumn = new QVBoxLayout;
    titleColumn->addWidget(m_lblTitle);
    titleColumn->addWidget(m_lblVersion);
    auto *header = new QHBoxLayout(picture1);
    header->addWidget(m_picIcon);
    header->addSpacing(8);
    header->addLayout(titleColumn, 1);
    return picture1;
}

QLayout *FrmAbout::buildFooter()
{
    m_lblMail = new LinkLabel(QStringLiteral("E-mail:") + QLatin1String(Contact::Mail), this);
    m_lblMail->setObjectName(QStringLiteral("lblmail"));
    m_lblMail->setToolTip(QStringLiteral("点击给我写信"));
    connect(m_lblMail, &LinkLabel::clicked, this, [this] { m_openUrl(mailLink()); });

    m_lblQQ = new LinkLabel(QStringLiteral("OICQ:") + QLatin1String(Contact::Messenger), this);
    m_lblQQ->setObjectName(QStringLiteral("lblQQ"));
    connect(m_lblQQ, &LinkLabel::clicked, this, [this] { m_openUrl(webLink()); });

    m_cmdOK = new QPushButton(QStringLiteral("确定"), this);
    m_cmdOK->setObjectName(QStringLiteral("cmdOK"));
    m_cmdOK->setDefault(true);
    connect(m_cmdOK, &QPushButton::clicked, this, &QWidget::close);

    m_cmdSysInfo = new QPushButton(QStringLiteral("系统信息(&S)..."), this);
    m_cmdSysInfo->setObjectName(QStringLiteral("cmdSysInfo"));
    m_cmdSysInfo->setAutoDefault(false);
    connect(m_cmdSysInfo, &QPushButton::clicked, this, &FrmAbout::StartSysInfo);

    auto *links = new QVBoxLayout;
    links->addWidget(m_lblMail, 0, Qt::AlignLeft);
    links->addWidget(m_lblQQ, 0, Qt::AlignLeft);
    auto *buttons = new QVBoxLayout;
    buttons->addWidget(m_cmdOK);
    buttons->addWidget(m_cmdSysInfo);
    auto *footer = new QHBoxLayout;
    footer->addLayout(links, 1);
    footer->addLayout(buttons);
    return footer;
}

void FrmAbout::buildControls()
{
    QFrame *picture1 = buildHeader();
    auto *description = new QLabel(QStringLiteral("软件主要实现功能："), this);
    description->setObjectName(QStringLiteral("lblDescription"));
    auto *lbl001 = new QLabel(
            QStringLiteral("    以数据库为短信收发接口，兼容各类平台，有效和业务系统无缝连接；"
                           "提供稳定的后台短信服务，减少开发工作量，降低开发成本。"),
            this);
    lbl001->setObjectName(QStringLiteral("lbl001"));
    lbl001->setWordWrap(true);
    lbl001->setMinimumWidth(360);

    auto *picture2 = new QFrame(this);
    picture2->setObjectName(QStringLiteral("Picture2"));
    picture2->setFrameStyle(QFrame::HLine | QFrame::Sunken);

    QLayout *footer = buildFooter();
    auto *main = new QVBoxLayout(this);
    main->addWidget(picture1);
    main->addSpacing(6);
    main->addWidget(description);
    main->addWidget(lbl001);
    main->addSpacing(6);
    main->addWidget(picture2);
    main->addLayout(footer);
}

// Left a quarter and top a sixth of the main window's size: its size, not its position.
void FrmAbout::placeBeside(const QWidget *mainWindow)
{
    if (!mainWindow)
        return;
    const QSize size = mainWindow->frameGeometry().size();
    move(size.width() / 4, size.height() / 6);
}
