#include "dbcascades.h"

#include "db.h"
#include "prompt.h"

#include <algorithm>
#include <functional>

namespace {
bool hasRows(const QString& sql, const QVariantList& binds)
{
    return !gConn.query(sql, binds).isEmpty();
}

bool yes(MsgAnswer a) { return a == MsgAnswer::Yes; }

// One question of a removal.
struct Question {
    QString rows;                // the rows that call for it; empty: asked always
    std::function<bool()> ask;   // false: the removal stops (declined, or refused)
    bool asked = false;
};

// Asks the questions in order, each once and with no transaction open, then deletes in one
// transaction, all or none. Inside that transaction the rows are looked for again: rows another
// user saved while a question was open, that no answer covered yet, roll it back and are asked
// about (or refuse the removal), so nothing is deleted unasked and nothing is left behind.
bool removeAfterQuestions(QVector<Question> questions, const QStringList& statements, const QVariantList& binds)
{
    for (;;) {
        for (Question& q : questions) {
            if (q.asked || (!q.rows.isEmpty() && !hasRows(q.rows, binds)))
                continue;
            if (!q.ask())
                return false;
            q.asked = true;
        }
        TxGuard tx;
        const bool appeared = std::any_of(questions.cbegin(), questions.cend(), [&](const Question& q) {
            return !q.asked && !q.rows.isEmpty() && hasRows(q.rows, binds);
        });
        if (appeared)
            continue;
        for (const QString& sql : statements)
            gConn.exec(sql, binds);
        tx.commit();
        return true;
    }
}
}  // namespace

bool DbDeleteTunnel(qint32 tunnelId, const QString& tunnelName)
{
    const QString ofPanels = QStringLiteral(" WHERE PanelID IN (SELECT PanelID FROM Panels WHERE TunnelID = ?)");
    QVector<Question> questions{
        {QStringLiteral("SELECT 1 FROM Ratings") + ofPanels + QStringLiteral(" LIMIT 1"),
         [&] {
             MsgBox(QStringLiteral("Unable to remove tunnel.  Ratings data exists."), MsgButtons::Ok,
                    MsgIcon::Warning, tunnelName);
             return false;
         }},
        {QStringLiteral("SELECT 1 FROM ImagePaths") + ofPanels + QStringLiteral(" LIMIT 1"),
         [&] {
             return yes(MsgBox(QStringLiteral("Field sketches and photographs exist for this tunnel.  "
                                              "Are you sure you want to remove the tunnel?"),
                               MsgButtons::YesNo, MsgIcon::Question, tunnelName));
         }},
        {QString(),
         [&] {
             return yes(MsgBox(QStringLiteral("Are you sure you want to remove %1?").arg(tunnelName),
                               MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Remove Tunnel"), MsgAnswer::No));
         }},
    };
    // The panels go last: the statements before them find the tunnel's rows through them.
    return removeAfterQuestions(questions,
                                {QStringLiteral("DELETE FROM Tunnels WHERE TunnelID = ?"),
                                 QStringLiteral("DELETE FROM TunnelCoord WHERE TunnelID = ?"),
                                 QStringLiteral("DELETE FROM ImagePaths") + ofPanels,
                                 QStringLiteral("DELETE FROM InspectionPeriod WHERE TunnelID = ?"),
                                 QStringLiteral("DELETE FROM PanelComments") + ofPanels,
                                 QStringLiteral("DELETE FROM PanelCoord") + ofPanels,
                                 QStringLiteral("DELETE FROM PanelElements") + ofPanels,
                                 QStringLiteral("DELETE FROM RepairLogs") + ofPanels,
                                 QStringLiteral("DELETE FROM Panels WHERE TunnelID = ?")},
                                {tunnelId});
}

bool DbDeletePanel(qint32 panelId)
{
    QVector<Question> questions{
        {QString(),
         [] {
             return yes(MsgBox(QStringLiteral("Are you sure you want to remove this panel?"), MsgButtons::YesNo,
                               MsgIcon::Question, QStringLiteral("Remove Panel")));
         }},
        {QStringLiteral("SELECT 1 FROM Ratings WHERE PanelID = ? LIMIT 1"),
         [] {
             return yes(MsgBox(QStringLiteral("This panel has ratings data.  Would you like to delete it anyway?"),
                               MsgButtons::YesNo, MsgIcon::Information, QStringLiteral("Ratings Data")));
         }},
    };
    return removeAfterQuestions(questions,
                                {QStringLiteral("DELETE FROM Ratings WHERE PanelID = ?"),
                                 QStringLiteral("DELETE FROM Panels WHERE PanelID = ?"),
                                 QStringLiteral("DELETE FROM PanelElements WHERE PanelID = ?"),
                                 QStringLiteral("DELETE FROM PanelCoord WHERE PanelID = ?"),
                                 QStringLiteral("DELETE FROM PanelComments WHERE PanelID = ?"),
                                 QStringLiteral("DELETE FROM RepairLogs WHERE PanelID = ?"),
                                 QStringLiteral("DELETE FROM ImagePaths WHERE PanelID = ?")},
                                {panelId});
}

bool DbRemovePanelElement(qint32 panelId, qint32 elementId)
{
    QVector<Question> questions{
        {QStringLiteral("SELECT 1 FROM Ratings WHERE PanelID = ? AND ElementID = ? LIMIT 1"),
         [] {
             return yes(MsgBox(QStringLiteral("This element has ratings data.  Would you like to delete it anyway?"),
                               MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Ratings Data")));
         }},
        {QStringLiteral("SELECT 1 FROM ImagePaths WHERE PanelID = ? AND ElementID = ? LIMIT 1"),
         [] {
             return yes(MsgBox(QStringLiteral("There are also images associated with this element.  "
                                              "Would you like to continue?"),
                               MsgButtons::YesNo, MsgIcon::Question, QStringLiteral("Images")));
         }},
    };
    return removeAfterQuestions(questions,
                                {QStringLiteral("DELETE FROM PanelElements WHERE PanelID = ? AND ElementID = ?"),
                                 QStringLiteral("DELETE FROM ImagePaths WHERE PanelID = ? AND ElementID = ?"),
                                 QStringLiteral("DELETE FROM Ratings WHERE PanelID = ? AND ElementID = ?")},
                                {panelId, elementId});
}

bool DbDeleteInspectionPeriod(qint32 inspectionId)
{
    QVector<Question> questions{
        {QStringLiteral("SELECT 1 FROM Ratings WHERE InspectionID = ? LIMIT 1"),
         [] {
             return yes(MsgBox(QStringLiteral("Ratings data exists for this Inspection Period. Are you sure you want "
                                              "to delete the Inspection Period and lose this information?"),
                               MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Ratings Data Found"), MsgAnswer::No));
         }},
        {QStringLiteral("SELECT 1 FROM ImagePaths WHERE InspectionID = ? LIMIT 1"),
         [] {
             return yes(MsgBox(QStringLiteral("Field sketches and photographs exist for this inspection period. Are "
                                              "you sure you want to remove this inspection period?"),
                               MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Delete Image Information"),
                               MsgAnswer::No));
         }},
    };
    return removeAfterQuestions(questions,
                                {QStringLiteral("DELETE FROM Ratings WHERE InspectionID = ?"),
                                 QStringLiteral("DELETE FROM PanelComments WHERE InspectionID = ?"),
                                 QStringLiteral("DELETE FROM ImagePaths WHERE InspectionID = ?"),
                                 QStringLiteral("DELETE FROM InspectionPeriod WHERE InspectionID = ?")},
                                {inspectionId});
}
