#pragma once

#include <QByteArray>
#include <QList>

#include <functional>

class CliSession;

// The commands of the line-mode interface. Each command family registers its words with a
// handler; the longest matching words win, and what follows them is the handler's argument.
class CommandTable final
{
public:
    using Handler = std::function<void(CliSession &session, const QByteArray &arguments)>;

    void add(const QByteArray &words, Handler handler);

    // The handler for a command line, or nullptr; arguments receives the rest of the line.
    const Handler *find(const QByteArray &line, QByteArray &arguments) const;

private:
    struct Entry
    {
        QByteArray words;
        Handler handler;
    };
    QList<Entry> m_entries;
};

// One function per command family fills the table.
void addShowCommands(CommandTable &table);
