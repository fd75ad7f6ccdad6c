#include "RunCommand.h"

#include "HumanDisplay.h"
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
#include <optional>
#include <unistd.h>

namespace {

const QString kProgram = QStringLiteral("tessaro-run ") + QStringLiteral(TESSARO_VERSION);

void printTo(FILE *out, const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out);
    std::fflush(out);
}

QString headingOf(const TRunOptions &options)
{
    return QStringLiteral("%1: %2 %3 as %4; backup %5; after its reset the switch takes %6")
        .arg(kProgram, options.PlanOnly ? QStringLiteral("plan for") : QStringLiteral("upgrade of"),
             options.SwitchAddress, options.UserName, options.BackupPath,
             options.DhcpAfterReset ? QStringLiteral("its address by DHCP") : QStringLiteral("its configured address"));
}

// What stops the program before any switch is reached, on every display; the last JSON line
// is the result as always.
int cannotStart(const QList<IRunDisplay *> &displays, const TRunOptions &options, const QString &trouble)
{
    TSwitchRunEnd end;
    end.SwitchAddress = options.SwitchAddress;
    end.BackupPath = options.BackupPath;
    end.ExitStatus = kExitCannotStart;
    end.Result = {TRunOutcome::Failed, QStringLiteral("Starting tessaro-run"), trouble, {}};
    for (IRunDisplay *display : displays)
        display->finished(end);
    return kExitCannotStart;
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
    const TPasswordInput password = readPassword(options.PasswordFile, options.UserName, options.SwitchAddress);
    if (!password.Error.isEmpty()) {
        printTo(stderr, QStringLiteral("tessaro-run: %1\n").arg(password.Error));
        return kExitUsage;
    }

    FILE *const humanOut = options.Json ? stderr : stdout;
    THumanDisplay human(humanOut, ::isatty(::fileno(humanOut)) == 1);
    std::optional<TJsonDisplay> json;
    QList<IRunDisplay *> displays{&human};
    if (options.Json) {
        json.emplace(stdout);
        displays << &*json;
    }
    human.heading(headingOf(options));

    // From here to the end Ctrl-C is the program's to handle.
    TStopSignals stopSignals;

    // The payload is read from the program's own file by its full path, as the wizard does.
    const QString self = QCoreApplication::applicationFilePath();
    QString trouble = prepareWorkingFolder();
    if (trouble.isEmpty())
        trouble = extractPayload(self);
    if (!trouble.isEmpty())
        return cannotStart(displays, options, trouble);
    TTftpHost host(self);
    if (!options.PlanOnly) {
        trouble = startTftpServer(host, self);
        if (!trouble.isEmpty())
            return cannotStart(displays, options, trouble);
        human.heading(QStringLiteral("TFTP server on UDP 69, every address of this PC, serving ") + WorkingFolder());
    }

    TRunOwner owner(host);
    for (IRunDisplay *display : std::as_const(displays))
        owner.addDisplay(display);
    QObject::connect(&stopSignals, &TStopSignals::stopRequested, &owner, &TRunOwner::stop);
    QObject::connect(&owner, &TRunOwner::allEnded, &application, [](int status) { QCoreApplication::exit(status); });

    TSwitchRunSettings settings;
    settings.SwitchAddress = options.SwitchAddress;
    settings.UserName = options.UserName;
    settings.Password = password.Password;
    settings.BackupPath = options.BackupPath;
    settings.DhcpAfterReset = options.DhcpAfterReset;
    settings.TftpAddress = options.TftpAddress;
    settings.PlanOnly = options.PlanOnly;
    settings.Program = kProgram;
    owner.start({settings});
    const int status = QCoreApplication::exec();
    host.TftpServer->SetActive(false);
    return status;
}
