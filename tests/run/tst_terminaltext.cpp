#include "TerminalText.h"

#include <QtTest>

// What reaches the operator's terminal from the switch: every escape sequence and control
// character is gone, whatever its form, and the text around it stays.
class TestTerminalText : public QObject
{
    Q_OBJECT

private slots:
    void withoutEscapes_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("the prompt's erase to the line's end") << "\x1b[Kconsole#" << "console#";
        QTest::newRow("colours and cursor moves") << "\x1b[1;31mred\x1b[0m \x1b[2J\x1b[10;5Hhere" << "red here";
        QTest::newRow("a private mode") << "\x1b[?25lhidden cursor" << "hidden cursor";
        QTest::newRow("a window title, ended by BEL") << "\x1b]0;owned\x07text" << "text";
        QTest::newRow("a window title, ended by ESC \\") << "\x1b]2;owned\x1b\\text" << "text";
        QTest::newRow("a device control string") << "a\x1bPq#0;2;0;0;0\x1b\\b" << "ab";
        QTest::newRow("two-byte escapes") << "\x1b" "7saved\x1b" "8\x1b" "c" << "saved";
        QTest::newRow("8-bit CSI and OSC") << QString("a") + QChar(0x9b) + "31mb" + QChar(0x9d) + "0;t" + QChar(0x9c) + "c"
                                           << "abc";
        QTest::newRow("other control characters") << QString("a\bb\x07" "c\x7f" "d") + QChar(0x85) + "e" << "abcde";
        QTest::newRow("a tab is a blank, line ends stay") << "a\tb\r\nc" << "a b\r\nc";
        QTest::newRow("an escape cut off at the end") << "text\x1b[3" << "text";
        QTest::newRow("text beyond Latin-1 stays") << "Schalter über Gerät" << "Schalter über Gerät";
    }
    void withoutEscapes()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(::withoutEscapes(text), shown);
    }

    void displayLines()
    {
        QCOMPARE(::displayLines("Username or pssword is incorrect\n\rApplication will terminate."),
                 (QStringList{"Username or pssword is incorrect", "Application will terminate."}));
        QCOMPARE(::displayLines("  one \r\n\r\n\x1b[K\r two\r"), (QStringList{"one", "two"}));
        QVERIFY(::displayLines("\x1b[K \r\n").isEmpty());
    }

    void wrappedLines()
    {
        QCOMPARE(::wrappedLines("one two three four\nfive", 9), (QStringList{"one two", "three", "four", "five"}));
        QCOMPARE(::wrappedLines("a-word-longer-than-the-width b", 5), (QStringList{"a-word-longer-than-the-width", "b"}));
    }
};

QTEST_GUILESS_MAIN(TestTerminalText)
#include "tst_terminaltext.moc"
