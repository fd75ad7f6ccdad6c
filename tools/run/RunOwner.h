#pragma once

#include "FleetSummary.h"
#include "RunDisplay.h"
#include "SwitchRun.h"
#include "TransferWatch.h"

#include <QElapsedTimer>
#include <QList>
#include <QObject>

#include <functional>
#include <memory>
#include <optional>
#include <vector>

class ITftpHost;

using TRunDisplays = std::vector<std::unique_ptr<IRunDisplay>>;

// Starts the switch runs, at most a given number at once, each on its own thread with the one
// TFTP host they share; shows what each reports on that switch's own displays; passes the
// operator's Ctrl-C on to them; and ends the event loop with the program's exit status once
// the last has ended.
class TRunOwner final : public QObject
{
    Q_OBJECT

public:
    // A switch's displays, made when its run starts, so that their clocks start with it.
    using DisplayMaker = std::function<TRunDisplays(const TSwitchRunSettings &settings)>;

    TRunOwner(ITftpHost &host, DisplayMaker makeDisplays, QObject *parent = nullptr);
    // Interrupts the runs that still go on and waits for them.
    ~TRunOwner() override;
    Q_DISABLE_COPY_MOVE(TRunOwner)

    // Runs every switch in the order given, at most parallel at once: the next starts when
    // one ends.
    void start(const QList<TSwitchRunSettings> &switches, int parallel);
    // The operator's count-th Ctrl-C (or SIGTERM). The first starts no further switch and
    // interrupts every running one; the later ones only say that the runs are ending, so that
    // no log goes unsaved.
    void stop(int count);

    // Every switch in the order given, as it ended; whole once allEnded has come.
    QList<TSwitchOutcome> outcomes() const;

signals:
    // What the program itself has to say, outside any switch's run.
    void note(Platform::MessageKind kind, const QString &text);
    // Every switch has ended: the worst of their exit statuses, 130 once stopped.
    void allEnded(int exitStatus);

private:
    struct Watched
    {
        TSwitchRunSettings settings;
        TRunDisplays displays;
        std::unique_ptr<TSwitchRun> run;
        std::unique_ptr<TTransferWatch> transfers;
        QElapsedTimer clock;
        std::optional<TSwitchOutcome> outcome;

        bool running() const { return run && !outcome; }
    };

    void startNext();
    void show(Watched &watched);
    template<typename Call>
    void toDisplays(Watched &watched, Call call);
    void runEnded(Watched &watched, const TSwitchRunEnd &end);
    // After the operator's stop: every switch whose turn had not come ends without a run.
    void endUnstarted();
    void ended(Watched &watched, const TSwitchRunEnd &end, qint64 durationMs);

    ITftpHost &m_host;
    const DisplayMaker m_makeDisplays;
    // Each switch with its run once started; the list never changes once started.
    std::vector<std::unique_ptr<Watched>> m_switches;
    size_t m_next = 0;
    int m_parallel = 1;
    int m_running = 0;
    int m_ended = 0;
    bool m_stopped = false;
    int m_exitStatus = 0;
};
