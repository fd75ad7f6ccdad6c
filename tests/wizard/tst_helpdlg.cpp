#include "platform/Clock.h"
#include "platform/Dialogs.h"
#include "platform/WorkingFolder.h"
#include "wizard/HelpDlg.h"

#include "CountedClock.h"
#include "LeakedWindows.h"

#include <QMouseEvent>
#include <QPushButton>
#include <QtTest>

namespace {

// The operator's side while a help button works: records what was opened and whether the
// button was disabled at that moment, and clicks the button once more while the viewer
// starts, as an impatient operator does.
class ViewerProbe final : public Platform::IDialogs
{
public:
    explicit ViewerProbe(QPushButton *button) : m_button(button) { Platform::setDialogs(this); }
    ~ViewerProbe() override { Platform::setDialogs(nullptr); }
    Q_DISABLE_COPY_MOVE(ViewerProbe)

    QStringList opened;
    QList<bool> enabledWhileOpening;

    Platform::MessageAnswer message(Platform::MessageKind, const QString &, Platform::MessageButtons) override
    {
        return Platform::MessageAnswer::Ok;
    }
    QString openFileName(const QString &, const QStringList &) override { return {}; }
    QString chooseFolder(const QString &) override { return {}; }
    void openDocument(const QString &path) override
    {
        opened << path;
        enabledWhileOpening << m_button->isEnabled();
        const QPoint centre = m_button->rect().center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QCoreApplication::postEvent(m_button, new QMouseEvent(type, centre, m_button->mapToGlobal(centre),
                                                                  Qt::LeftButton, type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                                  Qt::NoModifier));
        }
    }

private:
    QPushButton *m_button;
};

} // namespace

// The help documents dialog: each button hands its document in the working folder to the
// viewer and stays disabled for a second of program time.
class TestHelpDlg : public QObject
{
    Q_OBJECT

    CountedClock m_clock{0.05};

    QTemporaryDir m_temp;

private slots:
    void initTestCase()
    {
        qputenv("TMPDIR", m_temp.path().toLocal8Bit());
    }
    void cleanup() { QVERIFY2(leakedWindows().isEmpty(), qPrintable(leakedWindows().join(u' '))); }

    void buttonOpensItsDocument_data()
    {
        QTest::addColumn<QString>("button");
        QTest::addColumn<QString>("document");
        QTest::newRow("instructions") << "Button1" << "Upgrade1.pdf";
        QTest::newRow("troubleshooting") << "Button2" << "Upgrade2.pdf";
        QTest::newRow("impact") << "Button3" << "Upgrade3.pdf";
    }

    void buttonOpensItsDocument()
    {
        QFETCH(QString, button);
        QFETCH(QString, document);
        TOKHelpBottomDlg dialog;
        dialog.show();
        auto *pushButton = dialog.findChild<QPushButton *>(button);
        QVERIFY(pushButton);
        ViewerProbe viewer(pushButton);

        const quint32 elapsed = programMsOf([&] { QTest::mouseClick(pushButton, Qt::LeftButton); });
        QCoreApplication::processEvents();

        QCOMPARE(viewer.opened, QStringList{WorkingFolder() + document});
        QCOMPARE(viewer.enabledWhileOpening, QList<bool>{false});
        QCOMPARE(elapsed, 1000u);
        QVERIFY(pushButton->isEnabled());
    }
};

QTEST_MAIN(TestHelpDlg)
#include "tst_helpdlg.moc"
