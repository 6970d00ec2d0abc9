#include "frmSaveRpt.h"

#include "db.h"
#include "helpers.h"
#include "modkrv.h"
#include "prompt.h"
#include "textfit.h"
#include "uihelpers.h"

#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

namespace {
const QString kSource = QStringLiteral("frmSaveRpt");
}

frmSaveRpt::frmSaveRpt(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmSaveRpt"), parent)
{
    setWindowTitle(QStringLiteral("Save Report"));
    setFixedSize(TwipsToPixels(4800), TwipsToPixels(1905));
    Label1 = new QLabel(QStringLiteral("Report Name"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    PlaceTwips(Label1, 120, 120, 4500, 255);
    Label2 = new QLabel(QStringLiteral("Select a report to overwrite or type in a new name:"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    PlaceTwips(Label2, 120, 420, 4560, 255);
    // The line shows whole in the desktop's face; the window gives it the room.
    WidenToText(Label2);
    setFixedSize(std::max(width(), Label2->x() + Label2->width() + TwipsToPixels(120)), height());
    cboRptName = new QComboBox(this);
    cboRptName->setObjectName(QStringLiteral("cboRptName"));
    cboRptName->setEditable(true);
    cboRptName->setInsertPolicy(QComboBox::NoInsert);
    cboRptName->lineEdit()->installEventFilter(this);
    PlaceTwips(cboRptName, 120, 735, 4560, 315);
    cmdOk = new QPushButton(QStringLiteral("Save"), this);
    cmdOk->setObjectName(QStringLiteral("cmdOk"));
    cmdOk->setAutoDefault(false);
    PlaceTwips(cmdOk, 1920, 1320, 1275, 375);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setAutoDefault(false);
    PlaceTwips(cmdCancel, 3360, 1320, 1275, 375);
    connect(cmdOk, &QPushButton::clicked, this, &frmSaveRpt::cmdOk_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmSaveRpt::cmdCancel_Click);
}

QString frmSaveRpt::DefinitionTable(const QString& reportKind)
{
    if (reportKind.contains(QLatin1String("Expenditure")))
        return QStringLiteral("ExpenditureRpt");
    if (reportKind.contains(QLatin1String("Element Condition Evaluation")))
        return QStringLiteral("TunnelRpt");
    if (reportKind.contains(QLatin1String("Defect")))
        return QStringLiteral("DefectRpt");
    return QString();
}

void frmSaveRpt::fillNames(QObject* caller, const QString& reportKind)
{
    hide();
    m_caller = caller;
    m_kind = reportKind;
    cboRptName->clear();
    const QString table = DefinitionTable(reportKind);
    if (table.isEmpty())
        return;
    const RowSet rows = gConn.query(QStringLiteral("SELECT ID, Name FROM %1 ORDER BY ID").arg(table));
    for (int i = 0; i < rows.count(); ++i)
        cboRptName->addItem(rows.value(i, QStringLiteral("Name")).toString(), rows.value(i, QStringLiteral("ID")));
    cboRptName->setCurrentIndex(-1);
    cboRptName->setEditText(QString());
}

void frmSaveRpt::LoadSave(QObject* caller, const QString& reportKind)
{
    fillNames(caller, reportKind);
    setWindowTitle(QStringLiteral("Save Report"));
    cmdOk->setText(QStringLiteral("Save"));
    if (caller)
        cboRptName->setEditText(caller->property("RptName").toString());
}

void frmSaveRpt::LoadOpen(QObject* caller, const QString& reportKind)
{
    fillNames(caller, reportKind);
    setWindowTitle(QStringLiteral("Open Report"));
    cmdOk->setText(QStringLiteral("Open"));
}

void frmSaveRpt::LoadDelete(QObject* caller, const QString& reportKind)
{
    fillNames(caller, reportKind);
    setWindowTitle(QStringLiteral("Delete Report"));
    cmdOk->setText(QStringLiteral("Delete"));
}

void frmSaveRpt::setRptName(const QString& name)
{
    if (m_caller)
        m_caller->setProperty("RptName", name);
}

bool frmSaveRpt::eventFilter(QObject* watched, QEvent* event)
{
    // Enter in the name box is the OK button, and goes no further.
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter) {
            cmdOk_Click();
            return true;
        }
    }
    return KrvForm<QDialog>::eventFilter(watched, event);
}

void frmSaveRpt::cmdOk_Click()
{
    try {
        const QString name = cboRptName->currentText();
        const QString mode = cmdOk->text();
        if (mode == QLatin1String("Save")) {
            // Saving replaces every definition of the same name (as names are the same), so it asks
            // whenever there is one, naming it as it is stored.
            const QString existing = SameNameInList(name);
            if (!existing.isNull()
                && MsgBox(QStringLiteral("Are you sure you want to overwrite '") + existing + QStringLiteral("'?"),
                          MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Save Report"))
                       != MsgAnswer::Yes)
                return;
            // What the answer covers: the definitions of that name as listed. A save by another
            // user since is asked about when the definition is written.
            QVariantList keys;
            for (int i = 0; i < cboRptName->count(); ++i)
                if (SameName(cboRptName->itemText(i), name))
                    keys << cboRptName->itemData(i);
            if (m_caller)
                m_caller->setProperty("RptKeys", keys);
        } else if (mode == QLatin1String("Delete")) {
            const QString table = DefinitionTable(m_kind);
            // The definitions the question is about; one another user saves under the name
            // while it is open is not removed with them.
            QVariantList keys;
            if (!table.isEmpty()) {
                const RowSet rows = gConn.query(QStringLiteral("SELECT ID, Name FROM %1").arg(table));
                for (int i = 0; i < rows.count(); ++i)
                    if (SameName(rows.value(i, 1).toString(), name))
                        keys << rows.value(i, 0);
            }
            const bool found = !keys.isEmpty();
            if (m_caller)
                m_caller->setProperty("RptKeys", keys);
            if (!found) {
                MsgBox(QStringLiteral("The report '") + name
                           + QStringLiteral("' does not exist.  Please select a report from the dropdown list."),
                       MsgButtons::Ok, MsgIcon::Warning, QStringLiteral("Delete Report"));
                return;
            }
            if (MsgBox(QStringLiteral("Are you sure you want to remove the report '") + name + QStringLiteral("'?"),
                       MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Delete Report"))
                != MsgAnswer::Yes)
                return;
        }
        setRptName(name);
        Unload();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error managing reports"), kSource, e);
    }
}

QString frmSaveRpt::SameNameInList(const QString& name) const
{
    if (ListContains(name, cboRptName))
        return name;
    for (int i = 0; i < cboRptName->count(); ++i)
        if (SameName(cboRptName->itemText(i), name))
            return cboRptName->itemText(i);
    return QString();
}

void frmSaveRpt::cmdCancel_Click()
{
    setRptName(QString());
    Unload();
}
