#include "frmtest.h"

#include "engineclient.h"
#include "testmsg/testcomposer.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

FrmTest::FrmTest(EngineClient &client, QWidget *parent) : QDialog(parent), m_client(client)
{
    setObjectName(QStringLiteral("FrmTest"));
    setWindowTitle(QStringLiteral("短信测试"));
    auto *title = new QLabel(QStringLiteral("  短信测试"), this);
    QFont big = title->font();
    big.setPointSizeF(big.pointSizeF() * 1.4);
    big.setBold(true);
    title->setFont(big);

    m_text2 = new QLineEdit(this);
    m_text2->setObjectName(QStringLiteral("Text2"));
    m_text2->setReadOnly(true);
    m_text2->setFrame(false);
    m_text1 = new QPlainTextEdit(presetNumber(), this);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_label2 = new QLabel(this);
    m_label2->setObjectName(QStringLiteral("Label2"));
    m_text3 = new QPlainTextEdit(QStringLiteral("测试短信"), this);
    m_text3->setObjectName(QStringLiteral("Text3"));
    auto *hint =
            new QLabel(QStringLiteral("支持普通短信（160个字母数字或70中文混）及超长短信"), this);
    hint->setObjectName(QStringLiteral("Label3"));
    hint->setWordWrap(true);
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);
    m_command2 = new QPushButton(QStringLiteral("发 送"), this);
    m_command2->setObjectName(QStringLiteral("Command2"));
    m_command3 = new QPushButton(QStringLiteral("取 消"), this);
    m_command3->setObjectName(QStringLiteral("Command3"));

    layOut(title, hint);
    connectControls();
}

void FrmTest::layOut(QLabel *title, QLabel *hint)
{
    auto *columns = new QGridLayout;
    columns->addWidget(m_text2, 0, 0);
    columns->addWidget(m_label2, 0, 1);
    columns->addWidget(m_text1, 1, 0);
    columns->addWidget(m_text3, 1, 1);
    columns->setColumnStretch(1, 2);
    columns->setColumnStretch(0, 1);
    auto *buttons = new QHBoxLayout;
    buttons->addWidget(m_progress, 1);
    buttons->addWidget(m_command2);
    buttons->addWidget(m_command3);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(title);
    layout->addLayout(columns, 1);
    layout->addWidget(hint);
    layout->addLayout(buttons);
    resize(560, 360);
}

void FrmTest::connectControls()
{
    const auto countNumbers = [this] {
        m_text2->setText(TestComposer::numberListCaption(m_text1->toPlainText()));
    };
    const auto countCharacters = [this] {
        m_label2->setText(TestComposer::contentCaption(m_text3->toPlainText()));
    };
    connect(m_text1, &QPlainTextEdit::textChanged, this, countNumbers);
    connect(m_text3, &QPlainTextEdit::textChanged, this, countCharacters);
    countNumbers();
    countCharacters();
    connect(&m_client, &EngineClient::testProgress, m_progress, &QProgressBar::setValue);
    connect(m_command2, &QPushButton::clicked, this, &FrmTest::Command2_Click);
    connect(m_command3, &QPushButton::clicked, this, &QDialog::close);
}

void FrmTest::Command2_Click()
{
    m_client.sendTestMessages(m_text1->toPlainText(), m_text3->toPlainText());
}
