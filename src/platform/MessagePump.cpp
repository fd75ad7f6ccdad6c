#include "platform/MessagePump.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>

bool PumpOneMessage()
{
    QAbstractEventDispatcher *dispatcher = QAbstractEventDispatcher::instance();
    return dispatcher && dispatcher->processEvents(QEventLoop::AllEvents);
}
