#pragma once

#include <QObject>

class Gateway;

// Starting and stopping the service, and the supervision that brings every device on line and
// retries the ones that are not, once a minute while the service runs.
class Service : public QObject
{
    Q_OBJECT

public:
    explicit Service(Gateway &gateway);

    void mnuQDFW_Click();
    void mnuGXFW_Click();
    void tm_md_Timer();
    void OpenDevice(short d);

private:
    Gateway &m_gw;
};
