#pragma once
#include "forms.h"

#include <QRect>
#include <QStringList>
#include <QVector>
#include <QWidget>

class ClickLabel;
class QAction;
class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QScrollBar;

// Thumbnails of an element's photos for one inspection, five to a row on a scrolling pane.
// A photo is chosen with the mouse, the arrow keys, the buttons or its number, and opened
// in a new picture viewer, or removed from the element. One window at a time, modeless.
class frmMultImg : public KrvForm<QWidget> {
    Q_OBJECT
public:
    explicit frmMultImg(QWidget* parent = nullptr);

    // Builds the thumbnails (again, when the window is open) and shows the window. Errors
    // reach the caller.
    Q_INVOKABLE void LoadForm(qint32 PanelID, qint32 ElementID, qint32 InspectionID, bool IsFieldSketch);
    // The photo names, in the order they were added, and one empty entry after them.
    Q_INVOKABLE void DbLoadPicArray(qint32 PanelID, qint32 ElementID, qint32 InspectionID, bool FieldSketch);

    int PicCount() const { return m_picCount; }
    int CurrentIndex() const { return m_currentIndex; }
    int LastIndex() const { return m_lastIndex; }
    const QStringList& PicArray() const { return m_picArray; }
    // Geometry in twips of thumbnail i on the strip, and the strip's height.
    QRect ThumbnailTwips(int i) const;
    int StripHeightTwips() const { return m_stripHeight; }

    QWidget* Picture1;
    QWidget* Picture2;
    QVector<QLabel*> imgThumbnail;
    QVector<QLabel*> Image2;
    QScrollBar* VScroll1;
    QPushButton* cmdBack;
    QLineEdit* txtIndex;
    QLabel* Label1;
    QLabel* txtTotal;
    QPushButton* cmdNext;
    QPushButton* cmdView;
    QPushButton* cmdClose;
    ClickLabel* Label2;
    ClickLabel* Image1;

    QMenu* mnuPhotograph;
    QAction* mnuDelete;
    QAction* mnuNext;
    QAction* mnuPrevious;
    QAction* mnuView;
    QAction* mnuClose;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void select(int index);
    void navigationUpdate();
    void setEmpty();
    QLabel* newThumbnail(int index);
    void placeThumbnail(int index, int left, int top);
    void cmdNext_Click();
    void cmdBack_Click();
    void cmdView_Click();
    void mnuDelete_Click();
    void txtIndex_Enter();
    bool Picture1_KeyDown(int key);
    void VScroll1_Change(int value);
    void showAbout();
    void layoutControls();

    qint32 m_panelId = 0;
    qint32 m_elementId = 0;
    qint32 m_inspectionId = 0;
    qint32 m_tunnelId = 0;
    bool m_isFieldSketch = false;
    QStringList m_picArray;
    int m_picCount = 0;
    int m_currentIndex = 0;
    int m_lastIndex = 0;
    QVector<QRect> m_thumbTw;
    int m_stripHeight = 3035;
    bool m_centred = false;
};
