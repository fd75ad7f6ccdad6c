#include "RunOwner.h"

using Platform::MessageKind;

TRunOwner::TRunOwner(ITftpHost &host, QObject *parent) : QObject(parent), m_host(host)
{
}

TRunOwner::~TRunOwner()
{
    for (const Watched &watched : m_runs)
        watched.run->interrupt();
    m_runs.clear();
}

void TRunOwner::addDisplay(IRunDisplay *display)
{
    m_displays << display;
}

template<typename Call>
void TRunOwner::toDisplays(Call call)
{
    for (IRunDisplay *display : std::as_const(m_displays))
        call(*display);
}

void TRunOwner::start(const QList<TSwitchRunSettings> &switches)
{
    Q_ASSERT(m_runs.empty());
    m_runs.reserve(size_t(switches.size()));
    for (const TSwitchRunSettings &settings : switches) {
        m_runs.push_back({std::make_unique<TSwitchRun>(settings, m_host),
                          std::make_unique<TTransferWatch>(m_host, settings.SwitchAddress)});
        show(m_runs.back());
    }
    m_running = int(m_runs.size());
    for (const Watched &watched : m_runs)
        watched.run->start();
}

// Each run emits on its own thread; this object lives on the main thread, so every call
// below arrives queued, in the order the run made it. Transfers come from the host's journal,
// which sees the ones the run does not wait for too.
void TRunOwner::show(Watched &watched)
{
    TSwitchRun *run = watched.run.get();
    connect(watched.transfers.get(), &TTransferWatch::transferProgress, this, [this](const TTransferProgress &progress) {
        toDisplays([&](IRunDisplay &d) { d.transferProgress(progress); });
    });
    connect(run, &TSwitchRun::phaseStarted, this,
            [this](TRunPhase phase) { toDisplays([&](IRunDisplay &d) { d.phaseStarted(phase); }); });
    connect(run, &TSwitchRun::stepCountChanged, this,
            [this](int count) { toDisplays([&](IRunDisplay &d) { d.stepCountChanged(count); }); });
    connect(run, &TSwitchRun::stepStarted, this, [this](int position, const QString &text) {
        toDisplays([&](IRunDisplay &d) { d.stepStarted(position, text); });
    });
    connect(run, &TSwitchRun::progressLine, this,
            [this](const QString &text) { toDisplays([&](IRunDisplay &d) { d.progressLine(text); }); });
    connect(run, &TSwitchRun::statusRead, this, [this](const QString &status, int step) {
        toDisplays([&](IRunDisplay &d) { d.statusRead(status, step); });
    });
    connect(run, &TSwitchRun::waitStarted, this,
            [this](const QString &text, int ms) { toDisplays([&](IRunDisplay &d) { d.waitStarted(text, ms); }); });
    connect(run, &TSwitchRun::message, this, [this](MessageKind kind, const QString &text) {
        toDisplays([&](IRunDisplay &d) { d.message(kind, text); });
    });
    connect(run, &TSwitchRun::estimateChanged, this,
            [this](qint64 ms) { toDisplays([&](IRunDisplay &d) { d.estimateChanged(ms); }); });
    connect(run, &TSwitchRun::inventoryTaken, this, [this](const TInventorySummary &inventory) {
        toDisplays([&](IRunDisplay &d) { d.inventoryTaken(inventory); });
    });
    connect(run, &TSwitchRun::ended, this, [this, &watched](const TSwitchRunEnd &end) { runEnded(watched, end); });
}

void TRunOwner::runEnded(Watched &watched, const TSwitchRunEnd &end)
{
    watched.transfers->poll();
    watched.transfers.reset();
    toDisplays([&](IRunDisplay &d) { d.finished(end); });
    m_exitStatus = std::max(m_exitStatus, end.ExitStatus);
    if (--m_running == 0)
        emit allEnded(m_exitStatus);
}

void TRunOwner::stop(int count)
{
    if (m_running == 0)
        return;
    if (count == 1) {
        toDisplays([](IRunDisplay &d) {
            d.message(MessageKind::Warning, QStringLiteral("Interrupted: the run stops at its next wait, says in what "
                                                           "state it leaves the switch and saves its log."));
        });
        for (const Watched &watched : m_runs)
            watched.run->interrupt();
        return;
    }
    toDisplays([](IRunDisplay &d) {
        d.message(MessageKind::Warning,
                  QStringLiteral("Still stopping: the log is being saved; tessaro-run ends by itself in a moment."));
    });
}
