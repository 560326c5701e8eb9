#pragma once

#include <QDialog>

class EngineClient;
class QCheckBox;
class QComboBox;
class QProgressBar;
class QPushButton;

// Searches the serial ports for modems, over a chosen range or over every port the system lists.
class FrmSearch : public QDialog
{
    Q_OBJECT

public:
    FrmSearch(EngineClient &client, QWidget *parent = nullptr);

    QCheckBox *check1() const { return m_check1; }
    QComboBox *combo1() const { return m_combo1; }
    QComboBox *combo2() const { return m_combo2; }
    QPushButton *command1() const { return m_command1; }
    QProgressBar *progressBar1() const { return m_progress; }

    void Command1_Click();

private:
    EngineClient &m_client;
    QCheckBox *m_check1;
    QComboBox *m_combo1;
    QComboBox *m_combo2;
    QPushButton *m_command1;
    QPushButton *m_command2;
    QProgressBar *m_progress;
};
