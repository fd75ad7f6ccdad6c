#pragma once

#include "tftp/TrivialFTPServer.h"

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

// Of two exit statuses, the one that asks more of the operator: 130 (the run was stopped),
// then 4 (a switch may be left half-way), 5 (a switch to check), 3 (nothing changed), 1, 2,
// and 0 last. The status of a run over several switches is the worst of theirs.
int worseExitStatus(int a, int b);

// Switches that run at once unless --parallel says otherwise.
inline constexpr int kDefaultParallel = 8;
// A switch may hold two of the TFTP server's transfers at once (its own and a stale retry of
// an earlier one), and the server keeps no more than kMaxOpenTransfers open.
inline constexpr int kMaxParallel = TTrivialFTPServer::kMaxOpenTransfers / 2;

// What the command line asked for. The password never comes from the command line: it would
// show in the process list.
struct TRunOptions
{
    // Every --switch, in the order given; empty with --inventory.
    QStringList Switches;
    QString UserName;
    // Absolute, so that the log and the record land beside it whatever the current folder.
    // One --switch: the backup file. Several: the folder that takes each switch's backup as
    // <address>.cfg.
    QString BackupPath;
    // Absolute; empty without --inventory.
    QString InventoryPath;
    int Parallel = kDefaultParallel;
    bool DhcpAfterReset = false;
    // Empty: the PC's own address on the telnet connection.
    QString TftpAddress;
    QString PasswordFile;
    bool Json = false;
    bool PlanOnly = false;
    bool Help = false;

    // Several switches in one run: each line of the display names its switch, and a summary
    // ends the run.
    bool fleet() const { return !InventoryPath.isEmpty() || Switches.size() > 1; }
};

struct TParsedOptions
{
    TRunOptions Options;
    // Why the command line is refused, for the operator; empty when it is not.
    QString Error;
};

// arguments as the program got them, its own name first.
TParsedOptions parseRunOptions(const QStringList &arguments);

bool isIpv4Address(const QString &text);

// Why path cannot take a switch's backup, as the end of a sentence that begins with the path
// (" is a folder: ...", ": the folder ... does not exist."); empty when it can.
QString backupFileProblem(const QString &path);

// --help: each option with an example, where the password comes from, the exit statuses.
QString runHelpText();
