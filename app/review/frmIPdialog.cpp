#include "frmIPdialog.h"

#include "frmIPdialog_call.h"
#include "helpers.h"
#include "krverror.h"
#include "lookups.h"
#include "modkrv.h"
#include "prompt.h"
#include "uihelpers.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>

namespace {
const QString kSource = QStringLiteral("frmIPdialog");
const QString kReview = QStringLiteral("frmDataView");

QComboBox* periodList(QWidget* parent, const char* name, const QString& tip)
{
    auto* c = new QComboBox(parent);
    c->setObjectName(QLatin1String(name));
    c->setEditable(false);
    c->setToolTip(tip);
    return c;
}
}  // namespace

frmIPdialog::frmIPdialog(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmIPdialog"), parent)
{
    setWindowTitle(QStringLiteral("Inspection Periods"));
    setFixedSize(TwipsToPixels(3930), TwipsToPixels(2310));

    lblTName = new QLabel(QStringLiteral("TunnelName"), this);
    lblTName->setObjectName(QStringLiteral("lblTName"));
    QFont bold = lblTName->font();
    bold.setPointSizeF(9.75);
    bold.setBold(true);
    lblTName->setFont(bold);
    PlaceTwips(lblTName, 120, 240, 3615, 330);

    Label1 = new QLabel(QStringLiteral("Select Inspection Period 1"), this);
    Label1->setObjectName(QStringLiteral("Label1"));
    PlaceTwips(Label1, 240, 810, 2355, 255);
    InspectionYr1 = periodList(this, "InspectionYr1", QStringLiteral("Select Period 1"));
    PlaceTwips(InspectionYr1, 2640, 720, 975, 315);

    Label2 = new QLabel(QStringLiteral("Select Inspection Period 2"), this);
    Label2->setObjectName(QStringLiteral("Label2"));
    PlaceTwips(Label2, 240, 1290, 2355, 255);
    InspectionYr2 = periodList(this, "InspectionYr2", QStringLiteral("Select Period 2"));
    PlaceTwips(InspectionYr2, 2640, 1200, 975, 315);

    cmdCompare = new QPushButton(QStringLiteral("Compare"), this);
    cmdCompare->setObjectName(QStringLiteral("cmdCompare"));
    cmdCompare->setToolTip(QStringLiteral("Compare "));
    cmdCompare->setAutoDefault(false);
    PlaceTwips(cmdCompare, 240, 1680, 1575, 375);
    cmdCancel = new QPushButton(QStringLiteral("Cancel"), this);
    cmdCancel->setObjectName(QStringLiteral("cmdCancel"));
    cmdCancel->setToolTip(QStringLiteral("Cancel"));
    cmdCancel->setAutoDefault(false);
    PlaceTwips(cmdCancel, 2160, 1680, 1575, 375);

    setTabOrder(InspectionYr1, InspectionYr2);
    setTabOrder(InspectionYr2, cmdCompare);
    setTabOrder(cmdCompare, cmdCancel);

    // A choice of the user (also the same entry again), not the refills below.
    connect(InspectionYr1, &QComboBox::activated, this, &frmIPdialog::InspectionYr1_Click);
    connect(cmdCompare, &QPushButton::clicked, this, &frmIPdialog::cmdCompare_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmIPdialog::cmdCancel_Click);
}

RowSet frmIPdialog::GetPostedPeriods(qint32 tunnelId) const
{
    // One look into the posted ratings' index per period of the tunnel, not a pass over
    // the posted ratings of the whole system.
    return gConn.query(QStringLiteral("SELECT * FROM InspectionPeriod WHERE TunnelID = ? AND EXISTS "
                                      "(SELECT 1 FROM RatingsPosted AS r WHERE r.InspectionID = "
                                      "InspectionPeriod.InspectionID) ORDER BY InspectionYear"),
                       {tunnelId});
}

void frmIPdialog::LoadForm(qint32 TunnelID)
{
    m_tunnelId = TunnelID;
    lblTName->setText(DbGetTunnelName(TunnelID));
    InspectionYr1->clear();
    InspectionYr2->clear();
    const RowSet periods = GetPostedPeriods(TunnelID);
    for (int i = 0; i < periods.count(); ++i) {
        const QString year = QString::number(periods.toInt(i, QStringLiteral("InspectionYear")));
        const qint32 id = periods.toInt(i, QStringLiteral("InspectionID"));
        InspectionYr1->addItem(year, id);
        InspectionYr2->addItem(year, id);
    }
    // Nothing is chosen until the user chooses.
    InspectionYr1->setCurrentIndex(-1);
    InspectionYr2->setCurrentIndex(-1);
    // The review is built in its own library; without it there is nothing to compare in.
    cmdCompare->setEnabled(FormIsAvailable(kReview));
    InspectionYr1->setFocus();
    exec();
}

void frmIPdialog::InspectionYr1_Click()
{
    // Runs inside the modal loop: an error cannot reach LoadForm's caller, so it is reported here.
    try {
        const QString chosen = InspectionYr1->currentText();
        InspectionYr2->clear();
        const RowSet periods = GetPostedPeriods(m_tunnelId);
        for (int i = 0; i < periods.count(); ++i) {
            const QString year = QString::number(periods.toInt(i, QStringLiteral("InspectionYear")));
            if (year != chosen)
                InspectionYr2->addItem(year, periods.toInt(i, QStringLiteral("InspectionID")));
        }
        InspectionYr2->setCurrentIndex(-1);
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading inspection periods"), kSource, e);
    }
}

void frmIPdialog::cmdCompare_Click()
{
    if (InspectionYr1->currentIndex() < 0) {
        MsgBox(QStringLiteral("Inspection Period 1 Must Be Selected"));
        return;
    }
    const qint32 first = InspectionYr1->currentData().toInt();
    const qint32 second = InspectionYr2->currentIndex() < 0 ? 0 : InspectionYr2->currentData().toInt();
    // A modal dialog does not stay over the modeless window it opens.
    hide();
    try {
        QWidget* review = LoadedOrNewForm(kReview);
        if (!review)
            throw FormNotInProgram(kReview);
        CallFormMethod(review, "LoadForm", {m_tunnelId, first, second});
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Tunnel Ratings screen"), kSource, e);
    }
    Unload();
}

void frmIPdialog::cmdCancel_Click() { Unload(); }
