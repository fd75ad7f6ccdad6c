#pragma once

#include "run/RunEvents.h"

#include <QObject>

class TRunPage;
class TUpgradeRun;

// Gives a run what the wizard keeps for it: the program's name, the main window's log.
void prepareWizardRun(TUpgradeRun &run);

// The wizard's face of a run: the intermediate-run page shows the first phase and the
// final-run page, which it brings up when the switch starts its own upgrade, the second; the
// procedure's messages are modal boxes; the log is the main window's. How the run ended
// decides the page that follows: the Finish page, or the failure as the wizard has always
// shown it.
class TRunView final : public QObject
{
    Q_OBJECT

public:
    TRunView(TUpgradeRun &run, TRunPage *firstPage);
    Q_DISABLE_COPY_MOVE(TRunView)

    // After a success, the Finish page. After a failure the page showing the run is marked
    // aborted and the program's end requested; an error that ended the run is raised again,
    // so that the main window's failure rule and error display take it as they always have.
    void conclude(const TRunResult &result);

private:
    void showPhase(TRunPhase phase);

    TUpgradeRun &m_run;
    TRunPage *m_page;
};
