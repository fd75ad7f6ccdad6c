#include "wizard/WidgetDialogs.h"

#include "LeakedWindows.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QMessageBox>
#include <QTimer>
#include <QtTest>

using Platform::MessageAnswer;
using Platform::MessageButtons;
using Platform::MessageKind;

Q_DECLARE_METATYPE(MessageKind)
Q_DECLARE_METATYPE(MessageButtons)
Q_DECLARE_METATYPE(MessageAnswer)

// The real message boxes, as the operator sees them: icon, title, text with its line breaks,
// buttons, and the answer taken from the button pressed.
class TestWidgetDialogs : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase() { QGuiApplication::setApplicationDisplayName(QStringLiteral("Tessaro")); }
    void cleanup() { QVERIFY2(leakedWindows().isEmpty(), qPrintable(leakedWindows().join(u' '))); }

    void displayText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("shown");
        QTest::newRow("LF CR") << "Telnet is closed\n\rApplication will terminate." << "Telnet is closed\nApplication will terminate.";
        QTest::newRow("CR LF") << "not completed.\r\nAre you sure?" << "not completed.\nAre you sure?";
        QTest::newRow("LF then LF CR") << "a\n\n\rb" << "a\n\nb";
        QTest::newRow("two LF CR pairs") << "a\n\r\n\rb" << "a\n\nb";
        QTest::newRow("lone CR") << "a\rb" << "a\nb";
        QTest::newRow("no break") << "Directory Does not Exists" << "Directory Does not Exists";
    }

    void displayText()
    {
        QFETCH(QString, text);
        QFETCH(QString, shown);
        QCOMPARE(::displayText(text), shown);
    }

    void messageBox_data()
    {
        QTest::addColumn<MessageKind>("kind");
        QTest::addColumn<MessageButtons>("buttons");
        QTest::addColumn<int>("press");
        QTest::addColumn<int>("icon");
        QTest::addColumn<int>("standardButtons");
        QTest::addColumn<MessageAnswer>("answer");
        const int yesNo = QMessageBox::Yes | QMessageBox::No;
        QTest::newRow("error") << MessageKind::Error << MessageButtons::Ok << int(QMessageBox::Ok)
                               << int(QMessageBox::Critical) << int(QMessageBox::Ok) << MessageAnswer::Ok;
        QTest::newRow("warning") << MessageKind::Warning << MessageButtons::Ok << int(QMessageBox::Ok)
                                 << int(QMessageBox::Warning) << int(QMessageBox::Ok) << MessageAnswer::Ok;
        QTest::newRow("plain") << MessageKind::Plain << MessageButtons::Ok << int(QMessageBox::Ok)
                               << int(QMessageBox::NoIcon) << int(QMessageBox::Ok) << MessageAnswer::Ok;
        QTest::newRow("question, no") << MessageKind::Question << MessageButtons::YesNo << int(QMessageBox::No)
                                      << int(QMessageBox::Question) << yesNo << MessageAnswer::No;
        QTest::newRow("information, yes") << MessageKind::Information << MessageButtons::YesNo << int(QMessageBox::Yes)
                                          << int(QMessageBox::Information) << yesNo << MessageAnswer::Yes;
    }

    void messageBox()
    {
        QFETCH(MessageKind, kind);
        QFETCH(MessageButtons, buttons);
        QFETCH(int, press);
        QFETCH(int, icon);
        QFETCH(int, standardButtons);
        QFETCH(MessageAnswer, answer);

        struct Seen
        {
            bool found = false;
            int icon = -1;
            int buttons = 0;
            QString title;
            QString text;
        } seen;
        QTimer::singleShot(0, this, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            if (!box)
                return;
            seen = {true, int(box->icon()), int(box->standardButtons()), box->windowTitle(), box->text()};
            box->button(QMessageBox::StandardButton(press))->click();
        });

        TWidgetDialogs dialogs;
        const MessageAnswer given = Platform::dialogs().message(kind, QStringLiteral("first\n\rsecond"), buttons);

        QVERIFY(seen.found);
        QCOMPARE(seen.icon, icon);
        QCOMPARE(seen.buttons, standardButtons);
        QCOMPARE(seen.title, QStringLiteral("Tessaro"));
        QCOMPARE(seen.text, QStringLiteral("first\nsecond"));
        QCOMPARE(given, answer);
    }

    void fileOpenDialogTakesANewName()
    {
        // The device page asks where the configuration is to be saved: a file that does not
        // exist yet, in a folder that does.
        QTemporaryDir folder;
        const QString chosen = folder.filePath(QStringLiteral("new.conf"));
        const QStringList filters{QStringLiteral("all (*.*)"), QStringLiteral("text file extention (*.txt)")};
        QStringList seenFilters;
        QTimer::singleShot(0, this, [&] {
            auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            seenFilters = dialog->nameFilters();
            dialog->selectFile(chosen);
            static_cast<QDialog *>(dialog)->accept();
        });

        // A dialog that refuses the name (with a box of its own) would wait for the operator
        // for ever.
        QTimer hangGuard;
        hangGuard.setSingleShot(true);
        connect(&hangGuard, &QTimer::timeout, this, [] {
            while (auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget()))
                dialog->reject();
        });
        hangGuard.start(10000);

        TWidgetDialogs dialogs;
        const QString given = Platform::dialogs().openFileName(folder.filePath(QStringLiteral("old.txt")), filters);

        QCOMPARE(seenFilters, filters);
        QCOMPARE(given, chosen);
        QVERIFY(!QFileInfo::exists(chosen));
    }
};

QTEST_MAIN(TestWidgetDialogs)
#include "tst_widgetdialogs.moc"
