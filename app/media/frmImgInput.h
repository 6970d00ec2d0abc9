#pragma once
#include "forms.h"
#include "rowedits.h"

#include <QString>
#include <QStringList>
#include <QVector>
#include <QWidget>

class ClickLabel;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class ZVMap;

// Attaches photos, or the one field sketch, to an element of a panel for one inspection.
// A picture is a file in the year's photo or sketch folder, recorded by its bare name;
// one from elsewhere is copied there first. One window at a time, modeless.
class frmImgInput : public KrvForm<QWidget> {
    Q_OBJECT
public:
    struct Picture {
        QString ImagePath;
        QString Annotation;  // as typed
        // The row as stored when it was loaded or written: the annotation and the sketch flag.
        QVariant StoredAnnotation;
        QVariant SketchFlag;
    };

    explicit frmImgInput(QWidget* parent = nullptr);

    // Sets the window up for the element and shows it. Errors reach the caller.
    Q_INVOKABLE void Load(qint32 TunnelID, qint32 PanelID, qint32 ElementID, qint32 InspectionID, bool IsFieldSketch);

    // The file-type choices and their patterns, in list order.
    static const QStringList& FileTypeNames();
    static const QStringList& FileTypePatterns();

    int CurrentIndex() const { return m_currentIndex; }
    const QVector<Picture>& PicArray() const { return m_picArray; }
    // The folder of the file list, without its trailing separator.
    QString ListFolder() const { return m_listFolder; }

    ZVMap* PreviewPane;
    QFrame* fraBottom;
    QLabel* Label3;
    QListWidget* fileImgList;
    QComboBox* cboFileType;
    QPushButton* cmdCopy;
    QPushButton* cmdPreview;
    QPushButton* cmdStore;
    QLabel* Label2;
    QListWidget* lstSelected;
    QPushButton* cmdRemove;
    QLabel* lblAnnotation;
    QLineEdit* txtAnnotation;
    QPushButton* cmdCancel;
    ClickLabel* Image1;
    ClickLabel* Label1;

protected:
    void FormUnload() override;
    bool SettleEditBeforeClose() override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void LoadPictureList();
    void AddPhotoRow();
    bool AddSketchRow();
    void DeleteSketchRows();
    void DeletePhotoRow(const QString& name);
    QString GetStoredSketch() const;
    bool SketchExists() const;

    // Statements only, so that several can run in one transaction before the lists change.
    // The count of rows added: 0 when the element has that picture already.
    int insertRow(const QString& name, bool sketch, const QString& annotation);
    // Runs insertRow (after the old sketch rows' removal when replacing) in one transaction
    // while the period, panel and panel element are there; false, nothing written and the
    // user told, when another user removed one or stored the same picture meanwhile.
    bool storeRow(const QString& name, bool sketch, const QString& annotation, bool replaceSketch = false);
    void deleteSketchRowsSql();
    void afterSketchStored(const QString& annotationBefore);
    void afterPhotoStored();
    int takeNewEntry(const QString& name, const QString& annotation);

    void refreshFileList();
    void cboFileType_Click();
    void fileImgList_Selection();
    void cmdPreview_Click();
    void cmdStore_Click();
    void cmdCopy_Click();
    void cmdRemove_Click();
    void lstSelected_Click();
    void txtAnnotation_Change();
    // Writes picture i's annotation when the user changed it; false only when the user chose
    // to keep editing.
    bool saveAnnotation(int i);
    void txtAnnotation_Validate();
    // Loads the list again as stored; the typing of pictures not yet saved stays, but for
    // the picture named settled.
    void reloadPictures(QString settled);
    void cmdCancel_Click();
    bool showInPreview(const QString& path);
    // A stored picture no longer listed (removed here or by another user) leaves the preview.
    void dropRemovedPreview();
    bool isListed(const QString& name) const;
    QString targetFolder() const;
    void showAbout();
    void layoutControls();

    qint32 m_tunnelId = 0;
    qint32 m_panelId = 0;
    qint32 m_elementId = 0;
    qint32 m_inspectionId = 0;
    bool m_isFieldSketch = false;
    QVector<Picture> m_picArray;
    // Each picture's annotation as loaded and as the box showed it, by file name.
    ShownFields m_shown;
    QVector<NeededRow> m_cellNeeds;
    int m_currentIndex = -1;
    QString m_sketchFile;
    QString m_previewedPicture;  // the listed picture the preview shows, "" for none or a folder file
    QString m_listFolder;
};
