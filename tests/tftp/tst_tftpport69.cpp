#include "TftpdProcess.h"

#include "tftp/TrivialFTPServer.h"

#include <QtTest>

// The real TFTP port: while another program holds port 69, the wizard's server cannot take
// it and says so. Clients and holders stay on loopback.
class TestTftpPort69 : public QObject
{
    Q_OBJECT

    QTemporaryDir m_root;

private slots:
    void secondServerOnHeldPortFails()
    {
        TftpdProcess holder;
        QVERIFY2(holder.start(m_root.path(), {QStringLiteral("--port"), QStringLiteral("69"), QStringLiteral("--bind"),
                                              QStringLiteral("127.0.0.1")}),
                 qPrintable(holder.errorText()));
        QCOMPARE(holder.port(), quint16(69));

        TTrivialFTPServer server;
        QCOMPARE(server.DefaultPort(), 69);
        try {
            server.SetActive(true);
            QFAIL("a second server took port 69");
        } catch (const ECouldNotBindSocket &e) {
            QCOMPARE(e.message(), QStringLiteral("Could not bind socket. Address and port are already in use."));
        }
        QVERIFY(!server.Active());

        TftpdProcess second;
        QVERIFY(!second.start(m_root.path(), {QStringLiteral("--port"), QStringLiteral("69")}));
        QTRY_COMPARE(second.process().state(), QProcess::NotRunning);
        QCOMPARE(second.process().exitCode(), 1);
        QCOMPARE(second.errorText(),
                 QStringLiteral("tessaro-tftpd: Could not bind socket. Address and port are already in use."));
    }
};

QTEST_MAIN(TestTftpPort69)
#include "tst_tftpport69.moc"
