#pragma once

#include "platform/Dialogs.h"

#include <QList>
#include <QQueue>

// The operator of the tests: records every dialog the program opens and answers from a
// script. Installs itself for its lifetime.
class ScriptedDialogs final : public Platform::IDialogs
{
public:
    struct Shown
    {
        Platform::MessageKind kind;
        QString text;
        Platform::MessageButtons buttons;
    };

    ScriptedDialogs();
    ~ScriptedDialogs() override;
    Q_DISABLE_COPY_MOVE(ScriptedDialogs)

    // Answers for the next Yes/No questions, in order; unscripted questions get Yes.
    void answerNext(Platform::MessageAnswer answer) { m_answers.enqueue(answer); }
    void setNextFileName(const QString &path) { m_fileName = path; }
    void setNextFolder(const QString &path) { m_folder = path; }

    const QList<Shown> &shown() const { return m_shown; }
    QStringList texts() const;
    const QStringList &openedDocuments() const { return m_documents; }
    void clear();

    Platform::MessageAnswer message(Platform::MessageKind kind, const QString &text,
                                    Platform::MessageButtons buttons) override;
    QString openFileName(const QString &initialPath, const QStringList &filters) override;
    QString chooseFolder(const QString &initialFolder) override;
    bool openDocument(const QString &path) override;

private:
    QList<Shown> m_shown;
    QQueue<Platform::MessageAnswer> m_answers;
    QString m_fileName;
    QString m_folder;
    QStringList m_documents;
};
