#include "qtprompt.h"

#include "dbwait.h"
#include "helpers.h"
#include "nestedloops.h"
#include "prompt.h"
#include "uihelpers.h"

#include <QApplication>
#include <QColorDialog>
#include <QDesktopServices>
#include <QFileDialog>
#include <QInputDialog>
#include <QMessageBox>
#include <QPointer>
#include <QPrintDialog>
#include <QPrinter>

namespace {

QWidget* dialogParent() { return QApplication::activeWindow(); }

QMessageBox::StandardButton toStandard(MsgAnswer a)
{
    switch (a) {
    case MsgAnswer::Ok: return QMessageBox::Ok;
    case MsgAnswer::Cancel: return QMessageBox::Cancel;
    case MsgAnswer::Yes: return QMessageBox::Yes;
    case MsgAnswer::No: return QMessageBox::No;
    case MsgAnswer::Retry: return QMessageBox::Retry;
    case MsgAnswer::Abort: return QMessageBox::Abort;
    case MsgAnswer::Ignore: return QMessageBox::Ignore;
    case MsgAnswer::Default: break;
    }
    return QMessageBox::NoButton;
}

MsgAnswer fromStandard(int b)
{
    switch (b) {
    case QMessageBox::Ok: return MsgAnswer::Ok;
    case QMessageBox::Cancel: return MsgAnswer::Cancel;
    case QMessageBox::Yes: return MsgAnswer::Yes;
    case QMessageBox::No: return MsgAnswer::No;
    case QMessageBox::Retry: return MsgAnswer::Retry;
    case QMessageBox::Abort: return MsgAnswer::Abort;
    case QMessageBox::Ignore: return MsgAnswer::Ignore;
    default: return MsgAnswer::Cancel;
    }
}

// The answer of a box taken away with its window: the one that does least.
MsgAnswer unanswered(MsgButtons buttons)
{
    switch (buttons) {
    case MsgButtons::Ok: return MsgAnswer::Ok;
    case MsgButtons::YesNo: return MsgAnswer::No;
    case MsgButtons::AbortRetryIgnore: return MsgAnswer::Abort;
    default: return MsgAnswer::Cancel;
    }
}

class QtPromptService final : public PromptService {
public:
    MsgAnswer message(const QString& text, const QString& title, MsgIcon icon, MsgButtons buttons,
                      MsgAnswer defaultButton) override
    {
        // The window that asks goes on after the answer: none is deleted while the box is open.
        const WidgetDeletionsHeld held;
        // On the heap all the same: a window deleted outright takes the box with it.
        const QPointer<QMessageBox> box = new QMessageBox(dialogParent());
        box->setWindowTitle(title);
        box->setText(text);
        switch (icon) {
        case MsgIcon::None: box->setIcon(QMessageBox::NoIcon); break;
        case MsgIcon::Information: box->setIcon(QMessageBox::Information); break;
        case MsgIcon::Warning: box->setIcon(QMessageBox::Warning); break;
        case MsgIcon::Critical: box->setIcon(QMessageBox::Critical); break;
        case MsgIcon::Question: box->setIcon(QMessageBox::Question); break;
        }
        QMessageBox::StandardButtons set;
        switch (buttons) {
        case MsgButtons::Ok: set = QMessageBox::Ok; break;
        case MsgButtons::OkCancel: set = QMessageBox::Ok | QMessageBox::Cancel; break;
        case MsgButtons::YesNo: set = QMessageBox::Yes | QMessageBox::No; break;
        case MsgButtons::YesNoCancel: set = QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel; break;
        case MsgButtons::RetryCancel: set = QMessageBox::Retry | QMessageBox::Cancel; break;
        case MsgButtons::AbortRetryIgnore: set = QMessageBox::Abort | QMessageBox::Retry | QMessageBox::Ignore; break;
        }
        box->setStandardButtons(set);
        const MsgAnswer def = defaultButton == MsgAnswer::Default ? FirstButton(buttons) : defaultButton;
        box->setDefaultButton(toStandard(def));
        // The wait cursor must not hide the arrow over a question.
        QApplication::setOverrideCursor(Qt::ArrowCursor);
        const int result = box->exec();
        QApplication::restoreOverrideCursor();
        if (!box)
            return unanswered(buttons);
        delete box.data();
        return fromStandard(result);
    }

    std::optional<QString> inputText(const QString& prompt, const QString& title, const QString& initial) override
    {
        const WidgetDeletionsHeld held;
        bool ok = false;
        const QString text = QInputDialog::getText(dialogParent(), title, prompt, QLineEdit::Normal, initial, &ok);
        if (!ok)
            return std::nullopt;
        return text;
    }

    QString openFileName(const QString& title, const QString& folder, const QString& filter) override
    {
        const WidgetDeletionsHeld held;
        return QFileDialog::getOpenFileName(dialogParent(), title, folder, filter);
    }

    QString saveFileName(const QString& title, const QString& fileName, const QString& filter) override
    {
        const WidgetDeletionsHeld held;
        return QFileDialog::getSaveFileName(dialogParent(), title, fileName, filter);
    }

    QString folderName(const QString& title, const QString& folder) override
    {
        const WidgetDeletionsHeld held;
        return QFileDialog::getExistingDirectory(dialogParent(), title, folder);
    }

    std::optional<quint32> chooseColor(quint32 initialBgr, const QString& title) override
    {
        const WidgetDeletionsHeld held;
        const QColor c = QColorDialog::getColor(BgrToColor(initialBgr), dialogParent(), title);
        if (!c.isValid())
            return std::nullopt;
        return ColorToBgr(c);
    }

    bool printSetup(QPrinter* printer, const QString& title) override
    {
        const WidgetDeletionsHeld held;
        const QPointer<QPrintDialog> dialog = new QPrintDialog(printer, dialogParent());
        dialog->setWindowTitle(title);
        const bool accepted = dialog->exec() == QDialog::Accepted;
        if (!dialog)
            return false;
        delete dialog.data();
        return accepted;
    }

    bool launch(const QUrl& url) override { return QDesktopServices::openUrl(url); }
};

// Puts the default arrow back, however many wait cursors are pending.
void restoreArrow()
{
    if (!qobject_cast<QApplication*>(QCoreApplication::instance()))
        return;
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
}

}  // namespace

void InstallQtServices()
{
    static QtPromptService service;
    SetDefaultPromptService(&service);
    SetDefaultCursorRestorer(restoreArrow);
    InstallQtWriteWait();
}
