#pragma once

#include <QByteArray>
#include <QList>

#include <functional>

class CliSession;

// The modes of the line-mode interface; each knows its own commands only.
enum class CliMode { Exec, Config, Interface };

// The commands of the line-mode interface. Each command family registers its words with a
// handler, the mode it belongs to and whether it needs privilege level 15; the longest
// matching words win, and what follows them is the handler's argument.
class CommandTable final
{
public:
    using Handler = std::function<void(CliSession &session, const QByteArray &arguments)>;
    enum class Level { Any, Privileged };

    void add(CliMode mode, const QByteArray &words, Handler handler, Level level = Level::Any);

    // The handler for a command line in a mode, or nullptr when the mode or the user's level
    // does not know it. arguments receives the rest of the line with its inner blanks as
    // typed, trimmed at both ends.
    const Handler *find(CliMode mode, bool privileged, const QByteArray &line, QByteArray &arguments) const;

private:
    struct Entry
    {
        CliMode mode;
        QList<QByteArray> words;
        Handler handler;
        Level level;
    };
    QList<Entry> m_entries;
};

// One function per command family fills the table.
void addShowCommands(CommandTable &table);
void addConfigCommands(CommandTable &table);
void addCopyCommands(CommandTable &table);
void addBootCommands(CommandTable &table);
