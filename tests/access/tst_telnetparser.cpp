#include "access/TelnetParser.h"

#include <QtTest>

namespace {

// Records what the parser reports as one readable event per entry.
class Recorder final : public TelnetParser::Sink
{
public:
    QStringList events;

    void data(const QByteArray &text) override { events << "data " + text.toHex(' '); }
    void command(int code) override { events << QString("command %1").arg(code); }
    void option(int verb, int code) override { events << QString("option %1 %2").arg(verb).arg(code); }
    void subOption(const QByteArray &bytes) override { events << "sub " + bytes.toHex(' '); }
    void subOptionTooLong() override { events << "too long"; }
};

} // namespace

class TestTelnetParser : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<QStringList>("expected");

        QTest::newRow("plain data in one piece") << QList<QByteArray>{"show\r\n"} << QStringList{"data 73 68 6f 77 0d 0a"};
        QTest::newRow("doubled IAC is one data byte")
            << QList<QByteArray>{"A\xff\xff" "B"} << QStringList{"data 41", "data ff", "data 42"};
        QTest::newRow("command below 250") << QList<QByteArray>{"\xff\xf1x"} << QStringList{"command 241", "data 78"};
        QTest::newRow("will wont do dont")
            << QList<QByteArray>{"\xff\xfb\x01\xff\xfc\x03\xff\xfd\x01\xff\xfe\x18"}
            << QStringList{"option 251 1", "option 252 3", "option 253 1", "option 254 24"};
        QTest::newRow("data around a negotiation")
            << QList<QByteArray>{"ab\xff\xfd\x01" "cd"} << QStringList{"data 61 62", "option 253 1", "data 63 64"};
        QTest::newRow("sub-negotiation ended by IAC SE")
            << QList<QByteArray>{"\xff\xfa\x18\x01\xff\xf0"} << QStringList{"sub ff fa 18 01 ff"};
        QTest::newRow("SE alone ends a sub-negotiation")
            << QList<QByteArray>{"\xff\xfa\x18\x01\xf0z"} << QStringList{"sub ff fa 18 01", "data 7a"};
        QTest::newRow("IAC at the end of one read, DO 1 in the next")
            << QList<QByteArray>{"x\xff", "\xfd\x01y"} << QStringList{"data 78", "option 253 1", "data 79"};
        QTest::newRow("verb at the end of one read, option in the next")
            << QList<QByteArray>{"\xff\xfb", "\x01"} << QStringList{"option 251 1"};
        QTest::newRow("sub-negotiation across reads")
            << QList<QByteArray>{"\xff\xfa", "\x18\x01", "\xff\xf0ok"} << QStringList{"sub ff fa 18 01 ff", "data 6f 6b"};
    }
    void parse()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(QStringList, expected);
        TelnetParser parser;
        Recorder recorder;
        for (const QByteArray &read : reads)
            parser.feed(read, recorder);
        QCOMPARE(recorder.events, expected);
    }

    void subOptionKeepsAtMost1023Bytes()
    {
        TelnetParser parser;
        Recorder recorder;
        // IAC SB option, then 1030 bytes of sub-option data: 3 + 1020 fit, 10 are dropped.
        parser.feed(QByteArray("\xff\xfa\x18") + QByteArray(1030, 'a') + QByteArray("\xff\xf0"), recorder);
        QCOMPARE(recorder.events.count("too long"), 11); // the IAC before SE is dropped too
        QCOMPARE(recorder.events.size(), 12);
        const QByteArray kept = QByteArray::fromHex(recorder.events.last().mid(4).toLatin1());
        QCOMPARE(kept.size(), TelnetParser::kMaxSubOption);
        QVERIFY(kept.startsWith("\xff\xfa\x18"));
    }
};

QTEST_APPLESS_MAIN(TestTelnetParser)
#include "tst_telnetparser.moc"
