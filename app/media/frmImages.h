#pragma once
#include "forms.h"

#include <QString>
#include <QVector>
#include <QWidget>

class ClickLabel;
class QAction;
class QCheckBox;
class QComboBox;
class QGroupBox;
class QLabel;
class QMenu;
class QPainter;
class QPlainTextEdit;
class QSizeF;
class QPushButton;
class QToolButton;
class ZVMap;

// The picture viewer: one photo of an element (with paging through the element's photos)
// or its field sketch, with zoom, pan and printing. Every caller makes a new instance, so
// several viewers can be open at once; none keeps its placement.
class frmImages : public KrvForm<QWidget> {
    Q_OBJECT
public:
    struct Picture {
        QString ImagePath;   // bare file name
        QString Annotation;  // "" when Null
    };

    explicit frmImages(QWidget* parent = nullptr);

    // Loads the pictures of the element and shows picture Index (from 0). A missing picture
    // file is reported and the viewer unloads without being shown.
    Q_INVOKABLE void LoadForm(int Index, bool IsFieldSketch, qint32 PanelID, qint32 ElementID, qint32 InspectionID);
    // Fills the picture list of the viewer's kind, in the order the rows were added.
    Q_INVOKABLE void DbLoadPicArray(qint32 PanelID, qint32 ElementID, qint32 InspectionID, bool IsFieldSketch);

    int CurrentIndex() const { return m_currentIndex; }
    int PicCount() const { return m_picCount; }
    bool PanActive() const { return m_panActive; }
    const QVector<Picture>& PicArray() const { return m_picArray; }
    // The file shown ("" when none).
    QString CurrentPath() const { return m_currentPath; }

    ZVMap* mapContainer;
    QGroupBox* fraAnn;
    QLabel* lblAnnotation;
    QPlainTextEdit* txtAnnotation;
    QComboBox* cboZoom;
    QToolButton* imgZoom;
    QCheckBox* chkPan;
    QPushButton* cmdPrevious;
    QPushButton* cmdNext;
    QPushButton* cmdPrint;
    QPushButton* cmdPhoto;
    QPushButton* cmdClose;
    ClickLabel* Image1;
    ClickLabel* Label1;

    QMenu* mnuImage;
    QAction* mnuPan;
    QMenu* mnuZoom;
    QAction* mnu50;
    QAction* mnu75;
    QAction* mnu100;
    QAction* mnu150;
    QAction* mnu200;
    QAction* mnuNext;
    QAction* mnuPrevious;
    QAction* mnuPrint;

protected:
    void resizeEvent(QResizeEvent* event) override;

private:
    QString GetSketchName() const;
    void PrintImagePage(QPainter& painter, const QSizeF& pageSize, int resolution, const QString& tunnel,
                        const QString& panel, const QString& element, qint32 year);
    void showPicture(int index);
    void setZoomText(const QString& text);
    void cmdNext_Click();
    void cmdPrevious_Click();
    void cboZoom_Click();
    void cboZoom_Enter();
    void imgZoom_Click();
    void zoomMenu(int percent);
    void chkPan_Click();
    void mnuPan_Click();
    void cmdPhoto_Click();
    void cmdClose_Click();
    void cmdPrint_Click();
    void showAbout();
    void layoutControls();

    qint32 m_panelId = 0;
    qint32 m_elementId = 0;
    qint32 m_inspectionId = 0;
    qint32 m_tunnelId = 0;
    bool m_isFieldSketch = false;
    QVector<Picture> m_picArray;
    int m_picCount = 0;
    int m_currentIndex = 0;
    QString m_sketchFile;
    QString m_photoFolder;
    QString m_sketchFolder;
    QString m_currentPath;
    bool m_panActive = false;
};
