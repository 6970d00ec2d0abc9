#pragma once
#include "forms.h"
#include "rowedits.h"

#include <QWidget>

class ClickLabel;
class ClipPlayer;
class QFrame;
class QLabel;
class QListWidget;
class QPushButton;

// Attaches video clips to one element of one panel for one inspection. The clips lie in
// the inspection's video folder; a clip from elsewhere is copied into it first. Each
// attached clip is one Videos row holding the bare file name. Single instance, modeless;
// keeps its placement.
class frmVideo : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit frmVideo(QWidget* parent = nullptr);

    // Lists the folder's clips and the element's clips and shows the window. A missing video
    // folder is reported and the window unloads unshown. Errors reach the caller.
    Q_INVOKABLE void LoadForm(qint32 PanelID, qint32 TunnelID, qint32 ElementID, qint32 InspectionID);

    // The video folder LoadForm found (ends in a separator).
    QString VideoFolder() const { return m_folder; }

    // ---- controls
    ClipPlayer* Media;
    QFrame* fraBottom;
    QLabel* Label1;
    QListWidget* fileVideos;
    QLabel* Label2;
    QListWidget* lstSelected;
    QPushButton* cmdCopy;
    QPushButton* cmdRemove;
    QPushButton* cmdStore;
    QPushButton* cmdClose;
    ClickLabel* imgCorvane;
    ClickLabel* lblKRV;

    // ---- the commands, as their controls run them
    void fileVideos_Click();
    void lstSelected_Click();
    void Media_NewStream();
    void cmdStore_Click();
    void cmdRemove_Click();
    void cmdCopy_Click();
    void cmdClose_Click();

    // ---- the designed client area, in twips
    static constexpr double kClientWidth = 7110;
    static constexpr double kClientHeight = 6675;

protected:
    void FormUnload() override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void RefreshFileList();
    void ArrangeControls();
    void showAbout();

    qint32 m_panelId = 0;
    qint32 m_tunnelId = 0;
    qint32 m_elementId = 0;
    qint32 m_inspectionId = 0;
    QString m_folder;
    // What the clips belong to, named as the window loaded.
    QVector<NeededRow> m_cellNeeds;
};
