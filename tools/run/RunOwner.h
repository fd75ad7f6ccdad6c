#pragma once

#include "RunDisplay.h"
#include "SwitchRun.h"
#include "TransferWatch.h"

#include <QList>
#include <QObject>

#include <memory>
#include <vector>

class ITftpHost;

// Starts the switch runs, each on its own thread with the one TFTP host they share, shows what
// each reports on every display, passes the operator's Ctrl-C on to them and ends the event
// loop with the program's exit status once the last has ended.
class TRunOwner final : public QObject
{
    Q_OBJECT

public:
    explicit TRunOwner(ITftpHost &host, QObject *parent = nullptr);
    // Interrupts the runs that still go on and waits for them.
    ~TRunOwner() override;
    Q_DISABLE_COPY_MOVE(TRunOwner)

    // Not owned; each must outlive the owner.
    void addDisplay(IRunDisplay *display);
    void start(const QList<TSwitchRunSettings> &switches);
    // The operator's count-th Ctrl-C (or SIGTERM). The first interrupts every run; the later
    // ones only say that the runs are ending, so that no log goes unsaved.
    void stop(int count);

signals:
    // Every run has ended; the worst of their exit statuses.
    void allEnded(int exitStatus);

private:
    struct Watched
    {
        std::unique_ptr<TSwitchRun> run;
        std::unique_ptr<TTransferWatch> transfers;
    };

    void show(Watched &watched);
    template<typename Call>
    void toDisplays(Call call);
    void runEnded(Watched &watched, const TSwitchRunEnd &end);

    ITftpHost &m_host;
    QList<IRunDisplay *> m_displays;
    // Each run with the watch on its switch's transfers; the list never grows once started.
    std::vector<Watched> m_runs;
    int m_running = 0;
    int m_exitStatus = 0;
};
