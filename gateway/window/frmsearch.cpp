#include "frmsearch.h"

#include "engineclient.h"

#include <QCheckBox>
#include <QComboBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

FrmSearch::FrmSearch(EngineClient &client, QWidget *parent) : QDialog(parent), m_client(client)
{
    setObjectName(QStringLiteral("FrmSearch"));
    setWindowTitle(QStringLiteral("设备搜索"));
    m_check1 = new QCheckBox(QStringLiteral("指定串口范围："), this);
    m_check1->setObjectName(QStringLiteral("Check1"));
    m_combo1 = new QComboBox(this);
    m_combo1->setObjectName(QStringLiteral("Combo1"));
    m_combo2 = new QComboBox(this);
    m_combo2->setObjectName(QStringLiteral("Combo2"));
    for (int i = 1; i <= 128; ++i) {
        m_combo1->addItem(QStringLiteral("com%1").arg(i));
        m_combo2->addItem(QStringLiteral("com%1").arg(i));
    }
    m_combo1->setCurrentIndex(0);
    m_combo2->setCurrentIndex(7);
    m_combo1->setEnabled(false);
    m_combo2->setEnabled(false);
    m_command1 = new QPushButton(QStringLiteral("搜索"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command2 = new QPushButton(QStringLiteral("关闭"), this);
    m_command2->setObjectName(QStringLiteral("Command2"));
    m_progress = new QProgressBar(this);
    m_progress->setObjectName(QStringLiteral("ProgressBar1"));
    m_progress->setRange(0, 100);
    m_progress->setValue(0);

    auto *range = new QHBoxLayout;
    range->addWidget(m_check1);
    range->addWidget(new QLabel(QStringLiteral("从"), this));
    range->addWidget(m_combo1);
    range->addWidget(new QLabel(QStringLiteral("到"), this));
    range->addWidget(m_combo2);
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_command1);
    buttons->addWidget(m_command2);
    auto *layout = new QVBoxLayout(this);
    layout->addLayout(range);
    layout->addWidget(m_progress);
    layout->addLayout(buttons);

    connect(m_check1, &QCheckBox::toggled, this, [this](bool ticked) {
        m_combo1->setEnabled(ticked);
        m_combo2->setEnabled(ticked);
    });
    connect(m_command1, &QPushButton::clicked, this, &FrmSearch::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &QDialog::close);
    connect(&m_client, &EngineClient::searchProgress, m_progress, &QProgressBar::setValue);
    connect(&m_client, &EngineClient::searchFinished, m_command1,
            [this] { m_command1->setEnabled(true); });
}

void FrmSearch::Command1_Click()
{
    m_command1->setEnabled(false);
    m_client.searchDevices(m_check1->isChecked(), m_combo1->currentText(), m_combo2->currentText());
}
