#include "CommandTable.h"

void CommandTable::add(const QByteArray &words, Handler handler)
{
    m_entries.append({words, std::move(handler)});
}

const CommandTable::Handler *CommandTable::find(const QByteArray &line, QByteArray &arguments) const
{
    const QByteArray command = line.simplified();
    const Entry *best = nullptr;
    for (const Entry &entry : m_entries) {
        const bool matches = command == entry.words || command.startsWith(entry.words + ' ');
        if (matches && (!best || entry.words.size() > best->words.size()))
            best = &entry;
    }
    if (!best)
        return nullptr;
    arguments = command.mid(best->words.size()).trimmed();
    return &best->handler;
}
