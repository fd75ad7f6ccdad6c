#pragma once

#include <QObject>

class QSocketNotifier;

// SIGINT (Ctrl-C), SIGTERM and SIGHUP as a Qt signal on the main thread: the handler only writes a
// byte to a pipe, which the event loop reads. One instance per program, kept to its end: once
// it goes, the three signals are ignored.
class TStopSignals final : public QObject
{
    Q_OBJECT

public:
    explicit TStopSignals(QObject *parent = nullptr);
    ~TStopSignals() override;
    Q_DISABLE_COPY_MOVE(TStopSignals)

    // Whether the handlers are in place; false when the pipe could not be made.
    bool installed() const { return m_notifier != nullptr; }

signals:
    // Once per signal received: 1 for the first, 2 for the second...
    void stopRequested(int count);

private:
    void readSignals();

    QSocketNotifier *m_notifier = nullptr;
    int m_count = 0;
};
