#pragma once
#include "forms.h"

#include <QHash>
#include <QVector>
#include <QWidget>

class ClickLabel;
class ClipPlayer;
class QFrame;
class QLabel;
class QPushButton;
class QScrollBar;

// Plays the video clips of one element of one panel for one inspection: a column of
// cells on the left (a small player and the file name under it) and a large player for
// the selected clip. Single instance, modeless; writes nothing.
class frmVideoView : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit frmVideoView(QWidget* parent = nullptr);

    // Lists the element's clips, selects the first and shows the window. Errors reach the
    // caller. Called again on the open window, it rebuilds the list.
    Q_INVOKABLE void LoadForm(qint32 PanelID, qint32 ElementID, qint32 InspectionID);

    // A control's placement in twips, as the layout set it (the strip's cells, the strip,
    // its container and scroll bar, the large player, the frame and its buttons).
    struct TwipRect {
        double left = 0, top = 0, width = 0, height = 0;
    };
    TwipRect Twips(const QWidget* control) const { return m_twips.value(control); }

    // The index of the selected clip.
    int CurrentClip() const { return m_currentClip; }
    // The highest loaded cell index (0 with one clip or none).
    int HighestIndex() const { return int(Media.size()) - 1; }
    qint32 TunnelID() const { return m_tunnelId; }

    // ---- controls; Media and lblMedia hold one cell per clip, cell 0 always
    QWidget* picContainer;
    QWidget* picMedia;
    QVector<ClipPlayer*> Media;
    QVector<ClickLabel*> lblMedia;
    QScrollBar* VScroll1;
    ClipPlayer* mdaSelected;
    QFrame* fraBottom;
    QLabel* Image1;
    QLabel* Label1;
    QPushButton* cmdPrevious;
    QPushButton* cmdNext;
    QPushButton* cmdClose;

    // ---- the commands, as their controls run them
    void cmdNext_Click();
    void cmdPrevious_Click();
    void lblMedia_Click(int index);
    void cmdClose_Click();
    void VScroll1_Change(int value);

    // ---- the designed client area, in twips
    static constexpr double kClientWidth = 7890;
    static constexpr double kClientHeight = 5955;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    void LoadClipList();
    void ArrangeClips();
    void SelectClip(int index);
    void ArrangeControls();
    void ClearClipList();
    void addCell();
    void setTwips(QWidget* control, const TwipRect& r);
    void markLabel(ClickLabel* label, bool selected);

    qint32 m_panelId = 0;
    qint32 m_elementId = 0;
    qint32 m_inspectionId = 0;
    qint32 m_tunnelId = 0;
    int m_currentClip = 0;
    QHash<const QWidget*, TwipRect> m_twips;
};
