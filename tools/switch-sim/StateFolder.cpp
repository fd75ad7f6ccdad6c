#include "StateFolder.h"

#include <QDir>
#include <QJsonDocument>
#include <QSaveFile>

StateFolder::StateFolder(const QString &path) : m_path(path)
{
    if (path.isEmpty())
        return;
    m_events.setFileName(QDir(path).filePath(QStringLiteral("events.jsonl")));
    m_events.open(QIODevice::WriteOnly | QIODevice::Truncate | QIODevice::Unbuffered);
}

void StateFolder::record(const QJsonObject &event)
{
    if (m_events.isOpen())
        m_events.write(QJsonDocument(event).toJson(QJsonDocument::Compact) + '\n');
}

// Whole or not at all, so a reader never sees half an image.
void StateFolder::write(const QString &name, const QByteArray &bytes)
{
    if (m_path.isEmpty())
        return;
    QSaveFile file(QDir(m_path).filePath(name));
    if (file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size())
        file.commit();
}
