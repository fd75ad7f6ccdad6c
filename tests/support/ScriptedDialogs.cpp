#include "ScriptedDialogs.h"

using namespace Platform;

ScriptedDialogs::ScriptedDialogs()
{
    setDialogs(this);
}

ScriptedDialogs::~ScriptedDialogs()
{
    setDialogs(nullptr);
}

QStringList ScriptedDialogs::texts() const
{
    QStringList result;
    for (const Shown &s : m_shown)
        result << s.text;
    return result;
}

void ScriptedDialogs::clear()
{
    m_shown.clear();
    m_answers.clear();
    m_documents.clear();
}

MessageAnswer ScriptedDialogs::message(MessageKind kind, const QString &text, MessageButtons buttons)
{
    m_shown.append({kind, text, buttons});
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return m_answers.isEmpty() ? MessageAnswer::Yes : m_answers.dequeue();
}

QString ScriptedDialogs::openFileName(const QString &, const QStringList &)
{
    return std::exchange(m_fileName, QString());
}

QString ScriptedDialogs::chooseFolder(const QString &)
{
    return std::exchange(m_folder, QString());
}

bool ScriptedDialogs::openDocument(const QString &path)
{
    m_documents << path;
    return true;
}
