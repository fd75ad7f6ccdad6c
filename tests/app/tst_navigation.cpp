#include "app/Form_Main.h"
#include "platform/Exceptions.h"
#include "wizard/Frame_Finish.h"
#include "wizard/Frame_Welcome.h"
#include "wizard/WizardFrame.h"

#include "AppTest.h"
#include "LeakedWindows.h"
#include "ScriptedDialogs.h"

#include <QPushButton>

#include <functional>
#include <stdexcept>

using Platform::MessageButtons;
using Platform::MessageKind;

namespace {

// What a test page answers, set by each case before the page is made.
struct Behaviour
{
    bool canGoNext = true;
    bool canGoBack = true;
    const QMetaObject *next = nullptr;
    bool showNavigation = true;
    bool nextOk = true;
    bool abort = false;
    // Runs first on every entry, as a run page that moves on by itself.
    std::function<void()> duringEntry;
    QString entryError;
    QString nextError;
    // Raise a std::exception instead of the program's own Exception.
    bool standardError = false;
    std::function<void()> duringNext;
    int entries = 0;
};

class TestPage : public QWidget, public IWizardFrame
{
public:
    TestPage(Behaviour &behaviour, QWidget *parent) : QWidget(parent), m_behaviour(behaviour) {}

    bool CanGoNext() const override { return m_behaviour.canGoNext; }
    bool CanGoBack() const override { return m_behaviour.canGoBack; }
    const QMetaObject *NextPageClass() const override { return m_behaviour.next; }
    bool AbortRequested() const override { return m_behaviour.abort; }
    bool ShowNavigation() const override { return m_behaviour.showNavigation; }
    bool NextClicked() override
    {
        if (m_behaviour.duringNext)
            m_behaviour.duringNext();
        if (!m_behaviour.nextError.isEmpty())
            raise(m_behaviour.nextError);
        return m_behaviour.nextOk;
    }
    void PageEntered() override
    {
        ++m_behaviour.entries;
        if (m_behaviour.duringEntry)
            m_behaviour.duringEntry();
        if (!m_behaviour.entryError.isEmpty())
            raise(m_behaviour.entryError);
    }

private:
    void raise(const QString &message) const
    {
        if (m_behaviour.standardError)
            throw std::runtime_error(message.toStdString());
        throw Exception(message);
    }

    Behaviour &m_behaviour;
};

} // namespace

class PageA final : public TestPage
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit PageA(QWidget *parent = nullptr) : TestPage(behaviour, parent) {}
    static inline Behaviour behaviour;
};

class PageB final : public TestPage
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit PageB(QWidget *parent = nullptr) : TestPage(behaviour, parent) {}
    static inline Behaviour behaviour;
};

// Pages, Next, Back and Finish of the real main window, with test pages that answer as each
// case says; errors go through the program's application object to the error box.
class TestNavigation : public QObject
{
    Q_OBJECT

    QTemporaryDir m_temp;
    ScriptedDialogs m_dialogs;
    std::unique_ptr<TMainForm> m_form;

    void startOn(const QMetaObject *pageClass)
    {
        m_form->ShowPageOfClass(pageClass);
        fallIdle();
    }

    void click(QPushButton *button)
    {
        QTest::mouseClick(button, Qt::LeftButton);
        fallIdle();
    }

    QWidget *page(const QMetaObject *pageClass) const { return m_form->FindPage(pageClass); }

    // A key as the operator presses it: to whatever has the focus.
    static void press(Qt::Key key)
    {
        QWidget *focused = QApplication::focusWidget();
        QVERIFY(focused);
        QTest::keyClick(focused, key);
        fallIdle();
    }

private slots:
    void initTestCase() { qputenv("TMPDIR", m_temp.path().toLocal8Bit()); }

    void init()
    {
        PageA::behaviour = {};
        PageB::behaviour = {};
        m_dialogs.clear();
        m_form = std::make_unique<TMainForm>(QStringLiteral("/nonexistent/tessaro"));
        m_form->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_form.get()));
    }

    void cleanup()
    {
        m_form.reset();
        QVERIFY2(leakedWindows().isEmpty(), qPrintable(leakedWindows().join(u' ')));
    }

    void startsOnWelcomeWithBackDisabled()
    {
        fallIdle();
        QCOMPARE(m_form->CurrentPageClass(), &TFrameWelcome::staticMetaObject);
        QVERIFY(m_form->History().isEmpty());
        // The page would allow Back; there is nothing to go back to.
        QVERIFY(m_form->CurrentFrame()->CanGoBack());
        QVERIFY(!m_form->btnBack->isEnabled());
        QVERIFY(m_form->btnNext->isEnabled());
        QCOMPARE(m_form->btnNext->text(), QStringLiteral("&Next >"));
        QVERIFY(m_dialogs.shown().isEmpty());
    }

    void nextAndBackReuseThePages()
    {
        PageA::behaviour.next = &PageB::staticMetaObject;
        PageB::behaviour.next = &PageA::staticMetaObject;
        startOn(&PageA::staticMetaObject);

        click(m_form->btnNext);
        QWidget *pageB = page(&PageB::staticMetaObject);
        QCOMPARE(m_form->CurrentPage(), pageB);
        QCOMPARE(m_form->History(), QList<QWidget *>{page(&PageA::staticMetaObject)});
        QVERIFY(m_form->btnBack->isEnabled());
        QVERIFY(pageB->isVisible());
        QVERIFY(!page(&PageA::staticMetaObject)->isVisible());

        // A page that does not allow Back keeps it disabled despite the history.
        PageB::behaviour.canGoBack = false;
        fallIdle();
        QVERIFY(!m_form->btnBack->isEnabled());
        PageB::behaviour.canGoBack = true;
        fallIdle();

        click(m_form->btnBack);
        QCOMPARE(m_form->CurrentPageClass(), &PageA::staticMetaObject);
        QVERIFY(m_form->History().isEmpty());
        QCOMPARE(PageA::behaviour.entries, 2);
        QVERIFY(!m_form->btnBack->isEnabled());

        click(m_form->btnNext);
        QCOMPARE(m_form->CurrentPage(), pageB);
        QCOMPARE(PageB::behaviour.entries, 2);
        QCOMPARE(m_form->Pages().size(), 3);
    }

    void nextNotOkKeepsPageAndHistory()
    {
        PageA::behaviour.next = &PageB::staticMetaObject;
        PageB::behaviour.next = &PageA::staticMetaObject;
        PageB::behaviour.nextOk = false;
        startOn(&PageA::staticMetaObject);
        click(m_form->btnNext);
        const QList<QWidget *> history = m_form->History();

        click(m_form->btnNext);
        QCOMPARE(m_form->CurrentPageClass(), &PageB::staticMetaObject);
        QCOMPARE(m_form->History(), history);
        QCOMPARE(PageA::behaviour.entries, 1);
        QCOMPARE(PageB::behaviour.entries, 1);
        QVERIFY(!m_form->WizardBusy());
        QVERIFY(m_form->btnNext->isEnabled());
    }

    void navigationIsDisabledWhileNextRuns()
    {
        PageA::behaviour.next = &PageB::staticMetaObject;
        PageB::behaviour.next = &PageA::staticMetaObject;
        PageB::behaviour.nextOk = false;
        startOn(&PageA::staticMetaObject);
        click(m_form->btnNext);
        QVERIFY(m_form->btnBack->isEnabled());

        struct
        {
            bool busy = false;
            bool nextEnabled = true;
            bool backEnabled = true;
        } during;
        PageB::behaviour.duringNext = [&] {
            // A run waits in event loops of its own, where the idle-time updates run too.
            fallIdle();
            during = {m_form->WizardBusy(), m_form->btnNext->isEnabled(), m_form->btnBack->isEnabled()};
        };
        click(m_form->btnNext);
        QVERIFY(during.busy);
        QVERIFY(!during.nextEnabled);
        QVERIFY(!during.backEnabled);
        QVERIFY(!m_form->WizardBusy());
        QVERIFY(m_form->btnNext->isEnabled());
        QVERIFY(m_form->btnBack->isEnabled());
    }

    void errorsReachTheErrorBox_data()
    {
        QTest::addColumn<bool>("onEntry");
        QTest::addColumn<bool>("standardError");
        QTest::addColumn<int>("historySize");
        QTest::addColumn<int>("entriesOfA");
        QTest::newRow("NextClicked raises") << false << false << 0 << 1;
        QTest::newRow("the next page's entry raises") << true << false << 1 << 2;
        QTest::newRow("the entry raises a standard error") << true << true << 1 << 2;
    }

    void errorsReachTheErrorBox()
    {
        QFETCH(bool, onEntry);
        QFETCH(bool, standardError);
        QFETCH(int, historySize);
        QFETCH(int, entriesOfA);
        const QString message = QStringLiteral("Application will now terminate , please try again later");
        PageA::behaviour.next = &PageB::staticMetaObject;
        PageA::behaviour.standardError = PageB::behaviour.standardError = standardError;
        (onEntry ? PageB::behaviour.entryError : PageA::behaviour.nextError) = message;
        startOn(&PageA::staticMetaObject);

        click(m_form->btnNext);

        QCOMPARE(m_dialogs.shown().size(), 1);
        QCOMPARE(m_dialogs.shown().first().kind, MessageKind::Error);
        QCOMPARE(m_dialogs.shown().first().text, message);
        QCOMPARE(m_dialogs.shown().first().buttons, MessageButtons::Ok);
        // The page where Next was pressed is current again, entered anew after a failed entry.
        QCOMPARE(m_form->CurrentPageClass(), &PageA::staticMetaObject);
        QVERIFY(page(&PageA::staticMetaObject)->isVisible());
        QCOMPARE(PageA::behaviour.entries, entriesOfA);
        QCOMPARE(m_form->History().size(), historySize);
        QVERIFY(!m_form->WizardBusy());
        QVERIFY(m_form->btnNext->isEnabled());
        QVERIFY(m_form->isVisible());
    }

    void twoFailingPagesDoNotBounceForever()
    {
        // A entered again after B failed moves on to B by itself, which fails again: the
        // second failure ends there instead of entering A once more, and so on without end.
        PageA::behaviour.next = &PageB::staticMetaObject;
        PageA::behaviour.duringEntry = [this] {
            if (PageA::behaviour.entries > 1)
                m_form->ShowPageOfClass(&PageB::staticMetaObject);
        };
        PageB::behaviour.entryError = QStringLiteral("B failed");
        startOn(&PageA::staticMetaObject);

        click(m_form->btnNext);

        QCOMPARE(m_dialogs.texts(), QStringList{QStringLiteral("B failed")});
        QCOMPARE(PageA::behaviour.entries, 2);
        QCOMPARE(PageB::behaviour.entries, 2);
        QVERIFY(!m_form->WizardBusy());
    }

    void abortClosesWithoutQuestion()
    {
        PageA::behaviour.next = &PageB::staticMetaObject;
        PageA::behaviour.abort = true;
        startOn(&PageA::staticMetaObject);

        click(m_form->btnNext);

        QVERIFY(!m_form->isVisible());
        QVERIFY(m_dialogs.shown().isEmpty());
        QVERIFY(!m_form->CurrentFrame());
        QVERIFY(!page(&PageB::staticMetaObject));
        QVERIFY(!m_form->btnNext->isEnabled());
    }

    void pageMayHideNavigation()
    {
        PageA::behaviour.next = &PageB::staticMetaObject;
        PageB::behaviour.next = &PageA::staticMetaObject;
        PageB::behaviour.showNavigation = false;
        startOn(&PageA::staticMetaObject);
        click(m_form->btnNext);
        QVERIFY(!m_form->btnNext->isVisible());
        QVERIFY(!m_form->btnBack->isVisible());
        QVERIFY(m_form->btnCancel->isVisible());
    }

    void finishPageOffersOnlyFinish()
    {
        PageA::behaviour.next = &TFrameFinish::staticMetaObject;
        startOn(&PageA::staticMetaObject);
        const int cancelX = m_form->btnCancel->x();
        click(m_form->btnNext);

        QCOMPARE(m_form->CurrentPageClass(), &TFrameFinish::staticMetaObject);
        QVERIFY(m_form->btnNext->isVisible());
        QCOMPARE(m_form->btnNext->text(), QStringLiteral("Finish"));
        QCOMPARE(m_form->btnNext->accessibleName(), QStringLiteral("Finish"));
        QCOMPARE(m_form->btnNext->x(), cancelX);
        QVERIFY(!m_form->btnBack->isVisible());
        QVERIFY(!m_form->btnCancel->isVisible());
        QVERIFY(m_form->btnHelp->isVisible());
        QVERIFY(!page(&PageA::staticMetaObject)->isVisible());

        click(m_form->btnNext);
        QVERIFY(!m_form->isVisible());
        QVERIFY(m_dialogs.shown().isEmpty());
    }

    // Disabling Next while it works moves the focus on to another button of the bar, where
    // Enter would press that button. After every page change Next has the focus when it is
    // offered, and the page when it is not yet.
    void enterFollowsNextFromPageToPage()
    {
        PageA::behaviour.next = &PageB::staticMetaObject;
        PageB::behaviour.next = &TFrameFinish::staticMetaObject;
        PageB::behaviour.canGoNext = false;
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        QCOMPARE(QApplication::focusWidget(), m_form->btnNext);
        startOn(&PageA::staticMetaObject);

        press(Qt::Key_Return);
        QCOMPARE(m_form->CurrentPageClass(), &PageB::staticMetaObject);
        QVERIFY(page(&PageB::staticMetaObject)->isAncestorOf(QApplication::focusWidget())
                || QApplication::focusWidget() == page(&PageB::staticMetaObject));
        press(Qt::Key_Return);
        QCOMPARE(m_form->CurrentPageClass(), &PageB::staticMetaObject);

        PageB::behaviour.canGoNext = true;
        fallIdle();
        press(Qt::Key_Return);
        QCOMPARE(m_form->CurrentPageClass(), &TFrameFinish::staticMetaObject);
        QCOMPARE(QApplication::focusWidget(), m_form->btnNext);
        press(Qt::Key_Return);
        QVERIFY(!m_form->isVisible());
        QVERIFY(m_dialogs.shown().isEmpty());
    }

    // Back is a page change too.
    void backGivesNextTheFocus()
    {
        PageA::behaviour.next = &PageB::staticMetaObject;
        PageB::behaviour.next = &PageA::staticMetaObject;
        QVERIFY(QTest::qWaitForWindowActive(m_form.get()));
        startOn(&PageA::staticMetaObject);
        press(Qt::Key_Return);
        QCOMPARE(m_form->CurrentPageClass(), &PageB::staticMetaObject);

        click(m_form->btnBack);
        QCOMPARE(m_form->CurrentPageClass(), &PageA::staticMetaObject);
        QCOMPARE(QApplication::focusWidget(), m_form->btnNext);
    }
};

TESSARO_APP_TEST_MAIN(TestNavigation)
#include "tst_navigation.moc"
