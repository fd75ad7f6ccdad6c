#pragma once

#include <QApplication>

#include <exception>

// Shows an error that nobody else caught in an error box with its message, nothing else;
// the program goes on.
void AppEventsException(const std::exception &error);

// Qt's event loop does not carry exceptions: every event goes through notify(), which hands
// an error escaping a handler to AppEventsException.
class TApplication final : public QApplication
{
    Q_OBJECT

public:
    TApplication(int &argc, char **argv);
    Q_DISABLE_COPY_MOVE(TApplication)

    bool notify(QObject *receiver, QEvent *event) override;
};
