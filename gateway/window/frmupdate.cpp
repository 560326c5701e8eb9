#include "frmupdate.h"

#include "core/logsink.h"
#include "download/downloadedupdate.h"
#include "download/downloader.h"

#include "common/clock.h"
#include "common/installlayout.h"

#include <QApplication>
#include <QCloseEvent>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLinearGradient>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QPointer>
#include <QProcess>
#include <QRegularExpression>
#include <QScreen>
#include <QSettings>
#include <QSystemTrayIcon>
#include <QWindow>

namespace {

constexpr int Width = 380;
constexpr int Height = 150;
constexpr int BarLeft = 16;
constexpr int BarWidth = Width - 2 * BarLeft;

QPixmap backdrop()
{
    QPixmap picture(Width, Height);
    QPainter painter(&picture);
    QLinearGradient gradient(0, 0, 0, Height);
    gradient.setColorAt(0, QColor(0x2b, 0x57, 0x9a));
    gradient.setColorAt(0.2, QColor(0x2b, 0x57, 0x9a));
    gradient.setColorAt(0.21, QColor(0xf4, 0xf6, 0xfa));
    gradient.setColorAt(1, QColor(0xdd, 0xe4, 0xf0));
    painter.fillRect(picture.rect(), gradient);
    painter.setPen(QColor(0x1b, 0x37, 0x6a));
    painter.drawRect(picture.rect().adjusted(0, 0, -1, -1));
    return picture;
}

QIcon downloadIcon()
{
    QPixmap picture(32, 32);
    picture.fill(Qt::transparent);
    QPainter painter(&picture);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor(0x2b, 0x57, 0x9a));
    painter.setPen(Qt::NoPen);
    painter.drawRect(12, 3, 8, 13);
    painter.drawPolygon(QPolygon({QPoint(5, 15), QPoint(27, 15), QPoint(16, 26)}));
    painter.drawRect(4, 27, 24, 3);
    return QIcon(picture);
}

QLabel *makeLabel(QWidget *parent, const char *name, const QString &text, const QRect &geometry)
{
    auto *label = new QLabel(text, parent);
    label->setObjectName(QLatin1String(name));
    label->setGeometry(geometry);
    return label;
}

// A leading number as the settings store's numbers are read: "1abc" is 1, "abc" is 0.
double leadingNumber(const QString &text)
{
    static const QRegularExpression number(QStringLiteral("^\\s*[-+]?(\\d+\\.?\\d*|\\.\\d+)"));
    const QRegularExpressionMatch match = number.match(text);
    return match.hasMatch() ? match.captured(0).trimmed().toDouble() : 0.0;
}

} // namespace

const Clock &FrmUpdate::defaultClock()
{
    return SystemClock::instance();
}

FrmUpdate::FrmUpdate(LogSink &log, QWidget *mainWindow, const Clock &clock, QWidget *parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), m_log(log), m_mainWindow(mainWindow),
      m_progress(clock), m_programDir(InstallLayout::programDir()),
      m_trayAvailable(&QSystemTrayIcon::isSystemTrayAvailable)
{
    setObjectName(QStringLiteral("FrmUpdate"));
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QStringLiteral("下载"));
    setWindowIcon(downloadIcon());

    m_imgBackDrop = makeLabel(this, "imgBackDrop", QString(), QRect(0, 0, Width, Height));
    m_imgBackDrop->setPixmap(backdrop());
    m_lblCaption = makeLabel(this, "lblCaption", QStringLiteral("正在下载最新版本，请稍后……"),
                             QRect(10, 4, Width - 70, 22));
    m_lblCaption->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
    m_imgMin = makeLabel(this, "imgMin", QStringLiteral("–"), QRect(Width - 50, 4, 20, 22));
    m_imgClose = makeLabel(this, "imgClose", QStringLiteral("×"), QRect(Width - 26, 4, 20, 22));
    for (QLabel *button : {m_imgMin, m_imgClose}) {
        button->setAlignment(Qt::AlignCenter);
        button->setStyleSheet(QStringLiteral("color: white; font-weight: bold;"));
        button->setCursor(Qt::PointingHandCursor);
        button->installEventFilter(this);
    }
    m_imgBackDrop->installEventFilter(this);
    m_lblCaption->installEventFilter(this);

    m_lblHeader = makeLabel(this, "lblHeader", QStringLiteral("连接 ..."),
                            QRect(BarLeft, 40, BarWidth - 60, 20));
    m_lblProtocol =
            makeLabel(this, "lblProtocol", QString(), QRect(Width - BarLeft - 56, 40, 56, 20));
    m_lblProtocol->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_barFrame = new QWidget(this);
    m_barFrame->setObjectName(QStringLiteral("barFrame"));
    m_barFrame->setGeometry(BarLeft, 68, BarWidth, 22);
    m_barFrame->setStyleSheet(QStringLiteral("#barFrame { border: 1px solid #8096b8; }"));
    m_chkPrg = makeLabel(m_barFrame, "chkPrg", QString(), QRect(0, 0, 0, 22));
    m_chkPrg->setStyleSheet(QStringLiteral("background: #5b8bd5; color: white;"));
    m_chkPrg->setVisible(false);
    m_lblTime =
            makeLabel(this, "lblTime", QStringLiteral("时间"), QRect(BarLeft, 100, BarWidth, 20));

    m_mnuTray = new QMenu(this);
    m_mnuTray->setObjectName(QStringLiteral("mnuTray"));
    m_mnuShow = m_mnuTray->addAction(QStringLiteral("Show Download"));
    m_mnuShow->setObjectName(QStringLiteral("mnuShow"));
    m_mnuStop = m_mnuTray->addAction(QStringLiteral("Stop Download"));
    m_mnuStop->setObjectName(QStringLiteral("mnuStop"));
    connect(m_mnuShow, &QAction::triggered, this, [this] {
        setVisible(true);
        showNormal();
    });
    connect(m_mnuStop, &QAction::triggered, this, &QWidget::close);

    m_downCtl = new Downloader(this);
    m_downCtl->setObjectName(QStringLiteral("DownCTL"));
    connect(m_downCtl, &Downloader::AsyncReadProgress, this, &FrmUpdate::DownCTL_AsyncReadProgress);
    connect(m_downCtl, &Downloader::StateChanged, this, &FrmUpdate::DownCTL_StateChanged);
    connect(m_downCtl, &Downloader::DownloadComplete, this, &FrmUpdate::DownCTL_DownloadComplete);
    connect(m_downCtl, &Downloader::DownloadError, this, &FrmUpdate::DownCTL_DownloadError);
}

FrmUpdate::~FrmUpdate()
{
    // A download written after the window closed is never installed.
    if (!m_receivedPath.isEmpty())
        QFile::remove(m_receivedPath);
}

void FrmUpdate::setTrayAvailability(std::function<bool()> available)
{
    m_trayAvailable = std::move(available);
}

void FrmUpdate::putAway()
{
    if (m_trayAvailable())
        setVisible(false);
    else
        showMinimized();
}

VersionCheck::DownloadWindowFactory FrmUpdate::opener(LogSink &log, QWidget *mainWindow)
{
    QPointer<QWidget> main(mainWindow);
    return [&log, main](const QString &url, const QByteArray &expectedSha256) {
        auto *window = new FrmUpdate(log, main.data());
        window->StartDownload(url, expectedSha256);
    };
}

bool FrmUpdate::yield(int times)
{
    QPointer<FrmUpdate> self(this);
    for (int i = 0; i < times && self; ++i)
        QCoreApplication::processEvents();
    return !self.isNull();
}

void FrmUpdate::StartDownload(const QString &url, const QByteArray &expectedSha256)
{
    QPointer<FrmUpdate> self(this);
    m_expectedSha256 = expectedSha256;
    const QString targetFolder =
            InstallLayout::parentWithSlash(m_programDir) + QStringLiteral("update/");
    m_targetPath = targetFolder + url.split(QLatin1Char('/')).constLast();
    m_receivedPath = DownloadedUpdate::receivingPathFor(m_targetPath);
    Form_Load();
    if (!self || m_closed)
        return;

    // Every call that lets pending events run may end with this window closed and gone.
    const bool ftp = m_downCtl->GetProtocol(url) == QLatin1String("2");
    if (!self || m_closed)
        return;
    m_progress.setFtp(ftp);
    m_lblProtocol->setText(ftp ? QStringLiteral("FTP") : QStringLiteral("HTTP"));
    m_downCtl->setURL(url);
    applyConnectionSettings();
    m_downCtl->setTargetFile(m_receivedPath);
    m_downCtl->DownloadFile();
    if (!self || m_closed)
        return;

    show();
    if (!yield() || m_closed)
        return;
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvell"),
                       QStringLiteral("Corvell"));
    if (leadingNumber(settings.value(QStringLiteral("Connection/dWindow"), 0).toString()) != 0)
        putAway();
    yield();
}

void FrmUpdate::applyConnectionSettings()
{
    QSettings settings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Corvell"),
                       QStringLiteral("Corvell"));
    settings.beginGroup(QStringLiteral("Connection"));
    if (settings.value(QStringLiteral("Type"), QStringLiteral("Proxy")).toString()
        == QLatin1String("Proxy")) {
        m_downCtl->setProxy(settings.value(QStringLiteral("ProxyAddr")).toString());
        m_downCtl->setUserName(settings.value(QStringLiteral("ProxyUsr")).toString());
        m_downCtl->setPassword(settings.value(QStringLiteral("ProxyPass")).toString());
    } else {
        m_downCtl->setProxy(QString());
        m_downCtl->setUserName(QString());
        m_downCtl->setPassword(QString());
    }
}

void FrmUpdate::Form_Load()
{
    resize(m_imgBackDrop->size());

    m_tray = new QSystemTrayIcon(windowIcon(), this);
    m_tray->setObjectName(QStringLiteral("trayEntry"));
    m_tray->setToolTip(DownloadProgress::trayTip(m_targetPath));
    m_tray->setContextMenu(m_mnuTray);
    // Shown also without a notification area: the entry appears when a tray does.
    m_tray->show();

    if (m_mainWindow) {
        const QRect main = m_mainWindow->frameGeometry();
        move(main.left() + (main.width() - width()) / 2,
             main.top() + (main.height() - height()) / 2);
    } else if (const QScreen *screen = QGuiApplication::primaryScreen()) {
        const QRect area = screen->availableGeometry();
        move(area.left() + (area.width() - width()) / 2,
             area.top() + (area.height() - height()) / 2);
    }
    show();
    yield();
}

void FrmUpdate::DownCTL_AsyncReadProgress(const AsyncProp &prop)
{
    QPointer<FrmUpdate> self(this);
    // At the end the control fills in the received size when none was announced.
    if (prop.StatusCode == AsyncProp::BeginDownloadData
        || prop.StatusCode == AsyncProp::DownloadingData)
        m_announcedLength = prop.BytesMax;
    Progress(prop.BytesRead, prop.BytesMax, DownloadProgress::headerForStatus(prop.StatusCode));
    if (self)
        yield(2);
}

void FrmUpdate::Progress(qint64 bytesRead, qint64 bytesMax, const QString &header)
{
    if (!yield())
        return;
    m_chkPrg->setVisible(true);
    const DownloadProgress::View view = m_progress.report(bytesRead, bytesMax, header);
    m_lblHeader->setText(view.header);
    m_lblTime->setText(view.timeLine);
    if (view.caption)
        m_chkPrg->setText(*view.caption);
    if (!yield(4))
        return;
    // The bar's container is 100 units wide.
    m_chkPrg->resize(view.barUnits * m_barFrame->width() / 100, m_chkPrg->height());
}

void FrmUpdate::DownCTL_StateChanged(qint16 state)
{
    if (const std::optional<QString> text = DownloadProgress::headerForState(state))
        m_lblHeader->setText(*text);
    yield(2);
}

void FrmUpdate::DownCTL_DownloadComplete()
{
    // Closed while the file was being written: the download is over and nothing is installed.
    if (m_closed)
        return;
    DownloadedUpdate update(m_receivedPath, m_targetPath);
    if (!update.install(m_expectedSha256, m_announcedLength)) {
        m_log.WriteLog(QStringLiteral("发生错误 : ") + update.errorString());
        close();
        return;
    }
    if (!QProcess::startDetached(m_targetPath, {}, QFileInfo(m_targetPath).absolutePath())) {
        // The control reports this as its own failure, and the error handler closes.
        m_downCtl->reportHandlerFailure();
        return;
    }
    close();
}

void FrmUpdate::DownCTL_DownloadError(const QString &error)
{
    m_log.WriteLog(QStringLiteral("发生错误 : ") + error);
    close();
}

void FrmUpdate::closeEvent(QCloseEvent *event)
{
    event->accept();
    // Closed once already: its deletion may be pending, so nothing may yield here again.
    if (m_closed)
        return;
    m_closed = true;
    if (m_tray) {
        m_tray->hide();
        m_tray->deleteLater();
        m_tray = nullptr;
    }
    m_downCtl->Cancel();
    // The read goes with the window: nothing of it arrives or is written any more.
    m_downCtl->CancelAsyncRead();
    QFile::remove(m_receivedPath);
    yield(2);
}

bool FrmUpdate::eventFilter(QObject *watched, QEvent *event)
{
    if (event->type() != QEvent::MouseButtonPress)
        return QWidget::eventFilter(watched, event);
    const auto *mouse = static_cast<QMouseEvent *>(event);
    if (mouse->button() != Qt::LeftButton)
        return QWidget::eventFilter(watched, event);
    if (watched == m_imgClose) {
        close();
        return true;
    }
    if (watched == m_imgMin) {
        putAway();
        return true;
    }
    if (watched == m_imgBackDrop || watched == m_lblCaption) {
        // The window manager moves the window with the mouse, as a drag on a caption does.
        if (QWindow *window = windowHandle())
            window->startSystemMove();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}
