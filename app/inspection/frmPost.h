#pragma once
#include "forms.h"

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;
class QPushButton;

// Where the posting window's controls go for a number of listed panels (twips).
struct PostLayout {
    bool listShown = true;  // Label2 and List1
    int listHeight = 0;
    int label3Top = 0;
    int buttonsTop = 0;
    int windowHeight = 0;   // the whole window, border included
    friend bool operator==(const PostLayout&, const PostLayout&) = default;
};
PostLayout PostLayoutFor(int items);

// Posting of one inspection period: lists the tunnel's panels whose ratings are
// incomplete, asks, and posts the period's entered data into the posted tables in one
// transaction. Modal; hides the inspection-period window while it is open. One instance.
// A period another user removed meanwhile is not posted: nothing is written, the user is told.
class frmPost : public KrvForm<QDialog> {
    Q_OBJECT
public:
    explicit frmPost(QWidget* parent = nullptr);

    // Lists the incomplete panels and shows the window modally; returns when it has closed,
    // or at once (after "There is no data to post.") when the tunnel has no panel.
    // Database errors reach the caller.
    Q_INVOKABLE void LoadForm(qint32 TunnelID, qint32 InspectionID);

    // Names of the tunnel's panels, in PanelID order, that have no element or an element
    // without a rating in the period. Only ratings of elements still on the panel count.
    static QStringList IncompletePanels(qint32 tunnelId, qint32 inspectionId);

    qint32 TunnelID() const { return m_tunnelId; }
    qint32 InspectionID() const { return m_inspectionId; }

    QLabel* Label1;
    QLabel* Label2;
    QListWidget* List1;
    QLabel* Label3;
    QPushButton* cmdYes;
    QPushButton* cmdNo;

protected:
    // Escape and closing the window cancel like No.
    void reject() override;
    // Any unload but a posting shows the inspection-period window again.
    void FormUnload() override;
    void paintEvent(QPaintEvent* event) override;

private:
    void cmdYes_Click();
    void cmdNo_Click();
    void applyLayout(int items);
    static void showTree();

    qint32 m_tunnelId = 0;
    qint32 m_inspectionId = 0;
    QString m_periodName;  // "The inspection period 2026", for a period removed meanwhile
    bool m_posted = false;
};
