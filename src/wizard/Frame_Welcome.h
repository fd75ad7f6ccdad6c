#pragma once

#include "wizard/WizardFrame.h"

#include <QWidget>

class QLabel;

// The program's file version as a version resource keeps it: two 32-bit words of two 16-bit
// numbers each, major and minor in the first, release and build in the second.
struct TFileVersion
{
    quint32 MS = 0;
    quint32 LS = 0;
};

// "a.b.c.d" (missing numbers count as 0) packed into the two words.
TFileVersion fileVersion(const QString &version);
// "Version: %d.%d.%d.%d": the high 16 and the low 8 bits of each word.
QString versionLabel(const TFileVersion &version);

// The first page: the sidebar picture, the greeting, the program's version and the maker's
// notice. No header.
class TFrameWelcome final : public QWidget, public IWizardFrame
{
    Q_OBJECT

public:
    Q_INVOKABLE explicit TFrameWelcome(QWidget *parent = nullptr);
    Q_DISABLE_COPY_MOVE(TFrameWelcome)

    QLabel *Image1;
    QLabel *lblPageTitle;
    QLabel *lblPageText;
    QLabel *lblToContinueClickNext;
    QLabel *lblVersion;
    QLabel *lblNotice;

    bool CanGoNext() const override { return true; }
    bool CanGoBack() const override { return true; }
    const QMetaObject *NextPageClass() const override;
    bool AbortRequested() const override { return false; }
    bool NextClicked() override { return true; }
    void PageEntered() override;
    bool ShowNavigation() const override { return true; }

    void LoadSidebar();
};
