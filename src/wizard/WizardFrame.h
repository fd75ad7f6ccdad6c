#pragma once

struct QMetaObject;

// The page interface through which the main window drives every page; it knows nothing else
// of a page's content. A page is a QWidget with Q_OBJECT and a Q_INVOKABLE constructor, and
// its class (its QMetaObject) is how the pages name each other.
class IWizardFrame
{
public:
    virtual ~IWizardFrame() = default;

    virtual bool CanGoNext() const = 0;
    // Back may be enabled, given a page to go back to.
    virtual bool CanGoBack() const = 0;
    // The page Next leads to; nullptr on the last page, where Next reads "Finish".
    virtual const QMetaObject *NextPageClass() const = 0;
    // Asked after a successful NextClicked: true closes the wizard instead of moving on.
    virtual bool AbortRequested() const = 0;
    // The page's work on Next; false keeps the wizard on the page.
    virtual bool NextClicked() = 0;
    // Every time the page has become the current page, also on Back and when shown again.
    virtual void PageEntered() = 0;
    // Whether Next and Back are visible; asked only of pages that have a next page.
    virtual bool ShowNavigation() const = 0;
};
