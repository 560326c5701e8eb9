#include "frmadd.h"

#include "engineclient.h"

#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

FrmAdd::FrmAdd(EngineClient &client, QWidget *parent) : QDialog(parent), m_client(client)
{
    setObjectName(QStringLiteral("FrmAdd"));
    setWindowTitle(QStringLiteral("添加设备"));
    setMinimumWidth(320);
    auto *frame = new QGroupBox(QStringLiteral("添加设备"), this);
    frame->setObjectName(QStringLiteral("Frame1"));
    m_text1 = new QLineEdit(QStringLiteral("1"), frame);
    m_text1->setObjectName(QStringLiteral("Text1"));
    m_text2 = new QLineEdit(QStringLiteral("9600"), frame);
    m_text2->setObjectName(QStringLiteral("Text2"));
    auto *grid = new QGridLayout(frame);
    grid->addWidget(new QLabel(QStringLiteral("端口："), frame), 0, 0);
    grid->addWidget(m_text1, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("速率："), frame), 1, 0);
    grid->addWidget(m_text2, 1, 1);

    m_command1 = new QPushButton(QStringLiteral("确定"), this);
    m_command1->setObjectName(QStringLiteral("Command1"));
    m_command1->setDefault(true);
    m_command2 = new QPushButton(QStringLiteral("取消"), this);
    m_command2->setObjectName(QStringLiteral("Command2"));
    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_command1);
    buttons->addWidget(m_command2);

    auto *layout = new QVBoxLayout(this);
    layout->addWidget(frame);
    layout->addLayout(buttons);
    connect(m_command1, &QPushButton::clicked, this, &FrmAdd::Command1_Click);
    connect(m_command2, &QPushButton::clicked, this, &QDialog::close);
}

void FrmAdd::Command1_Click()
{
    m_client.addDevice(m_text1->text(), m_text2->text());
}
