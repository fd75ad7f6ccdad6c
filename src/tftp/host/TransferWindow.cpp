#include "tftp/host/TransferWindow.h"

#include "platform/Clock.h"
#include "tftp/ProgressStream.h"

#include <QLabel>
#include <QProgressBar>
#include <QVBoxLayout>

#include <cmath>

TWaitThread::TWaitThread(TfrmTransfer *window, TProgressStream *stream) : m_window(window), m_stream(stream) {}

TWaitThread::~TWaitThread()
{
    m_stop.set();
    wait();
}

void TWaitThread::run()
{
    using Platform::AutoResetEvent;
    while (AutoResetEvent::waitAny({&m_stream->Progressed(), &m_stop}) == 0) {
        // Queued to the window's thread; Qt drops it if the window goes first.
        QMetaObject::invokeMethod(m_window, [this] {
            m_window->UpdateProgress();
            m_refreshed.set();
        }, Qt::QueuedConnection);
        if (AutoResetEvent::waitAny({&m_refreshed, &m_stop}) != 0)
            return;
    }
}

TfrmTransfer::TfrmTransfer(QWidget *parent, const QString &caption, TProgressStream *stream, qint64 maximum,
                           QProgressBar *externalProgressBar)
    : QFrame(parent, Qt::Tool | Qt::WindowDoesNotAcceptFocus), prgTransfer(new QProgressBar(this)),
      lblByteRate(new QLabel(this)), ExternalProgressBar(externalProgressBar), StartTick(Platform::tickCount()),
      m_waitThread(new TWaitThread(this, stream))
{
    setObjectName(QStringLiteral("frmTransfer"));
    setFrameShape(QFrame::Panel);
    setFrameShadow(QFrame::Raised);
    setAutoFillBackground(true);
    setFixedSize(261, 94);
    // Neither shown nor clicked does it take the focus: the operator's keys stay with the
    // wizard, and the wizard's message boxes keep the main window, not a window that goes
    // when its transfer ends, as their owner.
    setAttribute(Qt::WA_ShowWithoutActivating);

    prgTransfer->setObjectName(QStringLiteral("prgTransfer"));
    prgTransfer->setRange(0, int(maximum));
    prgTransfer->setValue(0);
    prgTransfer->setTextVisible(false);
    auto *rateCaption = new QLabel(QStringLiteral("Bytes/Sec:"), this);
    lblByteRate->setObjectName(QStringLiteral("lblByteRate"));
    QFont bold = lblByteRate->font();
    bold.setBold(true);
    lblByteRate->setFont(bold);

    auto *rate = new QHBoxLayout;
    rate->addWidget(rateCaption);
    rate->addWidget(lblByteRate, 1);
    auto *layout = new QVBoxLayout(this);
    layout->addWidget(prgTransfer);
    layout->addLayout(rate);

    setWindowTitle(caption);
    setAccessibleName(caption);
    m_waitThread->start();
}

TfrmTransfer::~TfrmTransfer()
{
    delete m_waitThread;
}

void TfrmTransfer::UpdateProgress()
{
    TProgressStream *stream = m_waitThread->Stream();
    const qint64 total = stream->TotalBytes();
    prgTransfer->setValue(int(std::min<qint64>(total, prgTransfer->maximum())));
    prgTransfer->repaint();
    if (ExternalProgressBar) {
        ExternalProgressBar->setMaximum(prgTransfer->maximum());
        ExternalProgressBar->setValue(int(std::min<qint64>(total, ExternalProgressBar->maximum())));
        ExternalProgressBar->repaint();
    }
    const quint32 now = Platform::tickCount();
    if (now == StartTick)
        --StartTick;
    lblByteRate->setText(QString::number(std::llround(double(total) / double(quint32(now - StartTick)) * 1000.0)));
}
