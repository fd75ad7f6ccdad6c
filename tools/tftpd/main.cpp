#include "platform/Exceptions.h"
#include "tftp/TftpHost.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDir>
#include <QSocketNotifier>

#include <csignal>
#include <cstdio>
#include <unistd.h>

namespace {

int g_signalPipe[2] = {-1, -1};

void requestStop(int)
{
    const char byte = 1;
    (void)::write(g_signalPipe[1], &byte, 1);
}

// SIGINT and SIGTERM end the event loop, so that shutting down runs on the main thread.
void quitOnSignals(QCoreApplication &app)
{
    if (::pipe(g_signalPipe) != 0)
        return;
    auto *notifier = new QSocketNotifier(g_signalPipe[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, &QCoreApplication::quit);
    std::signal(SIGINT, requestStop);
    std::signal(SIGTERM, requestStop);
}

[[noreturn]] void fail(const QString &message)
{
    std::fprintf(stderr, "tessaro-tftpd: %s\n", message.toLocal8Bit().constData());
    std::exit(1);
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Serves a folder over TFTP, confined to that folder."));
    parser.addHelpOption();
    const QCommandLineOption rootOption(QStringLiteral("root"), QStringLiteral("Folder to serve."),
                                        QStringLiteral("DIR"));
    const QCommandLineOption portOption(QStringLiteral("port"), QStringLiteral("UDP port (0: any free port)."),
                                        QStringLiteral("N"), QStringLiteral("69"));
    const QCommandLineOption bindOption(QStringLiteral("bind"),
                                        QStringLiteral("IPv4 address to listen on (default: every address)."),
                                        QStringLiteral("ADDR"));
    parser.addOptions({rootOption, portOption, bindOption});
    parser.process(app);

    const QString root = parser.value(rootOption);
    if (root.isEmpty() || !QDir(root).exists())
        fail(QStringLiteral("--root must name an existing folder"));
    bool portOk = false;
    const int port = parser.value(portOption).toInt(&portOk);
    if (!portOk || port < 0 || port > 65535)
        fail(QStringLiteral("--port must be a number from 0 to 65535"));

    // No payload: the console server serves files only.
    auto host = std::make_unique<TTftpHost>(QString());
    host->SetRootFolder(root);
    QObject::connect(host.get(), &TTftpHost::logLine, [](const QString &line) {
        std::fprintf(stdout, "%s\n", line.toLocal8Bit().constData());
        std::fflush(stdout);
    });
    TTrivialFTPServer &server = *host->TftpServer;
    server.SetDefaultPort(port);
    if (parser.isSet(bindOption))
        server.AddBinding(parser.value(bindOption), port);
    try {
        server.SetActive(true);
    } catch (const Exception &e) {
        fail(e.message());
    }
    const TSocketHandle &binding = *server.Bindings().front();
    std::fprintf(stderr, "tessaro-tftpd: serving %s on %s:%d\n", QDir(root).absolutePath().toLocal8Bit().constData(),
                 binding.IP.isEmpty() ? "0.0.0.0" : binding.IP.toLocal8Bit().constData(), binding.Port);

    quitOnSignals(app);
    app.exec();
    // Ends the running transfers; each still prints its line before the program ends.
    host.reset();
    return 0;
}
