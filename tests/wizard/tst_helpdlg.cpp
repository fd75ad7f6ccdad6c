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

// The operator's side while a help button works: records what was opened, whether the
// button was disabled at that moment and the messages shown, and clicks the button once more
// while the viewer starts, as an impatient operator does. Without a viewer the platform
// cannot open anything.
class ViewerProbe final : public Platform::IDialogs
{
public:
    ViewerProbe(QPushButton *button, bool viewer) : m_button(button), m_viewer(viewer) { Platform::setDialogs(this); }
    ~ViewerProbe() override { Platform::setDialogs(nullptr); }
    Q_DISABLE_COPY_MOVE(ViewerProbe)

    QStringList opened;
    QList<bool> enabledWhileOpening;
    QStringList warnings;

    Platform::MessageAnswer message(Platform::MessageKind kind, const QString &text, Platform::MessageButtons) override
    {
        if (kind == Platform::MessageKind::Warning)
            warnings << text;
        return Platform::MessageAnswer::Ok;
    }
    QString openFileName(const QString &, const QStringList &) override { return {}; }
    QString chooseFolder(const QString &) override { return {}; }
    bool openDocument(const QString &path) override
    {
        opened << path;
        enabledWhileOpening << m_button->isEnabled();
        const QPoint centre = m_button->rect().center();
        for (QEvent::Type type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
            QCoreApplication::postEvent(m_button, new QMouseEvent(type, centre, m_button->mapToGlobal(centre),
                                                                  Qt::LeftButton, type == QEvent::MouseButtonPress ? Qt::LeftButton : Qt::NoButton,
                                                                  Qt::NoModifier));
        }
        return m_viewer;
    }

private:
    QPushButton *m_button;
    bool m_viewer;
};

} // namespace

// The help documents dialog: each button hands its document in the working folder to the
// viewer and stays disabled for a second of program time; where nothing can open it, the
// operator learns where it lies.
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
        QTest::addColumn<bool>("viewer");
        QTest::newRow("instructions") << "Button1" << "Upgrade1.pdf" << true;
        QTest::newRow("troubleshooting") << "Button2" << "Upgrade2.pdf" << true;
        QTest::newRow("impact") << "Button3" << "Upgrade3.pdf" << true;
        QTest::newRow("instructions, no viewer") << "Button1" << "Upgrade1.pdf" << false;
        QTest::newRow("impact, no viewer") << "Button3" << "Upgrade3.pdf" << false;
    }

    void buttonOpensItsDocument()
    {
        QFETCH(QString, button);
        QFETCH(QString, document);
        QFETCH(bool, viewer);
        TOKHelpBottomDlg dialog;
        dialog.show();
        auto *pushButton = dialog.findChild<QPushButton *>(button);
        QVERIFY(pushButton);
        ViewerProbe probe(pushButton, viewer);

        // The click never sleeps: a run waiting underneath goes on.
        const quint32 elapsed = programMsOf([&] { QTest::mouseClick(pushButton, Qt::LeftButton); });
        QCOMPARE(elapsed, 0u);

        const QString path = WorkingFolder() + document;
        QCOMPARE(probe.opened, QStringList{path});
        QCOMPARE(probe.enabledWhileOpening, QList<bool>{false});
        if (viewer) {
            // A second click at once would start the viewer again: the button waits a second.
            QVERIFY(!pushButton->isEnabled());
            QTest::mouseClick(pushButton, Qt::LeftButton);
            QCOMPARE(probe.opened, QStringList{path});
            QVERIFY(probe.warnings.isEmpty());
        } else {
            // No viewer was started, so there is nothing to guard against for a second.
            QCOMPARE(probe.warnings.size(), 1);
            QVERIFY2(probe.warnings.first().endsWith('\n' + path), qPrintable(probe.warnings.first()));
            QVERIFY(pushButton->isEnabled());
        }
        QTRY_VERIFY(pushButton->isEnabled());
    }

    // The dialog opens over the main window and is no wider, every caption whole.
    void fitsTheMainWindow()
    {
        constexpr int kMainWindowWidth = 504;
        TOKHelpBottomDlg dialog;
        dialog.show();
        QVERIFY(QTest::qWaitForWindowExposed(&dialog));
        QVERIFY2(dialog.width() <= kMainWindowWidth, qPrintable(QString::number(dialog.width())));
        for (const QPushButton *button : {dialog.Button1, dialog.Button2, dialog.Button3})
            QVERIFY2(button->width() >= button->sizeHint().width(), qPrintable(button->objectName()));
    }
};

QTEST_MAIN(TestHelpDlg)
#include "tst_helpdlg.moc"
