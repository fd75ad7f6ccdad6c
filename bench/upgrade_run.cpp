// Drives one whole standalone upgrade through the real main window, at real speed, against a
// simulated switch that bench/upgrade_run has started, and prints the wall time of the run,
// the program time of the waits the wizard prescribes on that path (its floor: under the
// counted clock every sleep adds its length, and at scale 1.0 each one also takes it), and
// their ratio: what the wizard's own work adds to its waits.

#include "platform/Clock.h"
#include "wizard/Frame_Finish.h"
#include "wizard/Frame_Ftp.h"
#include "wizard/Frame_IPAddress.h"

#include "ScriptedDialogs.h"
#include "WizardUnderTest.h"

#include <QCommandLineParser>
#include <QElapsedTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    TApplication application(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption payload(QStringLiteral("payload"), QStringLiteral("The packed program."), QStringLiteral("file"));
    const QCommandLineOption address(QStringLiteral("switch"), QStringLiteral("The switch's address."), QStringLiteral("ip"));
    const QCommandLineOption config(QStringLiteral("config"), QStringLiteral("Where the configuration is saved."),
                                    QStringLiteral("file"));
    parser.addOptions({payload, address, config});
    parser.process(application);

    Platform::setCountedClock(true);
    ScriptedDialogs dialogs;
    WizardUnderTest wizard(parser.value(payload));
    QElapsedTimer wall;
    wall.start();
    const quint32 start = Platform::tickCount();

    wizard.next();
    auto *device = wizard.page<TFrameIPAddress>();
    WizardUnderTest::type(device->edUserName, QStringLiteral("admin"));
    WizardUnderTest::type(device->edPassword, QStringLiteral("admin"));
    WizardUnderTest::type(device->edIpAddress, parser.value(address));
    WizardUnderTest::type(device->edConfFileName, parser.value(config));
    wizard.next();
    if (auto *ftp = wizard.page<TFrameFTP>()) {
        WizardUnderTest::choose(ftp->ComboBox1, QStringLiteral("Default IP"));
        wizard.next();
    }

    const double floorSeconds = (Platform::tickCount() - start) / 1000.0;
    const double wallSeconds = wall.nsecsElapsed() / 1e9;
    if (wizard.mainForm.CurrentPageClass() != &TFrameFinish::staticMetaObject) {
        std::fprintf(stderr, "upgrade_run: the upgrade did not reach the Finish page:\n%s\n",
                     qPrintable(dialogs.texts().join(QLatin1Char('\n'))));
        return 1;
    }
    std::printf("%-34s %10.1f s\n", "wall time of the upgrade", wallSeconds);
    std::printf("%-34s %10.1f s\n", "the waits it prescribes (floor)", floorSeconds);
    std::printf("%-34s %10.4f\n", "ratio wall / floor", wallSeconds / floorSeconds);
    std::printf("goal (the wizard adds less than 2 %%): %s\n", wallSeconds / floorSeconds < 1.02 ? "met" : "missed");
    return 0;
}
