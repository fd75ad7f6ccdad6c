#pragma once

#include "wizard/RunPage.h"

// The intermediate-upgrade run: the moment it is entered it runs the upgrade (TUpgradeRun) and
// shows its first phase: the configuration saved, SNMP prepared, the intermediate image
// downloaded, the IP settings kept, the boot image switched and the switch reset. Once the
// switch runs the intermediate version, the final-run page shows the rest.
class TFrameWorking final : public TRunPage
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFrameWorking(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFrameWorking)

    // Runs the upgrade. Once the end of the program is requested, entering does nothing: the
    // failure rule enters the page that was current before, which may be this one, and a run
    // is never started again that way on a switch that may be half-way through writing an
    // image.
    void PageEntered() override;
};
