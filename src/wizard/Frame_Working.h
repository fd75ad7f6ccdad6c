#pragma once

#include "wizard/RunPage.h"

// The intermediate-upgrade run: the moment it is entered it saves the switch's configuration,
// prepares SNMP, downloads the intermediate image, keeps the IP settings, switches the boot
// image and resets the switch, then hands over to the final-run page once the switch runs the
// intermediate version.
class TFrameWorking final : public TRunPage
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFrameWorking(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFrameWorking)

    // Full runs made for a switch that came back from its reset without the intermediate
    // version, before the operator is asked to look at the switch: one more run covers a
    // switch that booted its old slot once; a switch that does it again rejects the image.
    static constexpr int kMaxFullRuns = 2;

    void PageEntered() override;
    // The overall bar one step on and the header's subtitle, both repainted at once.
    void AdvanceStep(const QString &Text);

private:
    void run();
    void fullRun();
    // After the reset: the final-run page, one more run, or the end with a message.
    void afterTheReset();

    int m_fullRuns = 0;
};
