#include "CountedClock.h"
#include "PeerProcess.h"
#include "SnmpDatagrams.h"
#include "SwitchSim.h"

#include "access/SnmpSync.h"
#include "platform/Clock.h"

#include <QUdpSocket>
#include <QtTest>

#include <sys/prctl.h>

// Real counterparts on loopback: net-snmp's agent answering TSNMP, net-snmp's tools asking
// the simulated switch, and tshark judging the requests TSNMP puts on the wire.
namespace {

const QString kSysContact = QStringLiteral("1.3.6.1.2.1.1.4");

quint16 freeUdpPort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::LocalHost, 0);
    return probe.localPort();
}

// Keeps net-snmp's programs away from the machine's configuration, MIB files and
// persistent store.
class NetSnmpEnvironment final
{
public:
    NetSnmpEnvironment()
    {
        QDir(m_dir.path()).mkpath(QStringLiteral("conf"));
        QDir(m_dir.path()).mkpath(QStringLiteral("persist"));
        m_environment.insert(QStringLiteral("SNMPCONFPATH"), m_dir.filePath(QStringLiteral("conf")));
        m_environment.insert(QStringLiteral("SNMP_PERSISTENT_DIR"), m_dir.filePath(QStringLiteral("persist")));
        m_environment.insert(QStringLiteral("MIBS"), QString());
    }
    Q_DISABLE_COPY_MOVE(NetSnmpEnvironment)

    QString confPath(const QString &name) const { return m_dir.filePath(QStringLiteral("conf/") + name); }
    const QProcessEnvironment &environment() const { return m_environment; }

    struct Result
    {
        int exitCode = -1;
        QString output;
    };

    // One of the command-line tools, numeric identifiers and bare values.
    Result run(const QString &tool, const QStringList &arguments) const
    {
        QProcess process;
        process.setProcessEnvironment(m_environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.start(tool, QStringList{QStringLiteral("-v1"), QStringLiteral("-On"), QStringLiteral("-Oqv"),
                                        QStringLiteral("-t"), QStringLiteral("0.5"), QStringLiteral("-r"), QStringLiteral("0")}
                                + arguments);
        if (!process.waitForFinished(10000))
            return {};
        return {process.exitCode(), QString::fromLocal8Bit(process.readAll()).trimmed()};
    }

private:
    QTemporaryDir m_dir;
    QProcessEnvironment m_environment = QProcessEnvironment::systemEnvironment();
};

// snmpd in the foreground on 127.0.0.1 with a configuration that gives "vemtal" write access.
class NetSnmpAgent final
{
public:
    explicit NetSnmpAgent(const NetSnmpEnvironment &environment) : m_environment(environment) {}
    Q_DISABLE_COPY_MOVE(NetSnmpAgent)

    bool start()
    {
        QFile conf(m_environment.confPath(QStringLiteral("agent.conf")));
        if (!conf.open(QIODevice::WriteOnly) || conf.write("rwcommunity vemtal 127.0.0.1\n") < 0)
            return false;
        conf.close();
        m_port = freeUdpPort();
        m_peer.process().setProcessEnvironment(m_environment.environment());
        m_peer.process().setProcessChannelMode(QProcess::MergedChannels);
        return m_peer.start(QStringLiteral("snmpd"),
                            {QStringLiteral("-f"), QStringLiteral("-Lo"), QStringLiteral("-C"), QStringLiteral("-c"),
                             conf.fileName(), QStringLiteral("udp:127.0.0.1:%1").arg(m_port)},
                            QProcess::StandardOutput, QRegularExpression(QStringLiteral("NET-SNMP version")));
    }
    quint16 port() const { return m_port; }
    QByteArray output() const { return m_peer.output(); }

private:
    const NetSnmpEnvironment &m_environment;
    PeerProcess m_peer;
    quint16 m_port = 0;
};

void aim(TSNMP &snmp, const QString &address, quint16 port)
{
    snmp.SetRemoteHost(address);
    snmp.SetRemotePort(port);
}

} // namespace

class TestSnmpPeer : public QObject
{
    Q_OBJECT

    CountedClock m_clock{kPeerTimeScale};

    NetSnmpEnvironment m_netSnmp;
    NetSnmpAgent m_agent{m_netSnmp};

private slots:
    void initTestCase()
    {
        // Sleeps of a few microseconds per round on the accelerated clock.
        prctl(PR_SET_TIMERSLACK, 1UL);
        QVERIFY2(m_agent.start(), m_agent.output().constData());
    }

    void setThenGetFromNetSnmp()
    {
        TSNMP snmp;
        aim(snmp, QStringLiteral("127.0.0.1"), m_agent.port());
        QVERIFY(snmp.SetValue(1, kSysContact, QStringLiteral("Step 2: tessaro")));
        QString value;
        snmp.GetValue(kSysContact, value);
        QCOMPARE(value, QStringLiteral("Step 2: tessaro"));

        // The acknowledgement of the last step writes an empty text.
        QVERIFY(snmp.SetValue(1, kSysContact, QString()));
        snmp.GetValue(kSysContact, value);
        QCOMPARE(value, QString());
    }

    void getFromNetSnmp_data()
    {
        QTest::addColumn<QString>("oid");
        QTest::addColumn<QString>("pattern");
        QTest::newRow("unknown object") << "1.3.6.1.2.1.1.99" << "Sync: \\[ERROR: noSuchName \\(2\\)\\]";
        QTest::newRow("OBJECT IDENTIFIER") << "1.3.6.1.2.1.1.2" << "1\\.3\\.6\\.1\\.4\\.1\\.8072(\\.\\d+)+";
        QTest::newRow("TimeTicks") << "1.3.6.1.2.1.1.3" << "\\d+";
    }
    void getFromNetSnmp()
    {
        QFETCH(QString, oid);
        QFETCH(QString, pattern);
        TSNMP snmp;
        aim(snmp, QStringLiteral("127.0.0.1"), m_agent.port());
        QString value;
        snmp.GetValue(oid, value);
        QVERIFY2(QRegularExpression(QRegularExpression::anchoredPattern(pattern)).match(value).hasMatch(), qPrintable(value));
    }

    // A refused SET is answered every time, so all attempts are spent without waiting.
    void readOnlyObjectRefusedByNetSnmp()
    {
        TSNMP snmp;
        aim(snmp, QStringLiteral("127.0.0.1"), m_agent.port());
        QVERIFY(!snmp.SetValue(4, QStringLiteral("1.3.6.1.2.1.1.2"), QStringLiteral("1.3.6.1.4.1.1")));
        QCOMPARE(snmp.LastSetStatus(), QStringLiteral("Sync: [ERROR: noSuchName (2)]"));
        QCOMPARE(snmp.RequestId(), 2);
    }

    // The simulated switch's agent as net-snmp's tools see it; the steps build on each other.
    void netSnmpToolsAgainstSimulator()
    {
        SwitchSim sim({QStringLiteral("--snmp-open")});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString target = QStringLiteral("%1:%2").arg(sim.address()).arg(sim.port(QStringLiteral("snmp")));
        const QString sysDescr = QStringLiteral("1.3.6.1.2.1.1.1.0");
        const QString sysObjectId = QStringLiteral("1.3.6.1.2.1.1.2.0");
        const QString sysContact = QStringLiteral("1.3.6.1.2.1.1.4.0");
        const QString sysName = QStringLiteral("1.3.6.1.2.1.1.5.0");
        const QString sysLocation = QStringLiteral("1.3.6.1.2.1.1.6.0");
        struct Step
        {
            QString tool;
            QStringList arguments;
            int exitCode;
            QString output;
        };
        const QList<Step> steps{
            {"snmpget", {"-c", "vemtal", target, sysDescr, sysObjectId, sysContact, sysName, sysLocation}, 0,
             "\"Norvale GS-24\"\n.1.3.6.1.4.1.99999.1.1.24\n\"noc@example.net\"\n\"switch-1\"\n\"Lab rack 3\""},
            {"snmpset", {"-c", "vemtal", target, sysContact, "s", "Step 1: tessaro"}, 0, "\"Step 1: tessaro\""},
            {"snmpset", {"-c", "vemtal", target, sysName, "s", "core-2", sysLocation, "s", "127.0.0.1"}, 0, "\"core-2\"\n\"127.0.0.1\""},
            {"snmpget", {"-c", "vemtal", target, sysContact, sysName, sysLocation}, 0, "\"Step 1: tessaro\"\n\"core-2\"\n\"127.0.0.1\""},
            {"snmpget", {"-c", "public", target, sysContact}, 1, "Timeout: No Response from " + target + "."},
            {"snmpset", {"-c", "public", target, sysContact, "s", "x"}, 1, "Timeout: No Response from " + target},
            {"snmpget", {"-c", "vemtal", target, sysContact, "1.3.6.1.2.1.1.3.0"}, 2, "noSuchName"},
            {"snmpset", {"-c", "vemtal", target, sysDescr, "s", "x"}, 2, "noSuchName"},
            {"snmpset", {"-c", "vemtal", target, sysContact, "i", "5"}, 2, "badValue"},
            {"snmpset", {"-c", "vemtal", target, sysContact, "s", QString(256, u'x')}, 2, "badValue"},
            // An all-or-nothing SET: the refused second binding keeps the first from applying.
            {"snmpset", {"-c", "vemtal", target, sysContact, "s", "lost", sysDescr, "s", "x"}, 2, "noSuchName"},
            {"snmpget", {"-c", "vemtal", target, sysContact}, 0, "\"Step 1: tessaro\""},
        };
        for (const Step &step : steps) {
            const NetSnmpEnvironment::Result result = m_netSnmp.run(step.tool, step.arguments);
            const QString context = step.tool + u' ' + step.arguments.join(u' ') + QStringLiteral(" -> ") + result.output;
            QVERIFY2(result.exitCode == step.exitCode, qPrintable(context));
            QVERIFY2(step.exitCode == 0 ? result.output == step.output : result.output.contains(step.output), qPrintable(context));
        }
    }

    // The agent answers nothing that is not a whole SNMPv1 GetRequest or SetRequest for
    // "vemtal", and keeps serving after any of it.
    void simulatorIgnoresWhatItCannotServe()
    {
        SwitchSim sim({QStringLiteral("--snmp-open")});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QHostAddress address(sim.address());
        const quint16 port = sim.port(QStringLiteral("snmp"));
        const QByteArray fields = kZero + kZero + kZero;
        const QByteArray get = binding(hex("0500"));
        QList<QByteArray> datagrams{
            message(0xA1, fields, get),                     // GetNextRequest
            message(0xA0, fields, get, hex("020101")),      // SNMPv2c
            message(0xA2, fields, get),                     // a response
            message(0xA0, fields, get, kZero, tlv(0x04, "vemtal ")),
        };
        for (const BadDatagram &row : refusedDatagrams())
            datagrams << row.bytes;
        QUdpSocket sender;
        for (const QByteArray &datagram : datagrams)
            QCOMPARE(sender.writeDatagram(datagram, address, port), datagram.size());

        TSNMP snmp;
        aim(snmp, sim.address(), port);
        QString value;
        snmp.GetValue(kSysContact, value);
        QCOMPARE(value, QStringLiteral("noc@example.net"));
        QVERIFY(!sender.hasPendingDatagrams());
    }

    // What the final upgrade run does: read the status, acknowledge with an empty text.
    void tsnmpAgainstSimulator()
    {
        SwitchSim sim({QStringLiteral("--snmp-open")});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        TSNMP snmp;
        aim(snmp, sim.address(), sim.port(QStringLiteral("snmp")));
        QString value;
        snmp.GetValue(kSysContact, value);
        QCOMPARE(value, QStringLiteral("noc@example.net"));
        QVERIFY(snmp.SetValue(1, kSysContact, QString()));
        snmp.GetValue(kSysContact, value);
        QCOMPARE(value, QString());
    }

    void silentSimulator()
    {
        SwitchSim sim({QStringLiteral("--snmp-open"), QStringLiteral("--snmp-silent")});
        QVERIFY2(sim.start(), qPrintable(sim.errorString()));
        const QString target = QStringLiteral("%1:%2").arg(sim.address()).arg(sim.port(QStringLiteral("snmp")));
        const NetSnmpEnvironment::Result result = m_netSnmp.run(QStringLiteral("snmpget"), {QStringLiteral("-c"), QStringLiteral("vemtal"),
                                                                                             target, QStringLiteral("1.3.6.1.2.1.1.4.0")});
        QCOMPARE(result.exitCode, 1);
        QVERIFY2(result.output.startsWith(QStringLiteral("Timeout")), qPrintable(result.output));
        TSNMP snmp;
        aim(snmp, sim.address(), sim.port(QStringLiteral("snmp")));
        QString value;
        snmp.GetValue(kSysContact, value);
        QCOMPARE(value, QStringLiteral("timeout"));
    }

    // Our GetRequest and SetRequests, captured on the loopback interface, decode in tshark
    // without a malformed-packet mark; a datagram whose PDU length is one short shows that
    // tshark would say so. The capture goes live some time after dumpcap says it started,
    // so the four datagrams go out again and again until eight of them are captured.
    void tsharkDecodesOurRequests()
    {
        QUdpSocket sink;
        QVERIFY(sink.bind(QHostAddress::LocalHost, 0));
        const QString port = QString::number(sink.localPort());
        QTemporaryDir dir;
        const QString capture = dir.filePath(QStringLiteral("snmp.pcap"));
        QProcess dumpcap;
        dumpcap.start(QStringLiteral("dumpcap"), {QStringLiteral("-i"), QStringLiteral("lo"), QStringLiteral("-f"),
                                                  QStringLiteral("udp dst port ") + port, QStringLiteral("-c"), QStringLiteral("8"),
                                                  QStringLiteral("-a"), QStringLiteral("duration:30"), QStringLiteral("-w"), capture});
        QVERIFY2(dumpcap.waitForStarted(), qPrintable(dumpcap.errorString()));

        // What tshark must show for each datagram, by its size.
        QMap<qsizetype, QString> expected;
        QString expectation;
        TSNMP snmp;
        snmp.SetNumOfRetries(1);
        snmp.SetResponseSamplingInterval(100);
        snmp.OnPDUTrace = [&](const QByteArray &packet, const QString &) { expected[packet.size()] = expectation; };
        aim(snmp, QStringLiteral("127.0.0.1"), sink.localPort());
        const QByteArray broken = QByteArray::fromHex(
            "3027020100040776656d74616c32" "a018" "020100020100020100300e300c06082b060102010104000500");
        expected[broken.size()] = QStringLiteral("Malformed");
        const QDeadlineTimer deadline(30000);
        while (dumpcap.state() != QProcess::NotRunning && !deadline.hasExpired()) {
            QString value;
            expectation = QStringLiteral("0\t1.3.6.1.2.1.1.4.0\t");
            snmp.GetValue(kSysContact, value);
            expectation = QStringLiteral("3\t1.3.6.1.2.1.1.4.0\t");
            snmp.SetValue(1, kSysContact, QStringLiteral("Step 5: last step"));
            snmp.SetValue(1, kSysContact, QString(300, u'x'));
            QUdpSocket().writeDatagram(broken, QHostAddress::LocalHost, sink.localPort());
            dumpcap.waitForFinished(10);
        }
        QCOMPARE(dumpcap.exitCode(), 0);
        QCOMPARE(expected.size(), 4);

        QProcess tshark;
        tshark.start(QStringLiteral("tshark"), {QStringLiteral("-r"), capture, QStringLiteral("-d"), QStringLiteral("udp.port==") + port + QStringLiteral(",snmp"),
                                                QStringLiteral("-T"), QStringLiteral("fields"), QStringLiteral("-e"), QStringLiteral("udp.length"),
                                                QStringLiteral("-e"), QStringLiteral("snmp.data"), QStringLiteral("-e"), QStringLiteral("snmp.name"),
                                                QStringLiteral("-e"), QStringLiteral("_ws.malformed")});
        QVERIFY(tshark.waitForFinished(30000));
        const QStringList frames = QString::fromLatin1(tshark.readAllStandardOutput()).split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(frames.size(), 8);
        QSet<qsizetype> seen;
        for (const QString &frame : frames) {
            const qsizetype size = frame.section(u'\t', 0, 0).toInt() - 8;
            const QString fields = frame.section(u'\t', 1);
            QVERIFY2(expected.contains(size), qPrintable(frame));
            if (expected[size] == QStringLiteral("Malformed"))
                QVERIFY2(fields.contains(expected[size]), qPrintable(frame));
            else
                QCOMPARE(fields, expected[size]);
            seen.insert(size);
        }
        QCOMPARE(seen.size(), 4);
    }
};

QTEST_GUILESS_MAIN(TestSnmpPeer)
#include "tst_snmppeer.moc"
