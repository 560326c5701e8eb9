#pragma once

#include "devicestatus.h"

#include <QString>

// One row of the device list as the operator sees it: the texts made from a device's status.
struct DeviceRow
{
    enum Column { ColPort, ColRate, ColModel, ColSent, ColReceived, ColStatus, ColumnCount };
    static QString heading(int column);

    QString portText; // "Com" + port
    QString rate;
    QString model;
    QString sent; // "successes/results"
    QString received;
    QString status;
    int image = ImageDisconnected;
    // Signal, registration and operator for the state cell's tooltip and the status page; empty
    // while nothing is known.
    QString health;

    static DeviceRow of(const DeviceStatus &device);
    // Makes again only the texts of what changed from before to after: a device changes
    // several times a message, mostly in one value.
    void follow(const DeviceStatus &before, const DeviceStatus &after);
    // The state cell's text for a link state.
    static QString linkText(LinkState link);
    // The three health values in one text, one per line.
    static QString healthText(const DeviceStatus &device);

    static constexpr int ImageConnected = 2;
    static constexpr int ImageDisconnected = 3;
};
