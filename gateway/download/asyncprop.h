#pragma once

#include <QByteArray>
#include <QMetaType>
#include <QString>

// One progress notification of an asynchronous read, and on completion its data.
struct AsyncProp
{
    // The URL-download status codes of the platform the gateway came from (BINDSTATUS).
    enum Status {
        FindingResource = 1,
        Connecting = 2,
        BeginDownloadData = 4,
        DownloadingData = 5,
        EndDownloadData = 6,
        SendingRequest = 11,
        MimeTypeAvailable = 13,
    };
    // How the data is delivered.
    enum Type { Picture = 0, File = 1, ByteArray = 2 };

    int StatusCode = 0;
    qint64 BytesRead = 0;
    qint64 BytesMax = 0; // 0 when the size was not announced
    int AsyncType = ByteArray;
    QString PropertyName;
    QString Target;
    QString StatusText; // the content type with MimeTypeAvailable
    QByteArray Value;   // the received bytes, on completion
};

Q_DECLARE_METATYPE(AsyncProp)
