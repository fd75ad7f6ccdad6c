// tessaro-pack: appends Tessaro's payload to the executable, or lists what a file carries.

#include "Packer.h"

#include "platform/Exceptions.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QTextStream>

namespace {

constexpr int kFailed = 1;
constexpr int kUsage = 2;

int fail(int status, const QString &message)
{
    QTextStream(stderr) << QStringLiteral("tessaro-pack: ") << message << QLatin1Char('\n');
    return status;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral(
        "Copies an executable and appends an appendix holding the given files, stored under their\n"
        "names in lower case, and digests.sha256, their SHA-256 as sha256sum writes them; or lists\n"
        "the appendix of a file (exit status 1 when it has none)."));
    parser.addHelpOption();
    const QCommandLineOption exeOption(QStringLiteral("exe"), QStringLiteral("The executable to copy."), QStringLiteral("IN"));
    const QCommandLineOption outOption(QStringLiteral("out"), QStringLiteral("The packed file to write."), QStringLiteral("OUT"));
    const QCommandLineOption listOption(QStringLiteral("list"), QStringLiteral("List the appendix of FILE."), QStringLiteral("FILE"));
    parser.addOptions({exeOption, outOption, listOption});
    parser.addPositionalArgument(QStringLiteral("NAME=PATH"), QStringLiteral("A file to store under NAME."),
                                 QStringLiteral("NAME=PATH..."));
    if (!parser.parse(app.arguments()))
        return fail(kUsage, parser.errorText());
    if (parser.isSet(QStringLiteral("help")))
        parser.showHelp(0);

    const QStringList files = parser.positionalArguments();
    try {
        if (parser.isSet(listOption)) {
            if (parser.isSet(exeOption) || parser.isSet(outOption) || !files.isEmpty())
                return fail(kUsage, QStringLiteral("--list takes one file and nothing else"));
            QTextStream out(stdout);
            return listAppendix(parser.value(listOption), out) ? 0 : kFailed;
        }
        if (!parser.isSet(exeOption) || !parser.isSet(outOption))
            return fail(kUsage, QStringLiteral("give --exe IN --out OUT NAME=PATH... or --list FILE (see --help)"));
        QList<PackEntry> entries;
        for (const QString &file : files)
            entries << ParseEntry(file);
        packProgram(parser.value(exeOption), parser.value(outOption), entries);
        return 0;
    } catch (const Exception &error) {
        return fail(kFailed, error.message());
    }
}
