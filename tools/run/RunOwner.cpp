#include "RunOwner.h"

#include "RunOptions.h"

using Platform::MessageKind;

TRunOwner::TRunOwner(ITftpHost &host, DisplayMaker makeDisplays, QObject *parent)
    : QObject(parent), m_host(host), m_makeDisplays(std::move(makeDisplays))
{
}

TRunOwner::~TRunOwner()
{
    for (const auto &watched : m_switches) {
        if (watched->run)
            watched->run->interrupt();
    }
    m_switches.clear();
}

template<typename Call>
void TRunOwner::toDisplays(Watched &watched, Call call)
{
    for (const auto &display : watched.displays)
        call(*display);
}

void TRunOwner::start(const QList<TSwitchRunSettings> &switches, int parallel)
{
    Q_ASSERT(m_switches.empty() && parallel > 0);
    m_parallel = parallel;
    for (const TSwitchRunSettings &settings : switches) {
        m_switches.push_back(std::make_unique<Watched>());
        m_switches.back()->settings = settings;
    }
    while (m_running < m_parallel && m_next < m_switches.size())
        startNext();
}

void TRunOwner::startNext()
{
    Watched &watched = *m_switches[m_next++];
    watched.displays = m_makeDisplays(watched.settings);
    watched.run = std::make_unique<TSwitchRun>(watched.settings, m_host);
    watched.transfers = std::make_unique<TTransferWatch>(m_host, watched.settings.SwitchAddress);
    show(watched);
    ++m_running;
    watched.clock.start();
    watched.run->start();
}

// Each run emits on its own thread; this object lives on the main thread, so every call
// below arrives queued, in the order the run made it. Transfers come from the host's journal,
// which sees the ones the run does not wait for too.
void TRunOwner::show(Watched &watched)
{
    TSwitchRun *run = watched.run.get();
    Watched *w = &watched;
    connect(watched.transfers.get(), &TTransferWatch::transferProgress, this, [this, w](const TTransferProgress &progress) {
        toDisplays(*w, [&](IRunDisplay &d) { d.transferProgress(progress); });
    });
    connect(run, &TSwitchRun::phaseStarted, this,
            [this, w](TRunPhase phase) { toDisplays(*w, [&](IRunDisplay &d) { d.phaseStarted(phase); }); });
    connect(run, &TSwitchRun::stepCountChanged, this,
            [this, w](int count) { toDisplays(*w, [&](IRunDisplay &d) { d.stepCountChanged(count); }); });
    connect(run, &TSwitchRun::stepStarted, this, [this, w](int position, const QString &text) {
        toDisplays(*w, [&](IRunDisplay &d) { d.stepStarted(position, text); });
    });
    connect(run, &TSwitchRun::progressLine, this,
            [this, w](const QString &text) { toDisplays(*w, [&](IRunDisplay &d) { d.progressLine(text); }); });
    connect(run, &TSwitchRun::statusRead, this, [this, w](const QString &status, int step) {
        toDisplays(*w, [&](IRunDisplay &d) { d.statusRead(status, step); });
    });
    connect(run, &TSwitchRun::waitStarted, this, [this, w](const QString &text, int ms) {
        toDisplays(*w, [&](IRunDisplay &d) { d.waitStarted(text, ms); });
    });
    connect(run, &TSwitchRun::message, this, [this, w](MessageKind kind, const QString &text) {
        toDisplays(*w, [&](IRunDisplay &d) { d.message(kind, text); });
    });
    connect(run, &TSwitchRun::estimateChanged, this,
            [this, w](qint64 ms) { toDisplays(*w, [&](IRunDisplay &d) { d.estimateChanged(ms); }); });
    connect(run, &TSwitchRun::inventoryTaken, this, [this, w](const TInventorySummary &inventory) {
        toDisplays(*w, [&](IRunDisplay &d) { d.inventoryTaken(inventory); });
    });
    connect(run, &TSwitchRun::ended, this, [this, w](const TSwitchRunEnd &end) { runEnded(*w, end); });
}

void TRunOwner::runEnded(Watched &watched, const TSwitchRunEnd &end)
{
    watched.transfers->poll();
    watched.transfers.reset();
    --m_running;
    ended(watched, end, std::max<qint64>(watched.clock.elapsed(), 1));
    if (!m_stopped && m_next < m_switches.size())
        startNext();
}

void TRunOwner::ended(Watched &watched, const TSwitchRunEnd &end, qint64 durationMs)
{
    watched.outcome = TSwitchOutcome{end, durationMs};
    toDisplays(watched, [&](IRunDisplay &d) { d.finished(end); });
    m_exitStatus = worseExitStatus(m_exitStatus, end.ExitStatus);
    if (++m_ended == int(m_switches.size()))
        emit allEnded(m_stopped ? int(kExitInterrupted) : m_exitStatus);
}

void TRunOwner::stop(int count)
{
    if (m_ended == int(m_switches.size()))
        return;
    if (count == 1) {
        m_stopped = true;
        for (const auto &watched : m_switches) {
            if (!watched->running())
                continue;
            toDisplays(*watched, [](IRunDisplay &d) {
                d.message(MessageKind::Warning, QStringLiteral("Interrupted: the run stops at its next wait, says in what "
                                                               "state it leaves the switch and saves its log."));
            });
            watched->run->interrupt();
        }
        endUnstarted();
        return;
    }
    for (const auto &watched : m_switches) {
        if (!watched->running())
            continue;
        toDisplays(*watched, [](IRunDisplay &d) {
            d.message(MessageKind::Warning,
                      QStringLiteral("Still stopping: the log is being saved; tessaro-run ends by itself in a moment."));
        });
    }
}

void TRunOwner::endUnstarted()
{
    if (m_next == m_switches.size())
        return;
    QStringList never;
    for (size_t i = m_next; i < m_switches.size(); ++i)
        never << m_switches[i]->settings.SwitchAddress;
    emit note(MessageKind::Warning, QStringLiteral("Interrupted: no further switch starts. Never started, nothing was "
                                                   "sent to them: ")
                                        + never.join(QStringLiteral(", ")));
    while (m_next < m_switches.size()) {
        Watched &watched = *m_switches[m_next++];
        watched.displays = m_makeDisplays(watched.settings);
        TSwitchRunEnd end;
        end.SwitchAddress = watched.settings.SwitchAddress;
        end.BackupPath = watched.settings.BackupPath;
        end.ExitStatus = kExitInterrupted;
        end.Result = {TRunOutcome::Interrupted, {},
                      QStringLiteral("Never started: tessaro-run was interrupted before this switch's turn; nothing was "
                                     "sent to it."),
                      {}};
        ended(watched, end, 0);
    }
}

QList<TSwitchOutcome> TRunOwner::outcomes() const
{
    QList<TSwitchOutcome> all;
    for (const auto &watched : m_switches) {
        if (watched->outcome)
            all << *watched->outcome;
    }
    return all;
}
