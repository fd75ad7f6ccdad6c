#pragma once

#include <QFile>
#include <QJsonObject>
#include <QString>

// What the switch keeps for tests to read: files written whole (slot images, the start-up
// configuration, what an upload sent) and one JSON object per line in events.jsonl, in the
// order things happened. Without a folder, nothing is kept.
class StateFolder final
{
public:
    explicit StateFolder(const QString &path);
    Q_DISABLE_COPY_MOVE(StateFolder)

    void record(const QJsonObject &event);
    void write(const QString &name, const QByteArray &bytes);

private:
    QString m_path;
    QFile m_events;
};
