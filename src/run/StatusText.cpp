#include "run/StatusText.h"

std::optional<int> statusStep(const QString &status)
{
    const QString marker = QStringLiteral("Step ");
    const qsizetype step = status.indexOf(marker);
    const qsizetype colon = status.indexOf(u':');
    if (step < 0 || colon < step)
        return std::nullopt;
    const qsizetype start = step + marker.size();
    bool ok = false;
    const int number = status.mid(start, colon - start).trimmed().toInt(&ok);
    return ok ? number : 0;
}
