#pragma once

#include <QStringList>

struct QMetaObject;
class QWidget;
class TTelnetOperations;
class TfrmMain;
struct TRunRecord;

// The main window as its pages see it. The program has one; pages reach it through
// mainForm(), since the main window sits above the pages and they cannot name its class.
class IWizardHost
{
public:
    virtual ~IWizardHost() = default;

    // The one object that drives the switch, for the program's lifetime.
    virtual TTelnetOperations *Operations() const = 0;
    // The switch information that the device page showed, for the pages after it.
    virtual QStringList &DeviceInfo() = 0;
    // The TFTP server host; nullptr until the program has made it.
    virtual TfrmMain *TftpHost() const = 0;
    // Shows the page of that class, made on first use; pages use it to move on by themselves.
    virtual void ShowPageOfClass(const QMetaObject *pageClass) = 0;
    virtual QWidget *CurrentPage() const = 0;
    // Writes the run log to the working folder and beside the configuration file.
    virtual void SaveLog() = 0;
    // The log's file beside the configuration file.
    virtual QString LogPath() const = 0;
    // The record of the upgrade run once it has ended; nullptr before.
    virtual const TRunRecord *RunRecord() const = 0;
    virtual void SetRunRecord(const TRunRecord &record) = 0;
    // A run has begun: Cancel goes for the rest of the program.
    virtual void hideCancel() = 0;
};

IWizardHost *mainForm();
// Called by the main window alone, as it comes and goes.
void setMainForm(IWizardHost *host);
