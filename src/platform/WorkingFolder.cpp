#include "platform/WorkingFolder.h"

#include <QDir>

QString WorkingFolder()
{
    QString temp = QDir::tempPath();
    while (temp.endsWith(QLatin1Char('/')))
        temp.chop(1);
    return temp + QStringLiteral("/Quillo/");
}
