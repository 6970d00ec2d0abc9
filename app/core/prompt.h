#pragma once
#include <QString>
#include <QUrl>
#include <optional>

class QPrinter;

// Every message box, question, input box, file dialog, colour dialog, print dialog and
// outside launch of the program goes through the prompt service, so tests can answer
// them. The core holds only the interface: the widget layer installs the Qt one as the
// default at program start (InstallQtServices), and a test installs a scripted one.

inline const QString kAppTitle = QStringLiteral("Corvane Quorrel");

enum class MsgIcon { None, Information, Warning, Critical, Question };
enum class MsgButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
// Default: the first button of the set.
enum class MsgAnswer { Default, Ok, Cancel, Yes, No, Retry, Abort, Ignore };

// The first button of a set, which is the default button unless another is named.
MsgAnswer FirstButton(MsgButtons buttons);

class PromptService {
public:
    virtual ~PromptService() = default;

    virtual MsgAnswer message(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
                              MsgAnswer defaultButton) = 0;
    // nullopt when cancelled.
    virtual std::optional<QString> inputText(const QString& prompt, const QString& title, const QString& initial) = 0;
    // "" when cancelled. filter as in QFileDialog ("Tunnel database (*.db)").
    virtual QString openFileName(const QString& title, const QString& folder, const QString& filter) = 0;
    virtual QString saveFileName(const QString& title, const QString& fileName, const QString& filter) = 0;
    virtual QString folderName(const QString& title, const QString& folder) = 0;
    // A BGR colour, nullopt when cancelled.
    virtual std::optional<quint32> chooseColor(quint32 initialBgr, const QString& title) = 0;
    // True when the user confirmed the printer set-up.
    virtual bool printSetup(QPrinter* printer, const QString& title) = 0;
    // Opens a web page, the help document or a file in its desktop program.
    virtual bool launch(const QUrl& url) = 0;
};

// The service in use.
PromptService& Prompt();
// Installs another service (not owned); nullptr puts the default one back.
void SetPromptService(PromptService* service);
// The service in use when none is installed (not owned). Without one, messages go to stderr
// with their default answer and every other question is cancelled.
void SetDefaultPromptService(PromptService* service);

// A message box with the application title unless another is given.
MsgAnswer MsgBox(const QString& text, MsgButtons buttons = MsgButtons::Ok, MsgIcon icon = MsgIcon::None,
                 const QString& title = kAppTitle, MsgAnswer defaultButton = MsgAnswer::Default);
