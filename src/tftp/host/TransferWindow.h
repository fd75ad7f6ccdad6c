#pragma once

#include "platform/AutoResetEvent.h"

#include <QFrame>
#include <QPointer>
#include <QProgressBar>
#include <QThread>

class QLabel;
class TProgressStream;
class TfrmTransfer;

// Follows a transfer's stream from a thread of its own and has the window refresh on the
// user-interface thread after each burst of progress. It never blocks without also watching
// its stop event, so the window can stop and join it at any time.
class TWaitThread final : public QThread
{
    Q_OBJECT

public:
    TWaitThread(TfrmTransfer *window, TProgressStream *stream);
    ~TWaitThread() override;
    Q_DISABLE_COPY_MOVE(TWaitThread)

    TProgressStream *Stream() const { return m_stream; }

protected:
    void run() override;

private:
    TfrmTransfer *m_window;
    TProgressStream *m_stream;
    Platform::AutoResetEvent m_stop;
    Platform::AutoResetEvent m_refreshed;
};

// The progress window of one transfer, a tool window of its owner titled with the transfer:
// a bar, the byte rate, and the same progress mirrored on the wizard's run page when one is
// set.
class TfrmTransfer final : public QFrame
{
    Q_OBJECT

public:
    // maximum is the stream's size at the grant: the file's size for a read, 0 for a write.
    TfrmTransfer(QWidget *parent, const QString &caption, TProgressStream *stream, qint64 maximum,
                 QProgressBar *externalProgressBar);
    ~TfrmTransfer() override;

    QProgressBar *prgTransfer;
    QLabel *lblByteRate;
    QPointer<QProgressBar> ExternalProgressBar;
    quint32 StartTick;

    TWaitThread *WaitThread() const { return m_waitThread; }
    void UpdateProgress();

private:
    TWaitThread *m_waitThread;
};
