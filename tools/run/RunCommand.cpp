#include "RunCommand.h"

#include "FleetSummary.h"
#include "HumanDisplay.h"
#include "Inventory.h"
#include "JsonDisplay.h"
#include "Password.h"
#include "RunOptions.h"
#include "RunOwner.h"
#include "StartUp.h"
#include "StopSignals.h"

#include "platform/WorkingFolder.h"
#include "tftp/TftpHost.h"

#include <QCoreApplication>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral("tessaro-run ") + QStringLiteral(TESSARO_VERSION);

void printTo(FILE *out, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fflush(out);
}

QString afterResetText(bool dhcp)
{
    return dhcp ? QStringLiteral("its address by DHCP") : QStringLiteral("its configured address");
}

QString headingOf(const TRunOptions &options, const QList<TSwitchRunSettings> &switches)
{
    const QString what = options.PlanOnly ? QStringLiteral("plan for") : QStringLiteral("upgrade of");
    if (!options.fleet()) {
        const TSwitchRunSettings &only = switches.constFirst();
        return QStringLiteral("%1: %2 %3 as %4; backup %5; after its reset the switch takes %6")
            .arg(kProgram, what, only.SwitchAddress, only.UserName, only.BackupPath, afterResetText(only.DhcpAfterReset));
    }
    const QString source = options.InventoryPath.isEmpty() ? QStringLiteral("the command line") : options.InventoryPath;
    return QStringLiteral("%1: %2 %3 switches from %4, at most %5 at once")
        .arg(kProgram, what)
        .arg(switches.size())
        .arg(source)
        .arg(options.Parallel);
}

// The switches of the inventory, or of the --switch options with the one user and password.
// Empty, with the reason in trouble, when they cannot all be had.
QList<TSwitchRunSettings> switchesOf(const TRunOptions &options, QString &trouble)
{
    QList<TSwitchRunSettings> switches;
    if (!options.InventoryPath.isEmpty()) {
        const TInventory inventory = readInventory(options.InventoryPath);
        if (!inventory.Errors.isEmpty()) {
            trouble = QStringLiteral("The inventory %1 cannot be used; no switch was reached:\n  %2")
                          .arg(options.InventoryPath, inventory.Errors.join(QStringLiteral("\n  ")));
            return {};
        }
        for (const TInventoryEntry &entry : inventory.Switches) {
            TSwitchRunSettings settings;
            settings.SwitchAddress = entry.Address;
            settings.UserName = entry.UserName;
            settings.Password = entry.Password;
            settings.BackupPath = entry.BackupPath;
            settings.DhcpAfterReset = entry.DhcpAfterReset;
            switches << settings;
        }
        return switches;
    }
    const TPasswordInput password =
        readPassword(options.PasswordFile, options.UserName, options.Switches.join(QStringLiteral(", ")));
    if (!password.Error.isEmpty()) {
        trouble = password.Error;
        return {};
    }
    for (const QString &address : options.Switches) {
        TSwitchRunSettings settings;
        settings.SwitchAddress = address;
        settings.UserName = options.UserName;
        settings.Password = password.Password;
        settings.BackupPath = options.fleet() ? options.BackupPath + u'/' + address + QStringLiteral(".cfg")
                                              : options.BackupPath;
        settings.DhcpAfterReset = options.DhcpAfterReset;
        switches << settings;
    }
    return switches;
}

// Each switch's displays. With several switches every line names its switch and nothing is
// redrawn in place.
TRunOwner::DisplayMaker displayMaker(const TRunOptions &options, FILE *humanOut)
{
    const bool terminal = ::isatty(::fileno(humanOut)) == 1;
    return [=](const TSwitchRunSettings &settings) {
        TRunDisplays displays;
        const QString prefix = options.fleet() ? settings.SwitchAddress.leftJustified(15) + QStringLiteral("  ") : QString();
        auto human = std::make_unique<THumanDisplay>(humanOut, terminal, prefix);
        if (options.fleet()) {
            human->heading(QStringLiteral("%1 as %2; backup %3; after its reset the switch takes %4")
                               .arg(options.PlanOnly ? QStringLiteral("plan") : QStringLiteral("upgrade"),
                                    settings.UserName, settings.BackupPath, afterResetText(settings.DhcpAfterReset)));
        }
        displays.push_back(std::move(human));
        if (options.Json)
            displays.push_back(std::make_unique<TJsonDisplay>(stdout, settings.SwitchAddress));
        return displays;
    };
}

// What stops the program before any switch is reached, on each switch's displays.
QList<TSwitchOutcome> cannotStart(const TRunOwner::DisplayMaker &makeDisplays, const QList<TSwitchRunSettings> &switches,
                                  const QString &trouble)
{
    QList<TSwitchOutcome> outcomes;
    for (const TSwitchRunSettings &settings : switches) {
        TSwitchRunEnd end;
        end.SwitchAddress = settings.SwitchAddress;
        end.BackupPath = settings.BackupPath;
        end.ExitStatus = kExitCannotStart;
        end.Result = {TRunOutcome::Failed, QStringLiteral("Starting tessaro-run"), trouble, {}};
        for (const auto &display : makeDisplays(settings))
            display->finished(end);
        outcomes << TSwitchOutcome{end, 0};
    }
    return outcomes;
}

// The end of a run over several switches: the summary file, the last JSON line and the table.
void summarize(const TRunOptions &options, THumanDisplay &human, const QList<TSwitchOutcome> &outcomes, int exitStatus)
{
    QString path = summaryFilePath(options.InventoryPath, options.BackupPath);
    QJsonObject summary = jsonLine(QStringLiteral("summary"), summaryJson(outcomes, exitStatus, path));
    const QString unwritten = writeSummaryFile(path, summary);
    if (!unwritten.isEmpty()) {
        human.message(Platform::MessageKind::Warning, unwritten);
        path.clear();
        summary = jsonLine(QStringLiteral("summary"), summaryJson(outcomes, exitStatus, path));
    }
    if (options.Json)
        writeJsonLine(stdout, summary);
    for (const QString &line : summaryTable(outcomes))
        human.heading(line);
    for (const QString &line : stoppedMidWrite(outcomes))
        human.message(Platform::MessageKind::Warning, line);
    if (!path.isEmpty())
        human.heading(QStringLiteral("summary: ") + path);
    human.heading(QStringLiteral("exit status %1").arg(exitStatus));
}

} // namespace

int tessaroRunMain(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("tessaro-run"));
    QCoreApplication::setApplicationVersion(QStringLiteral(TESSARO_VERSION));
    // A reader that goes away (a closed pipe) must not end the run half-way.
    std::signal(SIGPIPE, SIG_IGN);

    const TParsedOptions parsed = parseRunOptions(QCoreApplication::arguments());
    if (parsed.Options.Help) {
        printTo(stdout, runHelpText());
        return kExitFinal;
    }
    if (!parsed.Error.isEmpty()) {
        printTo(stderr, QStringLiteral("tessaro-run: %1\nSee tessaro-run --help.\n").arg(parsed.Error));
        return kExitUsage;
    }
    const TRunOptions &options = parsed.Options;
    QString trouble;
    QList<TSwitchRunSettings> switches = switchesOf(options, trouble);
    if (!trouble.isEmpty()) {
        printTo(stderr, QStringLiteral("tessaro-run: %1\n").arg(trouble));
        return kExitUsage;
    }
    for (TSwitchRunSettings &settings : switches) {
        settings.TftpAddress = options.TftpAddress;
        settings.PlanOnly = options.PlanOnly;
        settings.Program = kProgram;
    }

    FILE *const humanOut = options.Json ? stderr : stdout;
    THumanDisplay human(humanOut, ::isatty(::fileno(humanOut)) == 1);
    const TRunOwner::DisplayMaker makeDisplays = displayMaker(options, humanOut);
    human.heading(headingOf(options, switches));

    // From here to the end Ctrl-C is the program's to handle.
    TStopSignals stopSignals;

    const auto endBeforeStart = [&](const QString &why) {
        const QList<TSwitchOutcome> outcomes = cannotStart(makeDisplays, switches, why);
        if (options.fleet())
            summarize(options, human, outcomes, kExitCannotStart);
        return int(kExitCannotStart);
    };
    // The payload is read from the program's own file by its full path, as the wizard does.
    const QString self = QCoreApplication::applicationFilePath();
    trouble = prepareWorkingFolder();
    if (trouble.isEmpty())
        trouble = extractPayload(self);
    if (!trouble.isEmpty())
        return endBeforeStart(trouble);
    TTftpHost host(self);
    if (!options.PlanOnly) {
        trouble = startTftpServer(host, self);
        if (!trouble.isEmpty())
            return endBeforeStart(trouble);
        human.heading(QStringLiteral("TFTP server on UDP 69, every address of this PC, serving ") + WorkingFolder());
    }

    TRunOwner owner(host, makeDisplays);
    QObject::connect(&stopSignals, &TStopSignals::stopRequested, &owner, &TRunOwner::stop);
    QObject::connect(&owner, &TRunOwner::note, &human, &THumanDisplay::message);
    QObject::connect(&owner, &TRunOwner::allEnded, &application, [](int status) { QCoreApplication::exit(status); });
    owner.start(switches, options.Parallel);
    const int status = QCoreApplication::exec();
    host.TftpServer->SetActive(false);
    if (options.fleet())
        summarize(options, human, owner.outcomes(), status);
    return status;
}
