#include "Password.h"

#include <QFile>

#include <csignal>
#include <cstdio>
#include <string>
#include <termios.h>
#include <unistd.h>

namespace {

const char *const kPasswordVariable = "TESSARO_PASSWORD";

QString firstLine(const QByteArray &bytes)
{
    QByteArray line = bytes.left(bytes.indexOf('\n') < 0 ? bytes.size() : bytes.indexOf('\n'));
    if (line.endsWith('\r'))
        line.chop(1);
    return QString::fromLocal8Bit(line);
}

TPasswordInput fromFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {{}, QStringLiteral("The password file %1 cannot be read: %2.").arg(path, file.errorString())};
    return {firstLine(file.readAll()), {}};
}

// The terminal's settings while echo is off, so that a Ctrl-C at the prompt gives the
// operator back a terminal that echoes.
termios g_savedTerminal;

void restoreTerminalAndLeave(int)
{
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    const char newline = '\n';
    (void)::write(STDERR_FILENO, &newline, 1);
    ::_exit(130);
}

TPasswordInput fromTerminal(const QString &userName, const QString &switchAddress)
{
    if (!::isatty(STDIN_FILENO) || ::tcgetattr(STDIN_FILENO, &g_savedTerminal) != 0) {
        return {{}, QStringLiteral("No password: give --password-file FILE or set the environment variable "
                                   "TESSARO_PASSWORD (standard input is not a terminal to ask on).")};
    }
    std::fprintf(stderr, "Password for %s@%s: ", userName.toLocal8Bit().constData(),
                 switchAddress.toLocal8Bit().constData());
    std::fflush(stderr);

    struct sigaction restore = {};
    restore.sa_handler = restoreTerminalAndLeave;
    struct sigaction previousInt = {};
    struct sigaction previousTerm = {};
    ::sigaction(SIGINT, &restore, &previousInt);
    ::sigaction(SIGTERM, &restore, &previousTerm);
    termios silent = g_savedTerminal;
    silent.c_lflag &= ~tcflag_t(ECHO);
    silent.c_lflag |= ECHONL;
    ::tcsetattr(STDIN_FILENO, TCSANOW, &silent);

    std::string line;
    bool ended = false;
    for (int c; (c = std::fgetc(stdin)) != EOF;) {
        if (c == '\n') {
            ended = true;
            break;
        }
        line.push_back(char(c));
    }
    ::tcsetattr(STDIN_FILENO, TCSANOW, &g_savedTerminal);
    ::sigaction(SIGINT, &previousInt, nullptr);
    ::sigaction(SIGTERM, &previousTerm, nullptr);
    if (!ended && line.empty())
        return {{}, QStringLiteral("No password was typed.")};
    return {firstLine(QByteArray::fromStdString(line)), {}};
}

} // namespace

TPasswordInput readPassword(const QString &passwordFile, const QString &userName, const QString &switchAddress)
{
    if (!passwordFile.isEmpty())
        return fromFile(passwordFile);
    if (qEnvironmentVariableIsSet(kPasswordVariable))
        return {QString::fromLocal8Bit(qgetenv(kPasswordVariable)), {}};
    return fromTerminal(userName, switchAddress);
}
