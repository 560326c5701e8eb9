#include "historyfile.h"

#include "model/enginehistory.h"

#include <QFile>
#include <QSaveFile>

HistoryFile::HistoryFile(EngineHistory &history, QString path)
    : m_history(history), m_path(std::move(path))
{
    QFile file(m_path);
    // A file of another layout or cut short is left alone and replaced at the next save.
    if (file.open(QIODevice::ReadOnly))
        m_history.restore(file.readAll());
    m_timer.setInterval(60000);
    connect(&m_timer, &QTimer::timeout, this, &HistoryFile::save);
    m_timer.start();
}

HistoryFile::~HistoryFile()
{
    save();
}

bool HistoryFile::save()
{
    QSaveFile file(m_path);
    return file.open(QIODevice::WriteOnly) && file.write(m_history.save()) >= 0 && file.commit();
}
