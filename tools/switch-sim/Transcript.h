#pragma once

#include <QFile>

// The bytes the switch received, appended in arrival order, so that tests can assert on
// exactly what the wizard typed.
class Transcript final
{
public:
    explicit Transcript(const QString &path);
    Q_DISABLE_COPY_MOVE(Transcript)

    void append(const QByteArray &bytes);

private:
    QFile m_file;
};
