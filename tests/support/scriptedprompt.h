#pragma once
#include "prompt.h"

#include <QList>
#include <QQueue>
#include <QString>
#include <QVariant>
#include <functional>

// One call of the prompt service, as the program made it.
struct PromptCall {
    enum Kind { Message, Input, OpenFile, SaveFile, Folder, Color, Print, Launch };
    Kind kind = Message;
    QString text;   // message text, input prompt, or the launched address
    QString title;
    MsgIcon icon = MsgIcon::None;
    MsgButtons buttons = MsgButtons::Ok;
    MsgAnswer defaultButton = MsgAnswer::Default;
    QString initial; // initial text, folder or file name
    QString filter;
    MsgAnswer answer = MsgAnswer::Default; // what a message was answered
};

// A prompt service that records every call and answers from a script, so no test ever
// blocks on a modal window. Installs itself for its lifetime.
//
// Answers are taken in order from the queue: a MsgAnswer for a message, a QString for an
// input box or a file dialog (a null QVariant cancels), a quint32 for a colour, a bool
// for a print set-up or a launch. With the queue empty: a message gets its default
// button, an input box or file dialog is cancelled, a launch succeeds.
class ScriptedPrompt final : public PromptService {
public:
    ScriptedPrompt();
    ~ScriptedPrompt() override;

    QList<PromptCall> calls;
    QQueue<QVariant> answers;
    // Called before the queue is consulted; a valid result answers the call.
    std::function<QVariant(const PromptCall&)> handler;

    void answer(MsgAnswer a) { answers.enqueue(QVariant::fromValue(int(a))); }
    void answerText(const QString& text) { answers.enqueue(text); }
    void answerCancel() { answers.enqueue(QVariant()); }

    // Message texts in the order shown.
    QStringList messages() const;
    int count(PromptCall::Kind kind) const;

    MsgAnswer message(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
                      MsgAnswer defaultButton) override;
    std::optional<QString> inputText(const QString& prompt, const QString& title, const QString& initial) override;
    QString openFileName(const QString& title, const QString& folder, const QString& filter) override;
    QString saveFileName(const QString& title, const QString& fileName, const QString& filter) override;
    QString folderName(const QString& title, const QString& folder) override;
    std::optional<quint32> chooseColor(quint32 initialBgr, const QString& title) override;
    bool printSetup(QPrinter* printer, const QString& title) override;
    bool launch(const QUrl& url) override;

private:
    bool next(const PromptCall& call, QVariant* out);
    std::optional<QString> textAnswer(PromptCall call);
};
