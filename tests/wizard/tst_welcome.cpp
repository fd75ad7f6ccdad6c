#include "wizard/Frame_IPAddress.h"
#include "wizard/Frame_Top.h"
#include "wizard/Frame_Welcome.h"

#include "LeakedWindows.h"

#include <QLabel>
#include <QtTest>

// The Welcome page's version label and the pictures that the build draws into the program.
class TestWelcome : public QObject
{
    Q_OBJECT

private slots:
    void cleanup() { QVERIFY2(leakedWindows().isEmpty(), qPrintable(leakedWindows().join(u' '))); }

    void versionLabel_data()
    {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("label");
        QTest::newRow("every number small") << "1.0.2.80" << "Version: 1.0.2.80";
        // Minor and build keep only their low 8 bits in the label.
        QTest::newRow("minor and build above 255") << "1.300.2.280" << "Version: 1.44.2.24";
        // A version resource holds 16 bits per number.
        QTest::newRow("major above 16 bits") << "70000.1.2.3" << "Version: 4464.1.2.3";
        QTest::newRow("numbers missing") << "2.5" << "Version: 2.5.0.0";
    }

    void versionLabel()
    {
        QFETCH(QString, version);
        QFETCH(QString, label);
        QCOMPARE(::versionLabel(::fileVersion(version)), label);
    }

    void entryShowsTheBuildVersion()
    {
        TFrameWelcome page;
        page.PageEntered();
        QCOMPARE(page.lblVersion->text(), QStringLiteral("Version: " TESSARO_VERSION));
        QCOMPARE(page.NextPageClass(), &TFrameIPAddress::staticMetaObject);
    }

    void picturesAreInTheProgram()
    {
        TFrameWelcome welcome;
        const QPixmap sidebar = welcome.Image1->pixmap();
        QVERIFY(!sidebar.isNull());
        QCOMPARE(sidebar.width(), 164);

        TFrameTop header;
        const QPixmap picture = header.Image1->pixmap();
        QVERIFY(!picture.isNull());
        QCOMPARE(picture.size(), QSize(106, 57));
    }
};

QTEST_MAIN(TestWelcome)
#include "tst_welcome.moc"
