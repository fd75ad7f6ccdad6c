#pragma once

#include "app/Form_Main.h"
#include "tftp/host/HostWindow.h"
#include "wizard/HelpDlg.h"

#include "AppTest.h"
#include "TestPaths.h"

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTextBlock>

#include <optional>

// The program's windows as its entry makes them, in that order, over a packed payload: the
// main window, the TFTP host and the help dialog. Tests drive it only through its widgets.
class WizardUnderTest final
{
public:
    explicit WizardUnderTest(const QString &payload) : mainForm(payload), host(payload), help(&mainForm)
    {
        mainForm.SetTftpHost(&host);
        mainForm.SetHelpDialog(&help);
        mainForm.show();
    }
    Q_DISABLE_COPY_MOVE(WizardUnderTest)

    template<class Page>
    Page *page() const
    {
        return qobject_cast<Page *>(mainForm.FindPage(&Page::staticMetaObject));
    }

    // As an operator does it: the field emptied, the text typed.
    static void type(QLineEdit *field, const QString &text)
    {
        field->selectAll();
        QTest::keyClick(field, Qt::Key_Delete);
        QTest::keyClicks(field, text);
        fallIdle();
    }

    // Picks an entry of a drop-down list with the keyboard.
    static void choose(QComboBox *list, const QString &entry)
    {
        list->setFocus();
        const int target = list->findText(entry);
        while (list->currentIndex() != target) {
            const int before = list->currentIndex();
            QTest::keyClick(list, list->currentIndex() < target ? Qt::Key_Down : Qt::Key_Up);
            if (list->currentIndex() == before)
                return;
        }
        fallIdle();
    }

    // Presses Next once it is offered; whatever runs from it has ended when this returns.
    bool next()
    {
        fallIdle();
        if (!mainForm.btnNext->isEnabled() || !mainForm.btnNext->isVisible())
            return false;
        QTest::mouseClick(mainForm.btnNext, Qt::LeftButton);
        fallIdle();
        return true;
    }

    TMainForm mainForm;
    TfrmMain host;
    TOKHelpBottomDlg help;
};

// The built program's wizard over a temporary folder of its own as TMPDIR: the working folder,
// the logs and the help documents land there, so that no test meets another's files. The
// windows close before the folder goes.
class WizardInTempFolder final
{
public:
    explicit WizardInTempFolder(const QString &name) : temp(systemTempPath() + u'/' + name + QStringLiteral("-XXXXXX")) {}
    Q_DISABLE_COPY_MOVE(WizardInTempFolder)

    // False when the folder could not be made or the main window never showed.
    bool open()
    {
        if (!temp.isValid())
            return false;
        qputenv("TMPDIR", temp.path().toLocal8Bit());
        wizard.emplace(binPath(QStringLiteral("tessaro")));
        const bool exposed = QTest::qWaitForWindowExposed(&wizard->mainForm);
        fallIdle();
        return exposed;
    }

    QTemporaryDir temp;
    std::optional<WizardUnderTest> wizard;

private:
    // The system's temporary folder as it was before a test pointed TMPDIR elsewhere.
    static QString systemTempPath()
    {
        static const QString path = QDir::tempPath();
        return path;
    }
};

// What the operator saw on the run pages while they worked: for each page, the header's
// subtitles and the overall bar's positions in the order they changed, and the memo's lines
// as they came. Hooks run on chosen memo lines, to act in the middle of a run.
class RunObserver final : public QObject
{
    Q_OBJECT

public:
    struct Seen
    {
        QStringList subtitles;
        QStringList bar; // "position/maximum"
    };

    explicit RunObserver(TMainForm &mainForm) : m_mainForm(mainForm) { mainForm.pnlPages->installEventFilter(this); }

    Seen seen(const QString &page) const { return m_seen.value(page); }
    // Calls action once, when a memo line equal to line appears on a run page.
    void onMemoLine(const QString &line, std::function<void()> action) { m_hooks.append({line, std::move(action)}); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_mainForm.pnlPages && event->type() == QEvent::ChildAdded)
            watchPage(static_cast<QChildEvent *>(event)->child());
        else if (event->type() == QEvent::Paint && watched->objectName() == QLatin1String("lblSubtitle"))
            noteSubtitle(watched);
        return false;
    }

private:
    void watchPage(QObject *page)
    {
        auto *bar = page->findChild<QProgressBar *>(QStringLiteral("prbOverall"));
        auto *memo = page->findChild<QPlainTextEdit *>(QStringLiteral("MemoInfo"));
        QObject *subtitle = page->findChild<QObject *>(QStringLiteral("lblSubtitle"));
        if (!bar || !memo || !subtitle)
            return;
        const QString name = page->objectName();
        connect(bar, &QProgressBar::valueChanged, this, [this, name, bar](int value) {
            m_seen[name].bar << QStringLiteral("%1/%2").arg(value).arg(bar->maximum());
        });
        connect(memo, &QPlainTextEdit::textChanged, this, [this, memo] {
            const QString line = memo->document()->lastBlock().text();
            for (auto &hook : m_hooks) {
                if (hook.action && line == hook.line)
                    std::exchange(hook.action, {})();
            }
        });
        subtitle->installEventFilter(this);
    }

    void noteSubtitle(QObject *label)
    {
        QStringList &subtitles = m_seen[label->parent()->parent()->objectName()].subtitles;
        const QString text = label->property("text").toString();
        if (text != QLatin1String("Wizard is working") && (subtitles.isEmpty() || subtitles.last() != text))
            subtitles << text;
    }

    struct Hook
    {
        QString line;
        std::function<void()> action;
    };
    TMainForm &m_mainForm;
    QMap<QString, Seen> m_seen;
    QList<Hook> m_hooks;
};
