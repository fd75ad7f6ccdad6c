#pragma once

#include <QApplication>
#include <QStringList>
#include <QWidget>

// The top-level windows still alive, as "class:objectName". A GUI test checks after each
// case that nothing is left: a window nobody deletes is a leak. Deferred deletions run first.
inline QStringList leakedWindows()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QStringList names;
    for (const QWidget *window : QApplication::topLevelWidgets())
        names << QLatin1String(window->metaObject()->className()) + QLatin1Char(':') + window->objectName();
    return names;
}
