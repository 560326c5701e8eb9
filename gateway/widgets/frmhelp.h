#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

// The help window: two pages of notes shown one at a time in the same place, with one page
// button (next or back) visible at a time. Shown modeless; closing it discards it, so the next
// opening starts again on the first page.
class FrmHelp : public QDialog
{
    Q_OBJECT

public:
    explicit FrmHelp(QWidget *parent = nullptr);

    // 0 or 1: the page shown.
    int currentPage() const;
    QLabel *page(int index) const { return m_pages[index]; }

    static QString pageText(int index);

private:
    void CmdNext_Click();
    void CmdBack_Click();
    void arrange();

    QLabel *m_pages[2] = {nullptr, nullptr};
    QPushButton *m_cmdNext = nullptr;
    QPushButton *m_cmdBack = nullptr;
    QPushButton *m_cmdClose = nullptr;
};
