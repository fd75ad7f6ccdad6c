#include "RunOptions.h"

#include <QCommandLineParser>
#include <QDir>
#include <QFileInfo>
#include <QHostAddress>

#include <algorithm>
#include <array>

namespace {

QString checkedBackupPath(const QString &path, QString &error)
{
    if (path.trimmed().isEmpty()) {
        error = QStringLiteral("--backup needs the path of a file for the switch's configuration.");
        return {};
    }
    const QString problem = backupFileProblem(path);
    if (!problem.isEmpty()) {
        error = QStringLiteral("--backup ") + path + problem;
        return {};
    }
    return QFileInfo(path).absoluteFilePath();
}

QString checkedBackupFolder(const QString &path, QString &error)
{
    const QFileInfo folder(path);
    if (path.trimmed().isEmpty() || !folder.isDir()) {
        error = QStringLiteral("--backup %1: with several --switch, --backup names an existing folder, which takes each "
                               "switch's configuration as <address>.cfg.")
                    .arg(path);
        return {};
    }
    if (!folder.isWritable()) {
        error = QStringLiteral("--backup %1: the folder is not writable by this user.").arg(path);
        return {};
    }
    return QDir::cleanPath(folder.absoluteFilePath());
}

// --parallel N: a whole number from 1 to kMaxParallel.
int checkedParallel(const QString &text, QString &error)
{
    bool ok = false;
    const int parallel = text.trimmed().toInt(&ok);
    if (!ok || parallel < 1) {
        error = QStringLiteral("--parallel needs a whole number of switches from 1 to %1, not \"%2\".")
                    .arg(kMaxParallel)
                    .arg(text);
        return 0;
    }
    if (parallel > kMaxParallel) {
        error = QStringLiteral("--parallel %1: at most %2 switches run at once. The TFTP server keeps at most %3 transfers "
                               "open, and a switch may hold two of them at once (its own and a stale retry of an "
                               "earlier one).")
                    .arg(parallel)
                    .arg(kMaxParallel)
                    .arg(TTrivialFTPServer::kMaxOpenTransfers);
        return 0;
    }
    return parallel;
}

} // namespace

int worseExitStatus(int a, int b)
{
    static constexpr std::array kWorstFirst{int(kExitInterrupted), int(kExitRunFailed),    int(kExitUnconfirmed),
                                            int(kExitInventoryFailed), int(kExitCannotStart), int(kExitUsage)};
    for (const int status : kWorstFirst) {
        if (a == status || b == status)
            return status;
    }
    return std::max(a, b);
}

bool isIpv4Address(const QString &text)
{
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol
        && text.count(u'.') == 3;
}

QString backupFileProblem(const QString &path)
{
    const QFileInfo file(path);
    if (file.isDir())
        return QStringLiteral(" is a folder: give the path of a file in it.");
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir())
        return QStringLiteral(": the folder %1 does not exist.").arg(folder.filePath());
    if (!folder.isWritable())
        return QStringLiteral(": the folder %1 is not writable by this user.").arg(folder.filePath());
    return {};
}

TParsedOptions parseRunOptions(const QStringList &arguments)
{
    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    const QCommandLineOption help(QStringList{QStringLiteral("h"), QStringLiteral("help")});
    const QCommandLineOption switchAddress(QStringLiteral("switch"), QString(), QStringLiteral("ADDRESS"));
    const QCommandLineOption user(QStringLiteral("user"), QString(), QStringLiteral("NAME"));
    const QCommandLineOption backup(QStringLiteral("backup"), QString(), QStringLiteral("PATH"));
    const QCommandLineOption afterReset(QStringLiteral("after-reset"), QString(), QStringLiteral("MODE"));
    const QCommandLineOption tftpAddress(QStringLiteral("tftp-address"), QString(), QStringLiteral("LOCAL"));
    const QCommandLineOption passwordFile(QStringLiteral("password-file"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption inventory(QStringLiteral("inventory"), QString(), QStringLiteral("FILE"));
    const QCommandLineOption parallel(QStringLiteral("parallel"), QString(), QStringLiteral("N"));
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption plan(QStringLiteral("plan"));
    parser.addOptions(
        {help, switchAddress, user, backup, afterReset, tftpAddress, passwordFile, inventory, parallel, json, plan});

    TParsedOptions parsed;
    TRunOptions &options = parsed.Options;
    if (!parser.parse(arguments)) {
        if (parser.unknownOptionNames().contains(QStringLiteral("password"))) {
            parsed.Error = QStringLiteral("There is no --password option: a password on the command line shows in the "
                                          "process list. Use --password-file FILE or the environment variable "
                                          "TESSARO_PASSWORD, or type it when asked.");
        } else {
            parsed.Error = parser.errorText();
        }
        return parsed;
    }
    if (parser.isSet(help)) {
        options.Help = true;
        return parsed;
    }
    if (!parser.positionalArguments().isEmpty()) {
        parsed.Error = QStringLiteral("Unexpected argument: ") + parser.positionalArguments().constFirst();
        return parsed;
    }

    if (parser.isSet(inventory)) {
        // Each row names its switch's own user, password file, backup and address mode.
        for (const QCommandLineOption *perSwitch : {&switchAddress, &user, &backup, &passwordFile, &afterReset}) {
            if (parser.isSet(*perSwitch)) {
                parsed.Error = QStringLiteral("--%1 does not go with --inventory: the inventory gives each switch's "
                                              "address, user, password file, backup and after_reset.")
                                   .arg(perSwitch->names().constFirst());
                return parsed;
            }
        }
        if (parser.value(inventory).trimmed().isEmpty()) {
            parsed.Error = QStringLiteral("--inventory needs the path of a CSV file that lists the switches.");
            return parsed;
        }
        options.InventoryPath = QFileInfo(parser.value(inventory)).absoluteFilePath();
    } else {
        if (!parser.isSet(switchAddress)) {
            parsed.Error = QStringLiteral(
                "--switch is required. For many switches give --inventory FILE, or --switch once for each.");
            return parsed;
        }
        for (const QCommandLineOption *required : {&user, &backup}) {
            if (!parser.isSet(*required)) {
                parsed.Error = QStringLiteral("--%1 is required.").arg(required->names().constFirst());
                return parsed;
            }
        }
        for (const QString &value : parser.values(switchAddress)) {
            const QString address = value.trimmed();
            if (!isIpv4Address(address)) {
                parsed.Error = QStringLiteral("--switch %1 is not an IPv4 address such as 192.0.2.10.").arg(address);
                return parsed;
            }
            if (options.Switches.contains(address)) {
                parsed.Error = QStringLiteral("--switch %1 is given twice; each switch runs once.").arg(address);
                return parsed;
            }
            options.Switches << address;
        }
        options.UserName = parser.value(user);
        if (options.UserName.isEmpty()) {
            parsed.Error = QStringLiteral("--user needs the switch's user name.");
            return parsed;
        }
        options.BackupPath = options.Switches.size() == 1 ? checkedBackupPath(parser.value(backup), parsed.Error)
                                                          : checkedBackupFolder(parser.value(backup), parsed.Error);
        if (!parsed.Error.isEmpty())
            return parsed;

        const QString mode = parser.isSet(afterReset) ? parser.value(afterReset) : QStringLiteral("default");
        if (mode != QStringLiteral("default") && mode != QStringLiteral("dhcp")) {
            parsed.Error = QStringLiteral("--after-reset is \"default\" or \"dhcp\", not \"%1\".").arg(mode);
            return parsed;
        }
        options.DhcpAfterReset = mode == QStringLiteral("dhcp");
        options.PasswordFile = parser.value(passwordFile);
        if (parser.isSet(passwordFile) && options.PasswordFile.isEmpty()) {
            parsed.Error = QStringLiteral("--password-file needs the path of a file that holds the password.");
            return parsed;
        }
    }

    if (parser.isSet(parallel)) {
        options.Parallel = checkedParallel(parser.value(parallel), parsed.Error);
        if (!parsed.Error.isEmpty())
            return parsed;
    }
    if (parser.isSet(tftpAddress)) {
        options.TftpAddress = parser.value(tftpAddress).trimmed();
        if (!isIpv4Address(options.TftpAddress)) {
            parsed.Error = QStringLiteral("--tftp-address %1 is not an IPv4 address of this PC such as 192.0.2.1.")
                               .arg(options.TftpAddress);
            return parsed;
        }
    }
    options.Json = parser.isSet(json);
    options.PlanOnly = parser.isSet(plan);
    return parsed;
}

QString runHelpText()
{
    return QStringLiteral(
        "Usage: tessaro-run --switch ADDRESS --user NAME --backup PATH [options]\n"
        "       tessaro-run --switch ADDRESS --switch ADDRESS... --user NAME --backup FOLDER [options]\n"
        "       tessaro-run --inventory FILE [--parallel N] [options]\n"
        "\n"
        "Upgrades managed switches from release 743 through the intermediate image to release 746, as the\n"
        "Tessaro wizard does: it saves each switch's configuration, sends the intermediate image from its own\n"
        "TFTP server (UDP 69 on every address of this PC), resets the switch and watches its own upgrade to\n"
        "the final version over SNMP. The images travel inside this program.\n"
        "\n"
        "Options:\n"
        "  --switch ADDRESS       The switch's IPv4 address (telnet TCP 23, SNMP UDP 161). Given several\n"
        "                         times, the switches run side by side with one --user and one password.\n"
        "                         Example: --switch 192.0.2.10\n"
        "  --user NAME            The user name of the switch's command line, privilege level 15.\n"
        "                         Example: --user admin\n"
        "  --backup PATH          Where the switch's configuration is saved before anything changes; the\n"
        "                         run log, the result record (.result.json) and the report (.report.html)\n"
        "                         go to the same folder. A file already there is kept as <name>.old1<ext>\n"
        "                         (the first free number) before the new backup is written.\n"
        "                         Example: --backup /srv/backups/sw10-config.txt\n"
        "                         With several --switch, PATH is an existing folder and each switch's\n"
        "                         configuration goes to <address>.cfg in it.\n"
        "                         Example: --switch 192.0.2.10 --switch 192.0.2.11 --backup /srv/backups\n"
        "  --inventory FILE       The switches to upgrade, one a row, in a CSV file (below); instead of\n"
        "                         --switch, --user, --password-file, --backup and --after-reset.\n"
        "                         Example: --inventory /srv/site-a/switches.csv\n"
        "  --parallel N           With several switches: at most N run at once (default 8, at most 32,\n"
        "                         as the TFTP server keeps at most 64 transfers open and a switch may\n"
        "                         hold two); the next starts when one ends.\n"
        "                         Example: --parallel 4\n"
        "  --after-reset MODE     How the switch finds its address after its resets: \"default\" (its\n"
        "                         configured address, the default) or \"dhcp\".\n"
        "                         Example: --after-reset dhcp\n"
        "  --tftp-address LOCAL   This PC's address that the switch fetches its images from and saves its\n"
        "                         configuration to. Default: the PC's address on the telnet connection.\n"
        "                         Example: --tftp-address 192.0.2.1\n"
        "  --password-file FILE   Read the switch's password from the first line of FILE.\n"
        "                         Example: --password-file ~/.config/tessaro/sw10.pass\n"
        "  --json                 One JSON object per line on standard output (\"type\": step, progress,\n"
        "                         transfer, status, message or result, \"switch\" its address and \"time\"\n"
        "                         in UTC). One switch: the last line is its result. Several: each switch's\n"
        "                         result when it ends, and last a summary (below). The display for people\n"
        "                         goes to standard error.\n"
        "                         Example: tessaro-run ... --json | jq -c 'select(.type==\"result\")'\n"
        "  --plan                 Log in, read the switch's inventory and show what a run would do (its\n"
        "                         path, the images with size and SHA-256, the resets, the prescribed waits\n"
        "                         and an estimate of the whole run). Nothing but the log-in and \"show\"\n"
        "                         commands reaches the switch, and no TFTP server is started.\n"
        "                         Example: tessaro-run --switch 192.0.2.10 --user admin --backup sw.txt --plan\n"
        "  -h, --help             This text.\n"
        "\n"
        "The password is never an option (it would show in the process list). It comes from --password-file,\n"
        "else from the environment variable TESSARO_PASSWORD, else it is asked for on the terminal without\n"
        "echo. Example: TESSARO_PASSWORD=... tessaro-run --switch 192.0.2.10 --user admin --backup sw.txt\n"
        "\n"
        "The inventory file is CSV whose first line reads exactly\n"
        "    address,user,password_file,backup,after_reset\n"
        "and then one switch a row: its IPv4 address, its user name, a file whose first line is its password\n"
        "(never the password itself), the file its configuration is saved to, and default or dhcp. Relative\n"
        "paths are taken from the inventory's own folder; blank lines and lines that begin with # are\n"
        "skipped; a field with a comma goes in double quotes. Example:\n"
        "    address,user,password_file,backup,after_reset\n"
        "    # site A, first floor\n"
        "    192.0.2.10,admin,/etc/tessaro/site-a.pass,backups/sw10.cfg,default\n"
        "    192.0.2.11,admin,/etc/tessaro/site-a.pass,backups/sw11.cfg,dhcp\n"
        "Each row is checked before anything starts: a missing field, a bad address, an unknown\n"
        "after_reset, a password file that cannot be read, a backup folder that is missing, an address or a\n"
        "backup path given twice; every fault is named with its line, and no switch is reached.\n"
        "\n"
        "Several switches: each runs on its own, with its own log, record and report beside its backup\n"
        "(Quillo_<address>.log, .result.json, .report.html); one failing ends its own run alone. Every line\n"
        "of the display begins with the switch's address, and a table of every switch's outcome, versions\n"
        "and duration ends the run. The summary (\"type\": \"summary\", with \"exitStatus\", \"summaryFile\" and\n"
        "for each switch its outcome, exit status, step, reason, versions, duration, whether anything was\n"
        "written to it (\"changed\"), its backup and its files) is the last JSON line and is written to\n"
        "<inventory name>.summary.json beside the inventory, or tessaro-run.summary.json in the --backup\n"
        "folder.\n"
        "\n"
        "Binding UDP port 69 needs root, or once: sudo setcap cap_net_bind_service=+ep <path of tessaro-run>.\n"
        "The working folder is $TMPDIR/Quillo/ (/tmp/Quillo/ by default); it must belong to this user alone.\n"
        "Ctrl-C (as SIGTERM, or the terminal going away) stops the run at its next wait, says what state\n"
        "the switch is left in and what to do, and saves the log; a second Ctrl-C does not skip that. With\n"
        "several switches, no further switch starts (those are named), every running one stops so, and\n"
        "those stopped while something was being written to them are named with their state.\n"
        "\n"
        "Exit statuses:\n"
        "    0  the switch runs the final version (also when it did before the run); with --plan: planned\n"
        "    1  the program could not prepare itself: its working folder, its payload or the TFTP server on\n"
        "       UDP 69 (in use by another program, or not permitted)\n"
        "    2  usage error: an option is missing or wrong, a row of the inventory is, or no password was\n"
        "       given\n"
        "    3  logging in or taking the inventory failed; nothing was changed on the switch\n"
        "    4  the run failed; the last lines say at which step, in what state the switch is, what to do\n"
        "    5  the switch reported the last step of its own upgrade, but was not seen running the final\n"
        "       version after its reset; the last lines say what to check\n"
        "  130  interrupted by Ctrl-C (SIGINT), SIGTERM or a hang-up (SIGHUP)\n"
        "With several switches the status is 0 only when every switch runs the final version; otherwise it\n"
        "is the most serious among theirs, in this order: 130, 4, 5, 3.\n");
}
