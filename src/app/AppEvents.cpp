#include "app/AppEvents.h"

#include "platform/Dialogs.h"
#include "platform/Exceptions.h"

void AppEventsException(const std::exception &error)
{
    const auto *own = dynamic_cast<const Exception *>(&error);
    Platform::showMessage(Platform::MessageKind::Error, own ? own->message() : QString::fromLocal8Bit(error.what()));
}

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv)
{
}

bool TApplication::notify(QObject *receiver, QEvent *event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const std::exception &error) {
        AppEventsException(error);
    }
    // The event reached its handler; the error it raised has been dealt with.
    return true;
}
