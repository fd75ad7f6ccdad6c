#include "wizard/RunView.h"

#include "platform/Exceptions.h"
#include "platform/Terminate.h"
#include "run/UpgradeRun.h"
#include "upgrade/upgrade_device.h"
#include "wizard/Frame_Finish.h"
#include "wizard/RunPage.h"
#include "wizard/WizardHost.h"
#include "wizard/frame_workingInter.h"

void prepareWizardRun(TUpgradeRun &run)
{
    run.Program = QStringLiteral("tessaro ") + QStringLiteral(TESSARO_VERSION);
    run.LogPath = mainForm()->LogPath();
    run.SaveLog = [] { mainForm()->SaveLog(); };
}

TRunView::TRunView(TUpgradeRun &run, TRunPage *firstPage) : m_run(run), m_page(firstPage)
{
    prepareWizardRun(run);
    connect(&run, &TUpgradeRun::phaseStarted, this, &TRunView::showPhase);
    connect(&run, &TUpgradeRun::stepCountChanged, this, [this](int count) { m_page->SetStepCount(count); });
    connect(&run, &TUpgradeRun::stepStarted, this,
            [this](int position, const QString &text) { m_page->ShowStatus(text, position); });
    connect(&run, &TUpgradeRun::statusRead, this,
            [this](const QString &status, int step) { m_page->ShowStatus(status, step); });
    connect(&run, &TUpgradeRun::progressLine, this, [this](const QString &text) { m_page->ShowProgressLine(text); });
    connect(&run, &TUpgradeRun::message, this, &Platform::showMessage);
    connect(&run, &TUpgradeRun::estimateChanged, this, [this](qint64 ms) { m_page->ShowTimeLeft(ms); });
    connect(&run, &TUpgradeRun::waitStarted, this, [this](const QString &, int ms) { m_page->ShowWait(ms); });
}

void TRunView::showPhase(TRunPhase phase)
{
    if (phase != TRunPhase::Final)
        return;
    mainForm()->ShowPageOfClass(&TFrameWorkingInter::staticMetaObject);
    m_page = qobject_cast<TRunPage *>(mainForm()->CurrentPage());
}

void TRunView::conclude(const TRunResult &result)
{
    mainForm()->SetRunRecord(m_run.Record());
    // A switch that reported its last step but was not seen on the final version has been
    // left as the operator was told; the Finish page says so instead of claiming success.
    if (result.succeeded() || result.Outcome == TRunOutcome::Unconfirmed) {
        mainForm()->ShowPageOfClass(&TFrameFinish::staticMetaObject);
        return;
    }
    m_page->Aborted = true;
    Platform::requestTerminate();
    if (!result.Error.isEmpty())
        throw Exception(result.Error);
}
