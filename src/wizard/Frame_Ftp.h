#pragma once

#include "wizard/WizardFrame.h"

#include <QStringList>
#include <QWidget>

class QComboBox;
class QLabel;
class QPlainTextEdit;

// The addresses offered as the PC's TFTP server address, and the one the switch is told.
struct TServerAddresses
{
    QStringList Items;
    // -1 when there is none to choose.
    int Selected = -1;
};

// The PC's addresses (from its host name) with the PC-side address of the telnet connection
// chosen: the switch is known to reach that one, whatever the host name resolves to. When the
// list lacks it, it is added; without it, the first address is taken.
TServerAddresses serverAddresses(const QStringList &hostAddresses, const QString &localAddress);

// The TFTP page: the switch information again, the choice of the switch's address mode after
// the reset, and Next, which starts the TFTP server that the switch fetches its images from.
class TFrameFTP final : public QWidget, public IWizardFrame
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFrameFTP(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFrameFTP)

    QPlainTextEdit *MemoInfo;
    // The TFTP server address, chosen by the page; the operator never sees it.
    QComboBox *cbFtp;
    QLabel *lblIpAfterReset;
    QComboBox *ComboBox1;
    // The program that holds port 69 when Next found the port taken and the system names it;
    // hidden otherwise. The warning keeps its own text; this says which program to close.
    QLabel *lblPortHolder;

    // Once "Default IP" or "DHCP" is chosen.
    bool CanGoNext() const override;
    bool CanGoBack() const override { return false; }
    // The run, or the end when the switch runs the final version already.
    const QMetaObject *NextPageClass() const override;
    bool AbortRequested() const override { return false; }
    bool NextClicked() override;
    void PageEntered() override;
    bool ShowNavigation() const override { return true; }

    // The IPv4 addresses the PC's host name resolves to, joined by ","; empty when it does
    // not resolve.
    static QString LocalIP();

private:
    void showPortHolder();
};
