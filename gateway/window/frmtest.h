#pragma once

#include <QDialog>

class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class EngineClient;

// Queues one test text for a list of numbers; modeless, usable whether or not the service runs.
class FrmTest : public QDialog
{
    Q_OBJECT

public:
    // The number shown in the list when the window opens.
    static QString presetNumber() { return QStringLiteral("13800138000"); }

    FrmTest(EngineClient &client, QWidget *parent = nullptr);

    QPlainTextEdit *text1() const { return m_text1; }
    QLineEdit *text2() const { return m_text2; }
    QPlainTextEdit *text3() const { return m_text3; }
    QLabel *label2() const { return m_label2; }
    QPushButton *command2() const { return m_command2; }
    QProgressBar *progressBar1() const { return m_progress; }

    void Command2_Click();

private:
    void layOut(QLabel *title, QLabel *hint);
    void connectControls();
    EngineClient &m_client;
    QPlainTextEdit *m_text1;
    QLineEdit *m_text2;
    QPlainTextEdit *m_text3;
    QLabel *m_label2;
    QPushButton *m_command2;
    QPushButton *m_command3;
    QProgressBar *m_progress;
};
