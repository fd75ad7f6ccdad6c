#pragma once

#include "wizard/RunPage.h"

// The final-upgrade run: the switch, now running the intermediate image, upgrades itself and
// reports its steps in its SNMP contact object; the page shows them as the run reads them,
// until the last step.
class TFrameWorkingInter final : public TRunPage
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFrameWorkingInter(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFrameWorkingInter)

    // Takes over the run's display; the run itself goes on where it began.
    void PageEntered() override;
};
