#pragma once

#include <QString>
#include <QStringList>

// The exit statuses of tessaro-run; --help lists them.
enum RunExitStatus : int {
    // The switch runs the final version (a plan was made, with --plan).
    kExitFinal = 0,
    // The program could not prepare itself: working folder, payload or the TFTP server.
    kExitCannotStart = 1,
    kExitUsage = 2,
    // Logging in or taking the inventory failed; nothing was changed on the switch.
    kExitInventoryFailed = 3,
    kExitRunFailed = 4,
    // The switch reported the last step of its own upgrade but was not seen running the
    // final version after its reset.
    kExitUnconfirmed = 5,
    // Stopped by Ctrl-C (SIGINT), SIGTERM or a hang-up, as shells report a SIGINT.
    kExitInterrupted = 130,
};

// What the command line asked for. The password never comes from the command line: it would
// show in the process list.
struct TRunOptions
{
    QString SwitchAddress;
    QString UserName;
    // Absolute, so that the log and the record land beside it whatever the current folder.
    QString BackupPath;
    bool DhcpAfterReset = false;
    // Empty: the PC's own address on the telnet connection.
    QString TftpAddress;
    QString PasswordFile;
    bool Json = false;
    bool PlanOnly = false;
    bool Help = false;
};

struct TParsedOptions
{
    TRunOptions Options;
    // Why the command line is refused, for the operator; empty when it is not.
    QString Error;
};

// arguments as the program got them, its own name first.
TParsedOptions parseRunOptions(const QStringList &arguments);

// --help: each option with an example, where the password comes from, the exit statuses.
QString runHelpText();
