#include "TestPaths.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <QTemporaryDir>
#include <QtTest>

// The packed program started where there is no display to open its window on: one line
// that says what it needs, and a failure status instead of Qt's abort.
class TestNoDisplay : public QObject
{
    Q_OBJECT

    QTemporaryDir m_temp;

private slots:
    void saysWhatItNeeds_data()
    {
        QTest::addColumn<QString>("display");
        QTest::newRow("no display named") << QString();
        // An X display number nothing listens on.
        QTest::newRow("display unreachable") << ":4711";
    }

    void saysWhatItNeeds()
    {
        QFETCH(QString, display);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM", "QT_LOGGING_RULES"})
            environment.remove(QString::fromLatin1(name));
        if (!display.isEmpty())
            environment.insert("DISPLAY", display);
        environment.insert("TMPDIR", m_temp.path());
        QProcess program;
        program.setProcessEnvironment(environment);
        program.start(binPath("tessaro"), {});
        QVERIFY2(program.waitForFinished(60000), "the program did not end");

        const QStringList lines = QString::fromLocal8Bit(program.readAllStandardError()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(program.exitStatus(), QProcess::NormalExit);
        QCOMPARE(program.exitCode(), 1);
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines.first().contains("needs a graphical session") && lines.first().contains("xvfb-run"),
                 qPrintable(lines.first()));
        QVERIFY(program.readAllStandardOutput().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestNoDisplay)
#include "tst_nodisplay.moc"
