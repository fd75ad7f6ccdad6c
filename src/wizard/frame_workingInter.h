#pragma once

#include "wizard/RunPage.h"

#include <optional>

class TSNMP;

// The final-upgrade run: the switch, now running the intermediate image, upgrades itself and
// reports its steps in its SNMP contact object; the page shows them until the last step,
// acknowledges it and moves on to the Finish page.
class TFrameWorkingInter final : public TRunPage
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFrameWorkingInter(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFrameWorkingInter)

    // Reads of the status without a change before the switch counts as lost.
    static constexpr int kUnchangedReads = 330;

    // The last status text seen.
    QString LastStatus;

    void PageEntered() override;
    // The overall bar at Position (within its range) and the header's subtitle, repainted
    // at once.
    void ShowStatus(const QString &Text, int Position);
    // One read of the status: the text, "Step X: Polling ......." when the switch does not
    // answer, "could not get snmp info" when the read fails.
    QString ReadStatus();
    // Writes an empty status: the switch may go on to its reset.
    void AcknowledgeLastStep();
    void PollDevice();

private:
    void run();

    // The SNMP access of the latest entry; each entry makes a new one.
    TSNMP *m_snmp = nullptr;
};

// The step number a status text announces: the number between "Step " and the first ":"
// after it (0 when it is not one), or none when the text announces no step.
std::optional<int> statusStep(const QString &status);
