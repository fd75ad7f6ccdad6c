#include "RunOptions.h"

#include <QCommandLineParser>
#include <QFileInfo>
#include <QHostAddress>

namespace {

bool isIpv4Address(const QString &text)
{
    QHostAddress address;
    return address.setAddress(text) && address.protocol() == QAbstractSocket::IPv4Protocol
        && text.count(u'.') == 3;
}

QString checkedBackupPath(const QString &path, QString &error)
{
    if (path.trimmed().isEmpty()) {
        error = QStringLiteral("--backup needs the path of a file for the switch's configuration.");
        return {};
    }
    const QFileInfo file(path);
    if (file.isDir()) {
        error = QStringLiteral("--backup %1 is a folder: give the path of a file in it.").arg(path);
        return {};
    }
    const QFileInfo folder(file.absolutePath());
    if (!folder.isDir()) {
        error = QStringLiteral("--backup %1: the folder %2 does not exist.").arg(path, folder.filePath());
        return {};
    }
    if (!folder.isWritable()) {
        error = QStringLiteral("--backup %1: the folder %2 is not writable by this user.").arg(path, folder.filePath());
        return {};
    }
    return file.absoluteFilePath();
}

} // namespace

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
    const QCommandLineOption json(QStringLiteral("json"));
    const QCommandLineOption plan(QStringLiteral("plan"));
    parser.addOptions({help, switchAddress, user, backup, afterReset, tftpAddress, passwordFile, json, plan});

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
    for (const QCommandLineOption *required : {&switchAddress, &user, &backup}) {
        if (!parser.isSet(*required)) {
            parsed.Error = QStringLiteral("--%1 is required.").arg(required->names().constFirst());
            return parsed;
        }
    }

    options.SwitchAddress = parser.value(switchAddress).trimmed();
    if (!isIpv4Address(options.SwitchAddress)) {
        parsed.Error = QStringLiteral("--switch %1 is not an IPv4 address such as 192.0.2.10.").arg(options.SwitchAddress);
        return parsed;
    }
    options.UserName = parser.value(user);
    if (options.UserName.isEmpty()) {
        parsed.Error = QStringLiteral("--user needs the switch's user name.");
        return parsed;
    }
    options.BackupPath = checkedBackupPath(parser.value(backup), parsed.Error);
    if (!parsed.Error.isEmpty())
        return parsed;

    const QString mode = parser.isSet(afterReset) ? parser.value(afterReset) : QStringLiteral("default");
    if (mode != QStringLiteral("default") && mode != QStringLiteral("dhcp")) {
        parsed.Error = QStringLiteral("--after-reset is \"default\" or \"dhcp\", not \"%1\".").arg(mode);
        return parsed;
    }
    options.DhcpAfterReset = mode == QStringLiteral("dhcp");

    if (parser.isSet(tftpAddress)) {
        options.TftpAddress = parser.value(tftpAddress).trimmed();
        if (!isIpv4Address(options.TftpAddress)) {
            parsed.Error = QStringLiteral("--tftp-address %1 is not an IPv4 address of this PC such as 192.0.2.1.")
                               .arg(options.TftpAddress);
            return parsed;
        }
    }
    options.PasswordFile = parser.value(passwordFile);
    if (parser.isSet(passwordFile) && options.PasswordFile.isEmpty()) {
        parsed.Error = QStringLiteral("--password-file needs the path of a file that holds the password.");
        return parsed;
    }
    options.Json = parser.isSet(json);
    options.PlanOnly = parser.isSet(plan);
    return parsed;
}

QString runHelpText()
{
    return QStringLiteral(
        "Usage: tessaro-run --switch ADDRESS --user NAME --backup PATH [options]\n"
        "\n"
        "Upgrades one managed switch from release 743 through the intermediate image to release 746, as the\n"
        "Tessaro wizard does: it saves the switch's configuration to PATH, sends the intermediate image from\n"
        "its own TFTP server (UDP 69 on every address of this PC), resets the switch and watches its own\n"
        "upgrade to the final version over SNMP. The images travel inside this program.\n"
        "\n"
        "Options:\n"
        "  --switch ADDRESS       The switch's IPv4 address (telnet TCP 23, SNMP UDP 161).\n"
        "                         Example: --switch 192.0.2.10\n"
        "  --user NAME            The user name of the switch's command line, privilege level 15.\n"
        "                         Example: --user admin\n"
        "  --backup PATH          Where the switch's configuration is saved before anything changes; the\n"
        "                         run log, the result record (.result.json) and the report (.report.html)\n"
        "                         go to the same folder. A file already there is kept as <name>.old1<ext>\n"
        "                         (the first free number) before the new backup is written.\n"
        "                         Example: --backup /srv/backups/sw10-config.txt\n"
        "  --after-reset MODE     How the switch finds its address after its resets: \"default\" (its\n"
        "                         configured address, the default) or \"dhcp\".\n"
        "                         Example: --after-reset dhcp\n"
        "  --tftp-address LOCAL   This PC's address that the switch fetches its images from and saves its\n"
        "                         configuration to. Default: the PC's address on the telnet connection.\n"
        "                         Example: --tftp-address 192.0.2.1\n"
        "  --password-file FILE   Read the switch's password from the first line of FILE.\n"
        "                         Example: --password-file ~/.config/tessaro/sw10.pass\n"
        "  --json                 One JSON object per line on standard output (\"type\": step, progress,\n"
        "                         transfer, status, message or result, and \"time\" in UTC); the last line\n"
        "                         is the result. The display for people goes to standard error.\n"
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
        "Binding UDP port 69 needs root, or once: sudo setcap cap_net_bind_service=+ep <path of tessaro-run>.\n"
        "The working folder is $TMPDIR/Quillo/ (/tmp/Quillo/ by default); it must belong to this user alone.\n"
        "Ctrl-C (as SIGTERM, or the terminal going away) stops the run at its next wait, says what state\n"
        "the switch is left in and what to do, and saves the log; a second Ctrl-C does not skip that.\n"
        "\n"
        "Exit statuses:\n"
        "    0  the switch runs the final version (also when it did before the run); with --plan: planned\n"
        "    1  the program could not prepare itself: its working folder, its payload or the TFTP server on\n"
        "       UDP 69 (in use by another program, or not permitted)\n"
        "    2  usage error: an option is missing or wrong, or no password was given\n"
        "    3  logging in or taking the inventory failed; nothing was changed on the switch\n"
        "    4  the run failed; the last lines say at which step, in what state the switch is, what to do\n"
        "    5  the switch reported the last step of its own upgrade, but was not seen running the final\n"
        "       version after its reset; the last lines say what to check\n"
        "  130  interrupted by Ctrl-C (SIGINT), SIGTERM or a hang-up (SIGHUP)\n");
}
