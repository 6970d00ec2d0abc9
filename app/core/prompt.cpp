#include "prompt.h"

#include <cstdio>

MsgAnswer FirstButton(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::Ok:
    case MsgButtons::OkCancel:
        return MsgAnswer::Ok;
    case MsgButtons::YesNo:
    case MsgButtons::YesNoCancel:
        return MsgAnswer::Yes;
    case MsgButtons::RetryCancel:
        return MsgAnswer::Retry;
    case MsgButtons::AbortRetryIgnore:
        return MsgAnswer::Abort;
    }
    return MsgAnswer::Ok;
}

namespace {

// Without a widget layer there is no one to ask: a message goes to stderr and takes its
// default button, every other question is cancelled.
class UnattendedPromptService final : public PromptService {
public:
    MsgAnswer message(const QString& text, const QString& title, MsgIcon, MsgButtons buttons,
                      MsgAnswer defaultButton) override
    {
        std::fprintf(stderr, "%s: %s\n", qPrintable(title), qPrintable(text));
        return defaultButton == MsgAnswer::Default ? FirstButton(buttons) : defaultButton;
    }
    std::optional<QString> inputText(const QString&, const QString&, const QString&) override { return std::nullopt; }
    QString openFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString saveFileName(const QString&, const QString&, const QString&) override { return {}; }
    QString folderName(const QString&, const QString&) override { return {}; }
    std::optional<quint32> chooseColor(quint32, const QString&) override { return std::nullopt; }
    bool printSetup(QPrinter*, const QString&) override { return false; }
    bool launch(const QUrl&) override { return false; }
};

PromptService& unattended()
{
    static UnattendedPromptService service;
    return service;
}

PromptService* gDefault = nullptr;
PromptService* gService = nullptr;

}  // namespace

PromptService& Prompt()
{
    if (gService)
        return *gService;
    return gDefault ? *gDefault : unattended();
}

void SetPromptService(PromptService* service) { gService = service; }

void SetDefaultPromptService(PromptService* service) { gDefault = service; }

MsgAnswer MsgBox(const QString& text, MsgButtons buttons, MsgIcon icon, const QString& title, MsgAnswer defaultButton)
{
    return Prompt().message(text, title, icon, buttons, defaultButton);
}
