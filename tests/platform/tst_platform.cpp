#include "platform/AutoResetEvent.h"
#include "platform/Clock.h"
#include "platform/HandOver.h"
#include "platform/Paths.h"
#include "platform/PortHolder.h"
#include "platform/Terminate.h"
#include "platform/SocketErrors.h"
#include "platform/TextLines.h"
#include "platform/WorkingFolder.h"

#include "CountedClock.h"

#include <QUdpSocket>
#include <QtTest>

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>
#include <stdexcept>

class TestPlatform : public QObject
{
    Q_OBJECT

    QTemporaryDir m_temp;

private slots:
    void workingFolder_data()
    {
        QTest::addColumn<QString>("tmpdir");
        QTest::addColumn<QString>("expected");
        const QString temp = m_temp.path();
        QTest::newRow("plain") << temp << temp + "/Quillo/";
        QTest::newRow("trailing separator") << temp + "/" << temp + "/Quillo/";
        QTest::newRow("root") << "/" << "/Quillo/";
    }
    void workingFolder()
    {
        QFETCH(QString, tmpdir);
        QFETCH(QString, expected);
        const QByteArray saved = qgetenv("TMPDIR");
        qputenv("TMPDIR", tmpdir.toLocal8Bit());
        QCOMPARE(WorkingFolder(), expected);
        qputenv("TMPDIR", saved);
    }

    // The working folder lies in the shared temporary folder: one that someone else prepared
    // is not used.
    void privateFolder_data()
    {
        QTest::addColumn<QString>("prepared");
        QTest::addColumn<int>("check");
        QTest::addColumn<QString>("reason");
        QTest::newRow("missing, created") << "" << int(FolderCheck::Private) << "";
        QTest::newRow("own, owner only") << "0700" << int(FolderCheck::Private) << "";
        QTest::newRow("own, others may read") << "0755" << int(FolderCheck::Private) << "";
        QTest::newRow("group may write") << "0770" << int(FolderCheck::NotPrivate) << "can be written by other users";
        QTest::newRow("anyone may write, sticky") << "1777" << int(FolderCheck::NotPrivate)
                                                  << "can be written by other users";
        QTest::newRow("another user's") << "owner" << int(FolderCheck::NotPrivate) << "belongs to another user";
        QTest::newRow("link to an own folder") << "link" << int(FolderCheck::NotPrivate) << "is a link";
        QTest::newRow("a file") << "file" << int(FolderCheck::NotPrivate) << "is not a folder";
        QTest::newRow("parent missing") << "orphan" << int(FolderCheck::NotCreated) << "";
    }
    void privateFolder()
    {
        QFETCH(QString, prepared);
        QFETCH(int, check);
        QFETCH(QString, reason);
        const QTemporaryDir base;
        QString folder = base.filePath(QStringLiteral("Quillo"));
        const QByteArray path = QFile::encodeName(folder);
        bool ok = false;
        const uint mode = prepared.toUInt(&ok, 8);
        if (ok) {
            QVERIFY(::mkdir(path.constData(), 0700) == 0);
            QVERIFY(::chmod(path.constData(), mode) == 0);
        } else if (prepared == QLatin1String("owner")) {
            QVERIFY(::mkdir(path.constData(), 0700) == 0);
            QVERIFY(::chown(path.constData(), ::geteuid() + 1, ::getegid()) == 0);
        } else if (prepared == QLatin1String("link")) {
            QVERIFY(QDir().mkdir(base.filePath(QStringLiteral("elsewhere"))));
            QVERIFY(QFile::link(base.filePath(QStringLiteral("elsewhere")), folder));
        } else if (prepared == QLatin1String("file")) {
            QFile file(folder);
            QVERIFY(file.open(QIODevice::WriteOnly));
        } else if (prepared == QLatin1String("orphan")) {
            folder = base.filePath(QStringLiteral("missing/Quillo"));
        }

        QString why;
        QCOMPARE(int(makePrivateFolder(folder + QLatin1Char('/'), why)), check);
        QCOMPARE(why, reason);
        if (prepared.isEmpty()) {
            struct stat status{};
            QVERIFY(::lstat(path.constData(), &status) == 0);
            QCOMPARE(status.st_mode & 07777, mode_t(0700));
        }
    }

    // Where a path's folder part ends, by the rules of either platform.
    void pathParts_data()
    {
        QTest::addColumn<int>("style");
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("folder");
        QTest::addColumn<QString>("fileName");
        const int windows = int(Platform::PathStyle::Windows);
        const int posix = int(Platform::PathStyle::Posix);
        QTest::newRow("windows: drive and folder") << windows << "c:\\cfg\\sw.txt" << "c:\\cfg\\" << "sw.txt";
        QTest::newRow("windows: drive only") << windows << "c:conf.txt" << "c:" << "conf.txt";
        QTest::newRow("windows: bare name") << windows << "conf.txt" << "" << "conf.txt";
        QTest::newRow("windows: ends in a separator") << windows << "d:\\cfg\\" << "d:\\cfg\\" << "";
        QTest::newRow("windows: a slash is no separator") << windows << "cfg/sw.txt" << "" << "cfg/sw.txt";
        QTest::newRow("posix: folder") << posix << "/home/op/sw.txt" << "/home/op/" << "sw.txt";
        QTest::newRow("posix: bare name") << posix << "conf.txt" << "" << "conf.txt";
        QTest::newRow("posix: ends in a separator") << posix << "/home/op/" << "/home/op/" << "";
        QTest::newRow("posix: colon and backslash are name characters") << posix << "c:\\sw.txt" << "" << "c:\\sw.txt";
    }
    void pathParts()
    {
        QFETCH(int, style);
        QFETCH(QString, path);
        QFETCH(QString, folder);
        QFETCH(QString, fileName);
        QCOMPARE(Platform::folderPart(path, Platform::PathStyle(style)), folder);
        QCOMPARE(Platform::fileNamePart(path, Platform::PathStyle(style)), fileName);
    }

    void defaultConfigFileName()
    {
        QCOMPARE(Platform::defaultConfigFileName(Platform::PathStyle::Windows), QString("c:\\conffile.txt"));
        QCOMPARE(Platform::defaultConfigFileName(Platform::PathStyle::Posix), QDir::homePath() + "/conffile.txt");
    }

    void socketErrorTable_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("text");
        QTest::newRow("first row") << 10004 << "[10004] Interrupted system call";
        QTest::newRow("not connected") << 10057 << "[10057] Socket is not connected";
        QTest::newRow("refused") << 10061 << "[10061] Connection refused";
        QTest::newRow("typo kept") << 10066 << "[10066] Directory not empt";
        QTest::newRow("last row") << 11004 << "[11004] Valid name, no data record (check DNS setup)";
        QTest::newRow("unknown") << 12345 << "[12345] (no description available)";
    }
    void socketErrorTable()
    {
        QFETCH(int, code);
        QFETCH(QString, text);
        QCOMPARE(Platform::socketErrorText(code), text);
    }

    void socketErrorTableHasEveryRow()
    {
        int described = 0;
        for (int code = 10000; code < 11100; ++code) {
            if (!Platform::socketErrorText(code).endsWith(QStringLiteral("(no description available)")))
                ++described;
        }
        QCOMPARE(described, 50);
    }

    void socketErrorMapping_data()
    {
        QTest::addColumn<int>("fromErrno");
        QTest::addColumn<int>("fromQt");
        QTest::addColumn<int>("code");
        QTest::newRow("refused") << ECONNREFUSED << int(QAbstractSocket::ConnectionRefusedError) << 10061;
        QTest::newRow("in use") << EADDRINUSE << int(QAbstractSocket::AddressInUseError) << 10048;
        QTest::newRow("host not found") << -1 << int(QAbstractSocket::HostNotFoundError) << 11001;
        QTest::newRow("not connected") << ENOTCONN << int(QAbstractSocket::OperationError) << 10057;
        QTest::newRow("timed out") << ETIMEDOUT << int(QAbstractSocket::SocketTimeoutError) << 10060;
    }
    void socketErrorMapping()
    {
        QFETCH(int, fromErrno);
        QFETCH(int, fromQt);
        QFETCH(int, code);
        if (fromErrno >= 0)
            QCOMPARE(Platform::socketErrorFromErrno(fromErrno), code);
        QCOMPARE(Platform::socketErrorFromQt(QAbstractSocket::SocketError(fromQt)), code);
    }

    // The holder of a UDP port is found in the system's IPv4 and IPv6 tables, whatever
    // address its socket is bound to; a port nobody holds has none.
    void udpPortHolder_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("IPv4 loopback") << "127.0.0.1";
        QTest::newRow("every IPv4 address") << "0.0.0.0";
        QTest::newRow("IPv6 loopback") << "::1";
        QTest::newRow("every address, IPv6 and IPv4") << "::";
    }
    void udpPortHolder()
    {
        QFETCH(QString, address);
        QUdpSocket socket;
        QVERIFY2(socket.bind(QHostAddress(address), 0), qPrintable(socket.errorString()));
        const quint16 port = socket.localPort();

        const std::optional<Platform::PortHolder> holder = Platform::udpPortHolder(port);

        QVERIFY(holder);
        QCOMPARE(holder->pid, QCoreApplication::applicationPid());
        // The system keeps the first 15 characters of a program's name.
        QCOMPARE(holder->program, QFileInfo(QCoreApplication::applicationFilePath()).fileName().left(15));
        socket.close();
        QVERIFY(!Platform::udpPortHolder(port));
    }

    // What the switch sends, as the operator's memos show it: no terminal sequences, other
    // control characters spelt out, line breaks kept.
    void terminalDisplayText_data()
    {
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("shown");
        QTest::newRow("a coloured line") << "\x1b[32mCopy: 1000 bytes copied in 00:00:01 [hh:mm:ss]\x1b[0m"
                                         << "Copy: 1000 bytes copied in 00:00:01 [hh:mm:ss]";
        QTest::newRow("coloured marks") << "Loading x:\x1b[32m!\x1b[0m\x1b[32m!\x1b[0m" << "Loading x:!!";
        QTest::newRow("erase line before the prompt") << "\x1b[Kconsole# " << "console# ";
        QTest::newRow("cursor moves and private modes") << "\x1b[?25l\x1b[2J\x1b[10;5Hhere\x1b[1;31;4m!" << "here!";
        QTest::newRow("a window title ended by BEL") << "\x1b]0;switch-1\x07text" << "text";
        QTest::newRow("a window title ended by ESC \\") << "\x1b]2;switch-1\x1b\\text" << "text";
        QTest::newRow("a device control string") << "a\x1bPq#0;2\x1b\\b" << "ab";
        QTest::newRow("a string cut short by another sequence") << "a\x1b]0;t\x1b[31mb" << "ab";
        QTest::newRow("two-character escapes") << "\x1b" "7saved\x1b" "8\x1b" "c\x1b=" << "saved";
        QTest::newRow("a character set chosen") << "\x1b(Bplain\x1b)0" << "plain";
        QTest::newRow("escape twice") << "\x1b\x1b[31mred" << "red";
        QTest::newRow("a bell") << "Accessing file 'conf_file.txt'...\x07" << "Accessing file 'conf_file.txt'...\\x07";
        QTest::newRow("other control characters") << QString("a\bb") + QChar(0) + "c\x7f" "d" + QChar(0x85)
                                                  << "a\\x08b\\x00c\\x7fd\\x85";
        QTest::newRow("line breaks and tabs stay") << "a\tb\r\nc\rd\ne" << "a\tb\r\nc\rd\ne";
        QTest::newRow("a sequence broken by a line break") << "a\x1b[3\r\nb" << "a\r\nb";
        QTest::newRow("a sequence cut off at the end") << "text\x1b[3" << "text";
        QTest::newRow("an escape at the end") << "text\x1b" << "text";
        QTest::newRow("a string cut off at the end") << "text\x1b]0;never ended" << "text";
        QTest::newRow("text beyond ASCII stays") << QString::fromUtf8("Gerät über [31m")
                                                 << QString::fromUtf8("Gerät über [31m");
    }
    void terminalDisplayText()
    {
        QFETCH(QString, received);
        QFETCH(QString, shown);
        QCOMPARE(Platform::terminalDisplayText(received), shown);
    }

    // Under the counted clock the tick advances by exactly the sleeps taken, at any scale.
    void countedClock_data()
    {
        QTest::addColumn<double>("scale");
        QTest::addColumn<QList<int>>("sleeps");
        QTest::addColumn<quint32>("advance");
        QTest::newRow("real speed, short sleeps") << 1.0 << QList<int>{1, 9, 10, 25} << 45u;
        QTest::newRow("accelerated, long sleeps") << 0.0001 << QList<int>{2000, 300000, 7} << 302007u;
        QTest::newRow("nothing for zero and below") << 0.1 << QList<int>{0, -5, 3} << 3u;
    }
    void countedClock()
    {
        QFETCH(double, scale);
        QFETCH(QList<int>, sleeps);
        QFETCH(quint32, advance);
        CountedClock clock(scale);
        const quint32 taken = programMsOf([&] {
            for (const int ms : sleeps)
                Platform::sleep(ms);
        });
        QCOMPARE(taken, advance);
    }

    void countedTickWrapsWithoutAJump()
    {
        CountedClock clock(1e-9);
        quint32 toWrap = 0xFFFFFFFFu - Platform::tickCount();
        while (toWrap > 0) {
            const int step = int(qMin<quint32>(toWrap, 0x7FFFFFFFu));
            Platform::sleep(step);
            toWrap -= quint32(step);
        }
        const quint32 before = Platform::tickCount();
        QCOMPARE(before, 0xFFFFFFFFu);
        Platform::sleep(5);
        QCOMPARE(Platform::tickCount(), 4u);
        QCOMPARE(quint32(Platform::tickCount() - before), 5u);
    }

    // The real sleep is the program time times the scale: five minutes of program time pass
    // in milliseconds. The bound only tells a scaled sleep from an unscaled one.
    void sleepYieldsItsScaledLength()
    {
        CountedClock clock(0.0001);
        QElapsedTimer real;
        real.start();
        Platform::sleep(300000);
        QVERIFY(real.nsecsElapsed() >= 30'000'000);
        QVERIFY2(real.elapsed() < 150000, "the sleep was not scaled");
    }

    // A message that explains the end runs a modal loop of its own after the request: it must
    // stay until answered, and the program's loop ends only once it waits at its own level.
    void terminateWaitsForTheMainLoop()
    {
        qint64 messageShownMs = -1;
        QTimer::singleShot(0, qApp, [&] {
            Platform::requestTerminate();
            QElapsedTimer shown;
            shown.start();
            QEventLoop message;
            QTimer::singleShot(50, &message, &QEventLoop::quit);
            message.exec();
            messageShownMs = shown.elapsed();
        });
        // Only against a hang: the request itself ends the loop.
        QTimer hang;
        hang.setSingleShot(true);
        connect(&hang, &QTimer::timeout, qApp, [] { QCoreApplication::exit(1); });
        hang.start(20000);
        QCOMPARE(QCoreApplication::exec(), 0);
        QVERIFY(Platform::terminateRequested());
        QVERIFY2(messageShownMs >= 50, qPrintable(QString::number(messageShownMs)));
        Platform::clearTerminateRequest();
    }

    void tickDifferenceSurvivesWrap()
    {
        const quint32 start = 0xFFFFFF00u;
        const quint32 now = 0x00000010u;
        QCOMPARE(quint32(now - start), 0x110u);
    }

    void autoResetEventWaitAny()
    {
        Platform::AutoResetEvent first, second;
        QCOMPARE(Platform::AutoResetEvent::waitAny({&first, &second}, 10), -1);
        second.set();
        QCOMPARE(Platform::AutoResetEvent::waitAny({&first, &second}, 10), 1);
        QCOMPARE(Platform::AutoResetEvent::waitAny({&first, &second}, 10), -1);

        QThread *setter = QThread::create([&] { first.set(); });
        setter->start();
        QCOMPARE(Platform::AutoResetEvent::waitAny({&first, &second}), 0);
        setter->wait();
        delete setter;
    }

    void handOverRunsOnTargetThreadAndCarriesErrors()
    {
        QObject uiObject;
        Qt::HANDLE ranOn = nullptr;
        bool raised = false;
        QThread *worker = QThread::create([&] {
            Platform::runOnThreadOf(&uiObject, [&] { ranOn = QThread::currentThreadId(); });
            try {
                Platform::runOnThreadOf(&uiObject, [] { throw std::runtime_error("x"); });
            } catch (const std::runtime_error &) {
                raised = true;
            }
        });
        worker->start();
        QTRY_VERIFY(worker->isFinished());
        delete worker;
        QCOMPARE(ranOn, QThread::currentThreadId());
        QVERIFY(raised);
    }
};

QTEST_MAIN(TestPlatform)
#include "tst_platform.moc"
