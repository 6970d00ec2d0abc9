#include "scriptedprompt.h"

ScriptedPrompt::ScriptedPrompt()
{
    SetPromptService(this);
}

ScriptedPrompt::~ScriptedPrompt() { SetPromptService(nullptr); }

QStringList ScriptedPrompt::messages() const
{
    QStringList out;
    for (const PromptCall& c : calls)
        if (c.kind == PromptCall::Message)
            out << c.text;
    return out;
}

int ScriptedPrompt::count(PromptCall::Kind kind) const
{
    int n = 0;
    for (const PromptCall& c : calls)
        n += c.kind == kind;
    return n;
}

bool ScriptedPrompt::next(const PromptCall& call, QVariant* out)
{
    if (handler) {
        const QVariant v = handler(call);
        if (v.isValid()) {
            *out = v;
            return true;
        }
    }
    if (answers.isEmpty())
        return false;
    *out = answers.dequeue();
    return true;
}

MsgAnswer ScriptedPrompt::message(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
                                  MsgAnswer defaultButton)
{
    PromptCall call;
    call.kind = PromptCall::Message;
    call.text = text;
    call.title = title;
    call.icon = icon;
    call.buttons = buttons;
    call.defaultButton = defaultButton;
    QVariant v;
    MsgAnswer a = defaultButton == MsgAnswer::Default ? FirstButton(buttons) : defaultButton;
    if (next(call, &v) && v.isValid())
        a = MsgAnswer(v.toInt());
    call.answer = a;
    calls << call;
    return a;
}

std::optional<QString> ScriptedPrompt::textAnswer(PromptCall call)
{
    QVariant v;
    std::optional<QString> result;
    if (next(call, &v) && v.isValid() && !v.isNull())
        result = v.toString();
    calls << call;
    return result;
}

std::optional<QString> ScriptedPrompt::inputText(const QString& prompt, const QString& title, const QString& initial)
{
    PromptCall c;
    c.kind = PromptCall::Input;
    c.text = prompt;
    c.title = title;
    c.initial = initial;
    return textAnswer(c);
}

QString ScriptedPrompt::openFileName(const QString& title, const QString& folder, const QString& filter)
{
    PromptCall c;
    c.kind = PromptCall::OpenFile;
    c.title = title;
    c.initial = folder;
    c.filter = filter;
    return textAnswer(c).value_or(QString());
}

QString ScriptedPrompt::saveFileName(const QString& title, const QString& fileName, const QString& filter)
{
    PromptCall c;
    c.kind = PromptCall::SaveFile;
    c.title = title;
    c.initial = fileName;
    c.filter = filter;
    return textAnswer(c).value_or(QString());
}

QString ScriptedPrompt::folderName(const QString& title, const QString& folder)
{
    PromptCall c;
    c.kind = PromptCall::Folder;
    c.title = title;
    c.initial = folder;
    return textAnswer(c).value_or(QString());
}

std::optional<quint32> ScriptedPrompt::chooseColor(quint32 initialBgr, const QString& title)
{
    PromptCall c;
    c.kind = PromptCall::Color;
    c.title = title;
    c.initial = QString::number(initialBgr);
    QVariant v;
    std::optional<quint32> result;
    if (next(c, &v) && v.isValid() && !v.isNull())
        result = v.toUInt();
    calls << c;
    return result;
}

bool ScriptedPrompt::printSetup(QPrinter*, const QString& title)
{
    PromptCall c;
    c.kind = PromptCall::Print;
    c.title = title;
    QVariant v;
    const bool ok = next(c, &v) && v.toBool();
    calls << c;
    return ok;
}

bool ScriptedPrompt::launch(const QUrl& url)
{
    PromptCall c;
    c.kind = PromptCall::Launch;
    c.text = url.toString();
    QVariant v;
    bool ok = true;
    if (next(c, &v) && v.isValid())
        ok = v.toBool();
    calls << c;
    return ok;
}
