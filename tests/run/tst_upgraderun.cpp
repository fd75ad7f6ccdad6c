#include "access/TelnetSync.h"
#include "app/files/WizardFiles.h"
#include "payload/ExeStrm.h"
#include "platform/Terminate.h"
#include "platform/WorkingFolder.h"
#include "run/UpgradeRun.h"
#include "tftp/TftpHost.h"
#include "upgrade/upgrade_device.h"

#include "CountedClock.h"
#include "ScriptedDialogs.h"
#include "SwitchSim.h"
#include "TestFiles.h"
#include "TestPaths.h"

#include <QtTest>

#include <sys/prctl.h>

using Platform::MessageKind;

// A run of the switch that sim plays, served by a TFTP host of its own on UDP 69.
struct RunRig
{
    RunRig(const QString &payload, const SwitchSim &sim, const QString &configFile) : host(payload)
    {
        host.TftpServer->SetActive(true);
        operations.DeviceAddress = sim.address();
        operations.UserName = "admin";
        operations.Password = "admin";
        operations.TftpServerAddress = "127.0.0.1";
        operations.TftpHost = &host;
        operations.SetConfigFileName(configFile);
        run = std::make_unique<TUpgradeRun>(operations, host);
    }

    TTftpHost host;
    TTelnetOperations operations;
    std::unique_ptr<TUpgradeRun> run;
};

// The run as a component, with no window: the built program's payload served by the
// widget-free TFTP host on UDP 69, the simulated switch on its real ports on a loopback address
// of its own, the procedure's messages taken from the run's signal.
class TestUpgradeRun : public QObject
{
    Q_OBJECT

    CountedClock m_clock{kPeerTimeScale};
    QString m_payload = binPath("tessaro");
    QTemporaryDir m_temp;
    int m_address = 60;

private slots:
    void initTestCase()
    {
        prctl(PR_SET_TIMERSLACK, 1UL);
        qputenv("TMPDIR", m_temp.path().toLocal8Bit());
        QString reason;
        QCOMPARE(makePrivateFolder(WorkingFolder(), reason), FolderCheck::Private);
        extractPayloadFiles(TEXEAppendixFileSystem(m_payload), WorkingFolder());
        QVERIFY(QDir().mkpath(m_temp.filePath("cfg")));
    }

    void init()
    {
        Platform::clearTerminateRequest();
        Platform::setTimeScale(kPeerTimeScale);
    }

    // A self-upgrade that stops moving on, however its reads go: the polling ends about
    // eleven minutes of program time after the last new step, with the operator told, instead
    // of polling for ever while the texts change or for hours while every read times out.
    void pollingEndsWithoutANewStep_data()
    {
        QTest::addColumn<QStringList>("fault");
        QTest::addColumn<QString>("repeated");
        QTest::addColumn<int>("timesAtLeast");
        QTest::newRow("every read times out") << QStringList{"--self-upgrade-fault", "snmp-silent"}
                                              << "Step X: Polling ......." << 1;
        // A change at every read: 330 reads two seconds apart never run out.
        QTest::newRow("two texts of one step by turns")
            << QStringList{"--self-upgrade-fault", "flickers-after=3", "--step-reads", "1"}
            << "Step 3: Erasing the image area (still busy)" << 100;
    }
    void pollingEndsWithoutANewStep()
    {
        QFETCH(QStringList, fault);
        QFETCH(QString, repeated);
        QFETCH(int, timesAtLeast);
        // On the intermediate image already: the short path, then straight to the polling.
        SwitchSim sim(QStringList{"--telnet-port", "23", "--snmp-port", "161", "--payload", m_payload, "--sw-version",
                                  "3.0.0.45-interim", "--active-image", "2", "--next-image", "2"}
                          + fault,
                      QStringLiteral("127.0.0.%1").arg(m_address++));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        RunRig rig(m_payload, sim, m_temp.filePath("cfg/sw.txt"));
        TUpgradeRun &run = *rig.run;
        QList<QPair<MessageKind, QString>> messages;
        connect(&run, &TUpgradeRun::message, this,
                [&](MessageKind kind, const QString &text) { messages.append({kind, text}); });
        QStringList statuses;
        connect(&run, &TUpgradeRun::statusRead, this, [&](const QString &status) { statuses << status; });
        quint32 pollingFrom = 0;
        connect(&run, &TUpgradeRun::phaseStarted, this, [&](TRunPhase phase) {
            if (phase != TRunPhase::Final)
                return;
            pollingFrom = Platform::tickCount();
            Platform::setTimeScale(0.01);
        });
        // A guard only: a polling without a bound would otherwise hold the test for ever.
        QTimer::singleShot(120'000, &run, &TUpgradeRun::Interrupt);

        QCOMPARE(run.TakeInventory().Reason, QString());
        const TRunResult result = run.Run();
        const quint32 polling = Platform::tickCount() - pollingFrom;

        QCOMPARE(result.Outcome, TRunOutcome::Failed);
        QCOMPARE(result.Error, QString("Application will now terminate , please try again later"));
        QCOMPARE(messages.size(), 1);
        QCOMPARE(messages[0].first, MessageKind::Error);
        QCOMPARE(messages[0].second, QString("Quillo did not get respond from device intermediate version\n\r"
                                             "Please try to re run the utility again."));
        QVERIFY2(statuses.count(repeated) >= timesAtLeast, qPrintable(statuses.join('\n')));
        // At least the bound; at most the bound, one read that times out (three attempts of
        // eight seconds), one pause between reads and the short path's reads before the last
        // new step.
        QVERIFY2(polling >= quint32(TUpgradeRun::kStepSilenceMs), qPrintable(QString::number(polling)));
        QVERIFY2(polling <= quint32(TUpgradeRun::kStepSilenceMs) + 3 * 8000 + 2000 + 60'000,
                 qPrintable(QString::number(polling)));
    }

    // The time left counts the wait for the switch's last reset and the log-in after it: once
    // the switch has reported its last step, the estimate is not "nothing left" while the run
    // still waits more than a minute.
    void estimateCountsTheLastReset()
    {
        SwitchSim sim(QStringList{"--telnet-port", "23", "--snmp-port", "161", "--payload", m_payload, "--sw-version",
                                  "3.0.0.45-interim", "--active-image", "2", "--next-image", "2", "--step-interval",
                                  "200", "--reset-time", "300"},
                      QStringLiteral("127.0.0.%1").arg(m_address++));
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        RunRig rig(m_payload, sim, m_temp.filePath("cfg/sw-estimate.txt"));
        TUpgradeRun &run = *rig.run;
        QList<qint64> estimates;
        connect(&run, &TUpgradeRun::estimateChanged, this, [&](qint64 ms) { estimates << ms; });
        qsizetype atFinished = -1;
        connect(&run, &TUpgradeRun::stepStarted, this, [&](int, const QString &text) {
            if (text == "Finished")
                atFinished = estimates.size();
        });
        connect(&run, &TUpgradeRun::progressLine, this, [&](const QString &line) {
            if (line == "Waiting for the switch to come back with the final version....")
                Platform::setTimeScale(0.01);
        });
        QTimer::singleShot(120'000, &run, &TUpgradeRun::Interrupt);

        QCOMPARE(run.TakeInventory().Reason, QString());
        QCOMPARE(run.Run().Outcome, TRunOutcome::Done);
        QVERIFY(atFinished >= 0 && atFinished < estimates.size());
        QVERIFY2(estimates[atFinished] >= TUpgradeRun::kFinalResetMs, qPrintable(QString::number(estimates[atFinished])));
    }
};

QTEST_GUILESS_MAIN(TestUpgradeRun)
#include "tst_upgraderun.moc"
