#include "access/TelnetSync.h"
#include "payload/ExeStrm.h"
#include "platform/Clock.h"
#include "platform/Terminate.h"
#include "platform/WorkingFolder.h"
#include "tftp/ITftpHost.h"
#include "upgrade/upgrade_device.h"

#include "CountedClock.h"
#include "ScriptedDialogs.h"
#include "SwitchSim.h"
#include "TestData.h"
#include "TestFiles.h"
#include "TestPaths.h"

#include <QtTest>

using Platform::MessageKind;

namespace {

// The host's payload pass-through over a packed program, as the TFTP host offers it.
class PayloadHost final : public ITftpHost
{
public:
    TEXEAppendixFileSystem store;

    bool TransferDone() const override { return false; }
    bool TransferOk() const override { return true; }
    void SetTransferDone(bool) override {}
    void SetTransferOk(bool) override {}
    bool HasAppendix() override { return store.HasAppendix(); }
    bool AppendixFileExists(const QString &name) override { return store.FileExists(name); }
    std::unique_ptr<QIODevice> OpenAppendixFile(const QString &name) override
    {
        return store.OpenFile(name, TExeAppendixStream::AccessMode::Read);
    }

    QByteArray payload(const QString &name) { return OpenAppendixFile(name)->readAll(); }
};

} // namespace

// The device inventory against the simulated switch over real loopback sockets, with the
// demo image table and images of about the real size in a program packed for the test.
class TestGather : public QObject
{
    Q_OBJECT

    CountedClock m_clock{kPeerTimeScale};

    QTemporaryDir m_temp;
    PayloadHost m_host;
    QStringList m_progress;

    std::unique_ptr<TTelnetOperations> operationsFor(const SwitchSim &sim)
    {
        auto operations = std::make_unique<TTelnetOperations>();
        operations->DeviceAddress = sim.address();
        operations->Telnet->SetRemotePort(sim.port("telnet"));
        operations->UserName = "admin";
        operations->Password = "admin";
        operations->TftpHost = &m_host;
        return operations;
    }

    TProgressEvent recordProgress()
    {
        return [this](TTelnetOperations *, const QString &text) { m_progress << text; };
    }

private slots:
    void initTestCase()
    {
        qputenv("TMPDIR", m_temp.path().toLocal8Bit());
        QVERIFY(QDir().mkpath(WorkingFolder()));
        m_host.store.SetFileName(packFixture(m_temp.path(), "payload",
                                             {{"private.ini", readFile(TESSARO_ASSETS_DIR "/private.ini")},
                                              {"sim_ge-interim.img", pattern(3'100'000, 1)},
                                              {"sim_ge-746.img", pattern(3'200'000, 2)},
                                              {"sim_fe-interim.img", pattern(3'300'000, 3)},
                                              {"sim_fe-746.img", pattern(3'400'000, 4)}}));
        QVERIFY(m_host.HasAppendix());
        QFile table(WorkingFolder() + "private.ini");
        QVERIFY(table.open(QIODevice::WriteOnly));
        table.write(m_host.payload("private.ini"));
    }
    void init()
    {
        Platform::clearTerminateRequest();
        m_progress.clear();
        for (const QString &image : QDir(WorkingFolder()).entryList({"*.img"}))
            QFile::remove(WorkingFolder() + image);
    }

    void inventory_data()
    {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QStringList>("report");
        QTest::addColumn<QStringList>("images");
        QTest::addColumn<QString>("version");
        QTest::addColumn<int>("active");
        QTest::addColumn<int>("next");

        QTest::newRow("standalone Gigabit switch")
            << QStringList{} << ""
            << QStringList{"Type        :   Norvale GS-24", "OID         :   1.3.6.1.4.1.99999.1.1.24",
                           "Sys Name    :   switch-1", "Location    :   Lab rack 3", "Sys Contct  :   noc@example.net",
                           "Mac-Address :   00:1b:21:3a:4c:01", "Version     :   3.0.0.43 : 12-Mar-2008 ",
                           "Active      :   image 1 after reset :image 1 "}
            << QStringList{"sim_ge-interim.img", "sim_ge-746.img"} << "3.0.0.43" << 1 << 1;
        QTest::newRow("Fast-Ethernet stack whose master is unit 2")
            << QStringList{"--stack-master", "2", "--object-id", "1.3.6.1.4.1.99999.1.2.48", "--type", "Norvale FS-48",
                           "--active-image", "2", "--next-image", "1", "--sw-version", "3.0.1.43", "--system-name", "stack-a"}
            << " unit 2"
            << QStringList{"Type        :   Norvale FS-48", "OID         :   1.3.6.1.4.1.99999.1.2.48",
                           "Sys Name    :   stack-a", "Location    :   Lab rack 3", "Sys Contct  :   noc@example.net",
                           "Mac-Address :   00:1b:21:3a:4c:01", "Version     :   3.0.1.43 : 12-Mar-2008 ",
                           "Active      :   image 2 after reset :image 1 "}
            << QStringList{"sim_fe-interim.img", "sim_fe-746.img"} << "3.0.1.43" << 2 << 1;
    }
    void inventory()
    {
        QFETCH(QStringList, scenario);
        QFETCH(QString, unit);
        QFETCH(QStringList, report);
        QFETCH(QStringList, images);
        QFETCH(QString, version);
        QFETCH(int, active);
        QFETCH(int, next);
        ScriptedDialogs dialogs;
        SwitchSim sim(scenario);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        auto operations = operationsFor(sim);

        QVERIFY(operations->GatherInformation(recordProgress()));
        QCOMPARE(m_progress, (QStringList{"Trying to open telnet connection...", "Gathering information"} + report));
        const QByteArray typed = sim.transcript();
        QVERIFY2(typed.endsWith("show stack\nshow system" + unit.toLatin1() + "\nshow version" + unit.toLatin1()
                                + "\nshow bootvar" + unit.toLatin1() + "\n"),
                 typed.constData());

        const QString activeTrace = QString("Active      :%1 after reset :%2 ").arg(active).arg(next);
        QCOMPARE(operations->Log, (QStringList{"show system" + unit + "--checking result for \"show system unit 1-2",
                                               "Trace: current version--" + version,
                                               "Trace: show bootvar" + unit + "--",
                                               QString("Trace: Active Image %1 : after reset %2--").arg(active).arg(next),
                                               "Images...   :--" + activeTrace}));
        QCOMPARE(operations->CurrentVersion, version);
        QCOMPARE(operations->ActiveImage, active);
        QCOMPARE(operations->ImageAfterReset, next);
        QCOMPARE(operations->InterimImage, images[0]);
        QCOMPARE(operations->FinalImage, images[1]);
        for (const QString &image : images) {
            const QByteArray extracted = readFile(WorkingFolder() + image);
            QVERIFY2(extracted.size() > 3'000'000, qPrintable(image));
            QVERIFY(extracted == m_host.payload(image));
        }
        QVERIFY(dialogs.shown().isEmpty());
        QVERIFY(!Platform::terminateRequested());
    }

    void oneImageDevice()
    {
        ScriptedDialogs dialogs;
        SwitchSim sim({"--one-image"});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        auto operations = operationsFor(sim);
        QVERIFY(operations->GatherInformation(recordProgress()));
        QCOMPARE(operations->ActiveImage, -1);
        QCOMPARE(operations->ImageAfterReset, -1);
        QCOMPARE(operations->Log.last(), QString("Images...--One Image Device!!!!"));
        QCOMPARE(m_progress.last(), QString("Active      :   image -1 after reset :image -1 "));
    }

    void failures_data()
    {
        QTest::addColumn<QStringList>("scenario");
        QTest::addColumn<bool>("listening");
        QTest::addColumn<QStringList>("messages");

        const QString notFound = "Seems that Tessaro utility did not find device 127.0.0.2\n\r"
                                 "Pleasae verify that this is the correct IP address of the device\n\rTessaro will now terminate.";
        const QString exception = "EXCEPTION : Application shoud terminate Installer will terminate";
        QTest::newRow("a switch that does not answer") << QStringList{} << false << QStringList{notFound, exception};
        QTest::newRow("a \"show stack\" answer of 20 characters or fewer")
            << QStringList{"--mute", "show stack"} << true << QStringList{notFound, exception};
        QTest::newRow("an unknown model")
            << QStringList{"--object-id", "1.3.6.1.4.1.99999.9.9", "--type", "Norvale XS-8"} << true
            << QStringList{"Did not find device  Norvale XS-8 information.\n\rApplication will terminate", exception};
    }
    void failures()
    {
        QFETCH(QStringList, scenario);
        QFETCH(bool, listening);
        QFETCH(QStringList, messages);
        ScriptedDialogs dialogs;
        SwitchSim sim(scenario);
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        auto operations = operationsFor(sim);
        if (!listening)
            operations->Telnet->SetRemotePort(closedPort(QHostAddress("127.0.0.2")));

        QVERIFY(operations->GatherInformation(recordProgress()));
        QCOMPARE(dialogs.texts(), messages);
        QCOMPARE(dialogs.shown()[0].kind, MessageKind::Warning);
        QCOMPARE(dialogs.shown()[1].kind, MessageKind::Plain);
        QVERIFY(Platform::terminateRequested());
        QVERIFY(QDir(WorkingFolder()).entryList({"*.img"}).isEmpty());
    }

    void shortShowSystemAnswer()
    {
        ScriptedDialogs dialogs;
        SwitchSim sim({"--mute", "show system"});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        auto operations = operationsFor(sim);

        QVERIFY(!operations->GatherInformation(recordProgress()));
        QCOMPARE(operations->Log.mid(1), (QStringList{"\x1b[Kconsole# \r\n--", "Trace: show System Returns False--"}));
        QVERIFY(dialogs.shown().isEmpty());
        QVERIFY(!Platform::terminateRequested());
        QCOMPARE(m_progress, (QStringList{"Trying to open telnet connection...", "Gathering information"}));
    }

    // One byte of an image changed in the packed program: the inventory refuses to extract
    // it, names it, and nothing is left for the switch to fetch.
    void damagedImageIsRefused()
    {
        const QByteArray image = m_host.payload("sim_ge-interim.img");
        PayloadHost damaged;
        damaged.store.SetFileName(packFixture(m_temp.path(), "damaged",
                                              {{"private.ini", readFile(TESSARO_ASSETS_DIR "/private.ini")},
                                               {"sim_ge-interim.img", image},
                                               {"sim_ge-746.img", m_host.payload("sim_ge-746.img")}}));
        QByteArray packed = readFile(damaged.store.FileName());
        const qsizetype at = packed.indexOf(image.left(64));
        QVERIFY(at > 0);
        packed[at + 1000] = char(packed[at + 1000] ^ 0x01);
        QVERIFY(writeFile(damaged.store.FileName(), packed));

        ScriptedDialogs dialogs;
        SwitchSim sim;
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        auto operations = operationsFor(sim);
        operations->TftpHost = &damaged;
        QVERIFY(operations->GatherInformation(recordProgress()));
        QCOMPARE(dialogs.shown().size(), 1);
        QVERIFY2(dialogs.texts()[0].startsWith("EXCEPTION : The image sim_ge-interim.img in the payload is damaged: "),
                 qPrintable(dialogs.texts()[0]));
        QVERIFY(Platform::terminateRequested());
        QVERIFY(QDir(WorkingFolder()).entryList({"*.img"}).isEmpty());
        QVERIFY(!sim.transcript().contains("copy"));
    }

    // A switch that redraws its prompt after erase-line with no blank after it: every command
    // still ends where its prompt shows, as with a blank, not at the end of its poll budget.
    void barePromptCostsNoMore()
    {
        quint32 programMs[2] = {};
        for (const bool bare : {false, true}) {
            ScriptedDialogs dialogs;
            SwitchSim sim(bare ? QStringList{"--bare-prompt"} : QStringList{});
            QVERIFY2(sim.start(), qPrintable(sim.errorString()));
            auto operations = operationsFor(sim);
            programMs[bare] = programMsOf([&] { QVERIFY(operations->GatherInformation(recordProgress())); });
            QCOMPARE(operations->Telnet->DutPromptInCliMode, QString("console#"));
            QCOMPARE(operations->CurrentVersion, QString("3.0.0.43"));
            QVERIFY(dialogs.shown().isEmpty());
        }
        QCOMPARE(programMs[true], programMs[false]);
    }

    void unknownModelAfterTheResetIsNoReasonToStop()
    {
        ScriptedDialogs dialogs;
        SwitchSim sim({"--object-id", "1.3.6.1.4.1.99999.9.9"});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        auto operations = operationsFor(sim);
        operations->ResetStarted = true;

        QVERIFY(operations->GatherInformation(recordProgress()));
        QVERIFY(dialogs.shown().isEmpty());
        QVERIFY(operations->InterimImage.isEmpty());
        QCOMPARE(operations->CurrentVersion, QString("3.0.0.43"));
        QVERIFY(QDir(WorkingFolder()).entryList({"*.img"}).isEmpty());
    }
};

QTEST_MAIN(TestGather)
#include "tst_gather.moc"
