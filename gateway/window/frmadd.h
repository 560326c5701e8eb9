#pragma once

#include <QDialog>

class EngineClient;
class QLineEdit;
class QPushButton;

// Adds one device by hand; stays open for more until cancelled.
class FrmAdd : public QDialog
{
    Q_OBJECT

public:
    explicit FrmAdd(EngineClient &client, QWidget *parent = nullptr);

    QLineEdit *text1() const { return m_text1; }
    QLineEdit *text2() const { return m_text2; }
    QPushButton *command1() const { return m_command1; }
    QPushButton *command2() const { return m_command2; }

    void Command1_Click();

private:
    EngineClient &m_client;
    QLineEdit *m_text1;
    QLineEdit *m_text2;
    QPushButton *m_command1;
    QPushButton *m_command2;
};
