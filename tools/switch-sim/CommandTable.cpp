#include "CommandTable.h"

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t';
}

// The words of a line with where each ends, so that the rest of the line keeps its blanks.
QList<std::pair<QByteArray, qsizetype>> words(const QByteArray &line)
{
    QList<std::pair<QByteArray, qsizetype>> result;
    qsizetype at = 0;
    while (at < line.size()) {
        while (at < line.size() && isBlank(line[at]))
            ++at;
        const qsizetype start = at;
        while (at < line.size() && !isBlank(line[at]))
            ++at;
        if (at > start)
            result.append({line.mid(start, at - start), at});
    }
    return result;
}

} // namespace

void CommandTable::add(CliMode mode, const QByteArray &words, Handler handler, Level level)
{
    m_entries.append({mode, words.split(' '), std::move(handler), level});
}

const CommandTable::Handler *CommandTable::find(CliMode mode, bool privileged, const QByteArray &line,
                                                QByteArray &arguments) const
{
    const auto typed = words(line);
    const Entry *best = nullptr;
    for (const Entry &entry : m_entries) {
        if (entry.mode != mode || (entry.level == Level::Privileged && !privileged) || entry.words.size() > typed.size())
            continue;
        bool matches = true;
        for (qsizetype i = 0; i < entry.words.size() && matches; ++i)
            matches = typed[i].first == entry.words[i];
        if (matches && (!best || entry.words.size() > best->words.size()))
            best = &entry;
    }
    if (!best)
        return nullptr;
    arguments = line.mid(typed[best->words.size() - 1].second).trimmed();
    return &best->handler;
}
