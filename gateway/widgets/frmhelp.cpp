#include "frmhelp.h"

#include "common/contact.h"
#include "olecolor.h"
#include "windowskin.h"

#include <version.h>

#include <QLabel>
#include <QPushButton>
#include <QStringList>

namespace {

constexpr int TwipsPerPixel = 15;

constexpr QRect twips(int left, int top, int width, int height)
{
    return {left / TwipsPerPixel, top / TwipsPerPixel, width / TwipsPerPixel,
            height / TwipsPerPixel};
}

// Where the design puts things; the pages grow when the desktop's font needs more room.
constexpr QRect PageRect = twips(240, 240, 4575, 2295);
constexpr QRect PageButtonRect = twips(2160, 2640, 1215, 375);
constexpr QRect CloseButtonRect = twips(3600, 2640, 1215, 375);
constexpr int Margin = 240 / TwipsPerPixel;

// Lines of a page; those marked as paragraphs wrap at the page's width, the others keep their
// shape and widen the page when they need to.
struct Line
{
    QString text;
    bool paragraph = false;
};

QList<Line> pageLines(int index)
{
    if (index == 0) {
        const QString title = QStringLiteral("%1 Ver %2.%3.%4")
                                      .arg(QString::fromUtf8(Contact::ProductTitle))
                                      .arg(VELMORA_VERSION_MAJOR)
                                      .arg(VELMORA_VERSION_MINOR)
                                      .arg(VELMORA_VERSION_PATCH);
        return {
                {QString()},
                {QStringLiteral("        ") + title},
                {QStringLiteral("\t For win98/me/2000/xp/2003")},
                {QStringLiteral("\t ") + QString(49, QLatin1Char('='))},
                {QStringLiteral("    %1是以数据库为接口的短信收发中间件，用户界面友好、简单易用。")
                         .arg(QString::fromUtf8(Contact::ProductTitle)),
                 true},
                {QString()},
                {QStringLiteral("系统介绍:本程序是通用的短信中间件服务，接口简单、容易学习；可同时"
                                "驱动多台短信猫并发收发，支持超长短信发送，收发高效，短信猫掉线后"
                                "自动重新连接。"),
                 true},
        };
    }
    return {
            {QStringLiteral("  ")},
            {QStringLiteral("   软件特点:")},
            {QStringLiteral("1>.自动搜索短信猫设备，支持断线重连.")},
            {QStringLiteral("2>.支持主流数据库：Oracle、Sql Server、MySql.")},
            {QStringLiteral("3>.支持各类标准短信猫及猫池，收发稳定、效率高.")},
            {QStringLiteral("4>.支持超长短信发送，支持接收短信自动转发.")},
            {QStringLiteral("5>.数据库接口表:SMS(发送队列表)、SMSRec(接收表).")},
            {QString(52, QLatin1Char(' ')) + QLatin1String(Contact::Web)},
            {QStringLiteral("开发：") + QString::fromUtf8(Contact::Developer)},
            {QStringLiteral("OICQ:%1  E-mail:%2")
                     .arg(QLatin1String(Contact::Messenger), QLatin1String(Contact::Mail))},
    };
}

} // namespace

QString FrmHelp::pageText(int index)
{
    QStringList lines;
    for (const Line &line : pageLines(index))
        lines.append(line.text);
    return lines.join(QLatin1Char('\n'));
}

FrmHelp::FrmHelp(QWidget *parent) : QDialog(parent)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("FrmHelp"));
    setWindowTitle(QStringLiteral("系统提示"));

    for (int i = 0; i < 2; ++i) {
        m_pages[i] = new QLabel(pageText(i), this);
        m_pages[i]->setObjectName(QStringLiteral("LblLable%1").arg(i));
        m_pages[i]->setTextFormat(Qt::PlainText);
        m_pages[i]->setWordWrap(true);
        m_pages[i]->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        m_pages[i]->setAutoFillBackground(true);
    }
    m_pages[1]->hide();

    m_cmdNext = new QPushButton(QStringLiteral("下一页(&N)"), this);
    m_cmdNext->setObjectName(QStringLiteral("CmdNext"));
    m_cmdBack = new QPushButton(QStringLiteral("上一页(&B)"), this);
    m_cmdBack->setObjectName(QStringLiteral("CmdBack"));
    m_cmdBack->hide();
    m_cmdClose = new QPushButton(QStringLiteral("关闭(&C)"), this);
    m_cmdClose->setObjectName(QStringLiteral("CmdClose"));
    for (QPushButton *button : {m_cmdNext, m_cmdBack, m_cmdClose})
        button->setAutoDefault(false);

    connect(m_cmdNext, &QPushButton::clicked, this, &FrmHelp::CmdNext_Click);
    connect(m_cmdBack, &QPushButton::clicked, this, &FrmHelp::CmdBack_Click);
    connect(m_cmdClose, &QPushButton::clicked, this, &QWidget::close);

    WindowSkin::attach(this, QStringLiteral("WindowsXPC1"));

    // Light tan pages in the window-text colour of whatever look the window now has.
    const QColor text = OleColor::toColor(OleColor::system(OleColor::WindowText), palette());
    for (QLabel *pageLabel : m_pages) {
        QPalette pal = pageLabel->palette();
        pal.setColor(QPalette::Window, QColor(236, 216, 164));
        pal.setColor(QPalette::WindowText, text);
        pageLabel->setPalette(pal);
    }
    arrange();
}

int FrmHelp::currentPage() const
{
    return m_pages[1]->isVisibleTo(this) ? 1 : 0;
}

void FrmHelp::CmdNext_Click()
{
    m_pages[1]->show();
    m_pages[0]->hide();
    m_cmdNext->hide();
    m_cmdBack->show();
}

void FrmHelp::CmdBack_Click()
{
    m_pages[1]->hide();
    m_pages[0]->show();
    m_cmdBack->hide();
    m_cmdNext->show();
}

void FrmHelp::arrange()
{
    const QFontMetrics metrics = m_pages[0]->fontMetrics();
    const int frame = 2 * m_pages[0]->margin() + 4;
    int width = PageRect.width();
    for (int i = 0; i < 2; ++i) {
        for (const Line &line : pageLines(i)) {
            if (!line.paragraph) {
                const QRect bounds = metrics.boundingRect(QRect(), Qt::TextExpandTabs, line.text);
                width = std::max(width, bounds.width() + frame);
            }
        }
    }
    int height = PageRect.height();
    for (QLabel *pageLabel : m_pages)
        height = std::max(height, pageLabel->heightForWidth(width));
    const int grownDown = height - PageRect.height();
    const int grownRight = width - PageRect.width();

    for (QLabel *pageLabel : m_pages)
        pageLabel->setGeometry(PageRect.left(), PageRect.top(), width, height);

    // The buttons keep their places relative to the page's bottom-right corner.
    auto place = [&](QPushButton *button, const QRect &design) {
        const int w = std::max(design.width(), button->sizeHint().width());
        const int h = std::max(design.height(), button->sizeHint().height());
        button->setGeometry(design.left() + grownRight + design.width() - w,
                            design.top() + grownDown, w, h);
    };
    place(m_cmdNext, PageButtonRect);
    place(m_cmdBack, PageButtonRect);
    place(m_cmdClose, CloseButtonRect);

    const int right = std::max(PageRect.left() + width, m_cmdClose->geometry().right() + 1);
    const int bottom = m_cmdClose->geometry().bottom() + 1;
    setFixedSize(right + Margin, bottom + Margin);
}
