#include "frmImgInput.h"

#include "clicklabel.h"
#include "db.h"
#include "dbmedia.h"
#include "failurereason.h"
#include "frmAbout.h"
#include "helpers.h"
#include "krverror.h"
#include "mediafiles.h"
#include "modkrv.h"
#include "picturetypes.h"
#include "prompt.h"
#include "regularfiles.h"
#include "settings.h"
#include "textfit.h"
#include "uihelpers.h"
#include "zvmap.h"

#include <QComboBox>
#include <QDir>
#include <QEvent>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QHash>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>
#include <QSignalBlocker>

namespace {

const QString kSource = QStringLiteral("frmImgInput");
const QString kReplaceQuestion =
    QStringLiteral("A field sketch already exists for this element.  Are you sure want to replace the existing field sketch?");
const QString kReplaceTitle = QStringLiteral("Replace Field Sketch");
const QString kDuplicate = QStringLiteral("This photo has already been added to the photo list.");
const QString kInvalidPicture = QStringLiteral("Invalid image file.");

int tw(int pixels) { return int(PixelsToTwips(pixels)); }

QString sketchTest(bool sketch)
{
    return sketch ? QStringLiteral(" AND FieldSketch <> 0") : QStringLiteral(" AND FieldSketch = 0");
}

bool sameFolder(const QString& a, const QString& b)
{
    const QFileInfo fa(a), fb(b);
    if (fa.exists() && fb.exists())
        return fa.canonicalFilePath() == fb.canonicalFilePath();
    return QDir::cleanPath(fa.absoluteFilePath()) == QDir::cleanPath(fb.absoluteFilePath());
}

}  // namespace

const QStringList& frmImgInput::FileTypeNames()
{
    static const QStringList names = [] {
        QStringList list;
        for (const PictureFileType& t : PictureFileTypes())
            list << t.name;
        return list;
    }();
    return names;
}

const QStringList& frmImgInput::FileTypePatterns()
{
    static const QStringList patterns = [] {
        QStringList list;
        for (const PictureFileType& t : PictureFileTypes())
            list << t.patterns;
        return list;
    }();
    return patterns;
}

frmImgInput::frmImgInput(QWidget* parent) : KrvForm<QWidget>(QStringLiteral("frmImgInput"), parent)
{
    setWindowTitle(QStringLiteral("Image Input Form"));

    PreviewPane = new ZVMap(this);
    PreviewPane->setDecodeLimit(kPhotoDecodePixels);
    PreviewPane->setObjectName(QStringLiteral("PreviewPane"));
    PlaceTwips(PreviewPane, 120, 120, 8010, 3600);

    fraBottom = new QFrame(this);
    fraBottom->setObjectName(QStringLiteral("fraBottom"));
    PlaceTwips(fraBottom, 120, 3840, 8000, 3255);

    auto label = [this](const char* name, const QString& text) {
        auto* l = new QLabel(text, fraBottom);
        l->setObjectName(QString::fromLatin1(name));
        return l;
    };
    auto button = [this](const char* name, const QString& text) {
        auto* b = new QPushButton(text, fraBottom);
        b->setObjectName(QString::fromLatin1(name));
        return b;
    };
    Label3 = label("Label3", QStringLiteral("Available Images"));
    PlaceTwips(Label3, 120, 60, 2700, 255);
    fileImgList = new QListWidget(fraBottom);
    fileImgList->setObjectName(QStringLiteral("fileImgList"));
    PlaceTwips(fileImgList, 120, 330, 2700, 2340);
    cboFileType = new QComboBox(fraBottom);
    cboFileType->setObjectName(QStringLiteral("cboFileType"));
    PlaceTwips(cboFileType, 120, 2760, 2700, 375);

    Label2 = label("Label2", QStringLiteral("Selected Images"));
    PlaceTwips(Label2, 3000, 60, 2400, 255);
    lstSelected = new QListWidget(fraBottom);
    lstSelected->setObjectName(QStringLiteral("lstSelected"));
    PlaceTwips(lstSelected, 3000, 330, 1970, 1560);
    lblAnnotation = label("lblAnnotation", QStringLiteral("Annotation"));
    PlaceTwips(lblAnnotation, 3000, 1950, 1500, 255);
    txtAnnotation = new QLineEdit(fraBottom);
    txtAnnotation->setObjectName(QStringLiteral("txtAnnotation"));
    PlaceTwips(txtAnnotation, 3000, 2220, 4880, 375);
    txtAnnotation->installEventFilter(this);

    cmdCopy = button("cmdCopy", QStringLiteral("&Browse..."));
    cmdPreview = button("cmdPreview", QStringLiteral("&Preview Image"));
    cmdStore = button("cmdStore", QStringLiteral("&Store Image"));
    cmdRemove = button("cmdRemove", QStringLiteral("&Remove Image"));
    cmdCancel = button("cmdCancel", QStringLiteral("&Close"));
    PlaceTwips(cmdPreview, 5090, 330, 1335, 375);
    PlaceTwips(cmdStore, 6545, 330, 1335, 375);
    PlaceTwips(cmdCopy, 5090, 810, 1335, 375);
    PlaceTwips(cmdRemove, 6545, 810, 1335, 375);
    PlaceTwips(cmdCancel, 6545, 2760, 1335, 375);
    // The buttons take the width the widest caption needs in the desktop's face; the
    // window and the frame grow by what the two columns need more.
    const int wider = WidenToWidest({cmdPreview, cmdStore, cmdCopy, cmdRemove, cmdCancel}) - TwipsToPixels(1335);
    cmdPreview->setEnabled(false);
    cmdStore->setEnabled(false);
    cmdRemove->setEnabled(false);

    Image1 = new ClickLabel(QString(), fraBottom);
    Image1->setObjectName(QStringLiteral("Image1"));
    Image1->setPixmap(ProgramLogo(TwipsToPixels(375)));
    Image1->setCursor(Qt::PointingHandCursor);
    PlaceTwips(Image1, 3000, 2760, 375, 375);
    Label1 = new ClickLabel(QStringLiteral("Quorrel"), fraBottom);
    Label1->setObjectName(QStringLiteral("Label1"));
    Label1->setCursor(Qt::PointingHandCursor);
    PlaceTwips(Label1, 3435, 2820, 900, 255);

    connect(cboFileType, &QComboBox::currentIndexChanged, this, &frmImgInput::cboFileType_Click);
    connect(fileImgList, &QListWidget::itemSelectionChanged, this, &frmImgInput::fileImgList_Selection);
    connect(fileImgList, &QListWidget::itemDoubleClicked, this, [this] {
        if (fileImgList->count() > 0)
            cmdPreview_Click();
    });
    connect(cmdPreview, &QPushButton::clicked, this, &frmImgInput::cmdPreview_Click);
    connect(cmdStore, &QPushButton::clicked, this, &frmImgInput::cmdStore_Click);
    connect(cmdCopy, &QPushButton::clicked, this, &frmImgInput::cmdCopy_Click);
    connect(cmdRemove, &QPushButton::clicked, this, &frmImgInput::cmdRemove_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmImgInput::cmdCancel_Click);
    // Also when code selects an item: a stored picture is then selected as by a click.
    connect(lstSelected, &QListWidget::currentRowChanged, this, &frmImgInput::lstSelected_Click);
    connect(txtAnnotation, &QLineEdit::textChanged, this, &frmImgInput::txtAnnotation_Change);
    connect(Image1, &ClickLabel::clicked, this, &frmImgInput::showAbout);
    connect(Label1, &ClickLabel::clicked, this, &frmImgInput::showAbout);

    resize(TwipsToPixels(8250) + 2 * wider, TwipsToPixels(7215));
}

void frmImgInput::Load(qint32 TunnelID, qint32 PanelID, qint32 ElementID, qint32 InspectionID, bool IsFieldSketch)
{
    if (cboFileType->currentIndex() < 0) {
        cboFileType->addItems(FileTypeNames());
        cboFileType->setCurrentIndex(0);
    }
    m_tunnelId = TunnelID;
    SetFormTunnel(this, TunnelID);
    m_panelId = PanelID;
    m_elementId = ElementID;
    m_inspectionId = InspectionID;
    m_isFieldSketch = IsFieldSketch;
    m_cellNeeds = DbMediaCellNeeds(PanelID, ElementID, InspectionID);

    LoadPictureList();
    dropRemovedPreview();
    if (!IsFieldSketch)
        m_currentIndex = lstSelected->count() > 0 ? -1 : 0;
    else
        m_currentIndex = 0;

    // Both folders of the year, whichever kind the window works on.
    MakeFolderTree(GetSketchFolder(TunnelID, InspectionID));
    MakeFolderTree(GetPhotoFolder(TunnelID, InspectionID));
    QString folder = targetFolder();
    while (folder.endsWith(QLatin1Char('/')) || folder.endsWith(QLatin1Char('\\')))
        folder.chop(1);
    m_listFolder = folder;
    refreshFileList();

    RestoreFormPosition(this);
    show();
}

QString frmImgInput::targetFolder() const
{
    return m_isFieldSketch ? GetSketchFolder(m_tunnelId, m_inspectionId) : GetPhotoFolder(m_tunnelId, m_inspectionId);
}

void frmImgInput::LoadPictureList()
{
    const QSignalBlocker block(lstSelected);
    lstSelected->clear();
    m_picArray.clear();
    m_shown.clear();
    const RowSet rows = gConn.query(QStringLiteral("SELECT ImagePath, Annotation, FieldSketch FROM ImagePaths "
                                                   "WHERE PanelID = ? AND ElementID = ? AND InspectionID = ?")
                                        + sketchTest(m_isFieldSketch) + QStringLiteral(" ORDER BY rowid"),
                                    {m_panelId, m_elementId, m_inspectionId});
    for (int i = 0; i < rows.count(); ++i) {
        const Picture p{rows.value(i, "ImagePath").toString(), rows.value(i, "Annotation").toString(),
                        rows.value(i, "Annotation"), rows.value(i, "FieldSketch")};
        m_picArray.append(p);
        m_shown.filled(p.ImagePath, p.StoredAnnotation, p.Annotation);
        auto* item = new QListWidgetItem(p.ImagePath, lstSelected);
        item->setData(Qt::UserRole, i);
    }
    if (m_picArray.isEmpty())
        m_picArray.append(Picture{});
}

int frmImgInput::insertRow(const QString& name, bool sketch, const QString& annotation)
{
    // A photo another user stored for the element meanwhile is not stored twice.
    return gConn.exec(QStringLiteral("INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, FieldSketch, InspectionID, "
                                     "Annotation) SELECT ?, ?, ?, ?, ?, ? WHERE NOT EXISTS (SELECT 1 FROM ImagePaths "
                                     "WHERE PanelID = ? AND ElementID = ? AND InspectionID = ? AND ImagePath = ?")
                          + sketchTest(sketch) + QStringLiteral(")"),
                      {m_panelId, m_elementId, name, sketch ? 1 : 0, m_inspectionId, annotation, m_panelId,
                       m_elementId, m_inspectionId, name});
}

bool frmImgInput::storeRow(const QString& name, bool sketch, const QString& annotation, bool replaceSketch)
{
    int added = 0;
    RowWrite add;
    add.kind = RowWrite::Kind::Add;
    add.write = [&] {
        if (replaceSketch)
            deleteSketchRowsSql();
        added = insertRow(name, sketch, annotation);
    };
    if (!SaveRows({add}, m_cellNeeds).saved())
        return false;
    if (added == 0) {
        MsgBox(kDuplicate);
        reloadPictures(QString());
        return false;
    }
    return true;
}

void frmImgInput::deleteSketchRowsSql()
{
    gConn.exec(QStringLiteral("DELETE FROM ImagePaths WHERE PanelID = ? AND ElementID = ? AND InspectionID = ?")
                   + sketchTest(true),
               {m_panelId, m_elementId, m_inspectionId});
}

// The empty entry when the list holds no picture, else a new last entry.
int frmImgInput::takeNewEntry(const QString& name, const QString& annotation)
{
    int index = int(m_picArray.size());
    if (m_picArray.size() == 1 && m_picArray[0].ImagePath.isEmpty())
        index = 0;
    else
        m_picArray.append(Picture{});
    m_picArray[index] = {name, annotation, annotation, 0};
    m_shown.filled(name, annotation, annotation);
    return index;
}

void frmImgInput::AddPhotoRow()
{
    const Picture& entry = m_picArray[m_currentIndex];
    if (storeRow(entry.ImagePath, false, txtAnnotation->text()))
        afterPhotoStored();
}

void frmImgInput::afterPhotoStored()
{
    auto* item = new QListWidgetItem(m_picArray[m_currentIndex].ImagePath, lstSelected);
    item->setData(Qt::UserRole, m_currentIndex);
    lstSelected->setCurrentItem(item);
}

bool frmImgInput::AddSketchRow()
{
    const QString annotation = txtAnnotation->text();
    if (!storeRow(m_sketchFile, true, annotation))
        return false;
    afterSketchStored(annotation);
    return true;
}

// The entry takes the annotation its row was given, so the box never shows a text that
// differs from the stored one.
void frmImgInput::afterSketchStored(const QString& annotation)
{
    m_picArray[0] = {m_sketchFile, annotation, annotation, 1};
    m_shown.filled(m_sketchFile, annotation, annotation);
    auto* item = new QListWidgetItem(m_sketchFile, lstSelected);
    item->setData(Qt::UserRole, 0);
    lstSelected->setCurrentItem(item);
}

void frmImgInput::DeleteSketchRows()
{
    deleteSketchRowsSql();
    const QSignalBlocker block(lstSelected);
    delete lstSelected->takeItem(0);
}

void frmImgInput::DeletePhotoRow(const QString& name)
{
    gConn.exec(QStringLiteral("DELETE FROM ImagePaths WHERE PanelID = ? AND ElementID = ? AND InspectionID = ?")
                   + sketchTest(false) + QStringLiteral(" AND ImagePath = ?"),
               {m_panelId, m_elementId, m_inspectionId, name});
    const QSignalBlocker block(lstSelected);
    delete lstSelected->takeItem(lstSelected->currentRow());
    int removed = -1;
    for (int i = 0; i < m_picArray.size(); ++i)
        if (m_picArray[i].ImagePath == name) {
            removed = i;
            break;
        }
    if (removed < 0)
        return;
    m_picArray.removeAt(removed);
    // The remaining items stay linked to their own entries.
    for (int i = 0; i < lstSelected->count(); ++i) {
        QListWidgetItem* item = lstSelected->item(i);
        const int linked = item->data(Qt::UserRole).toInt();
        if (linked > removed)
            item->setData(Qt::UserRole, linked - 1);
    }
    if (m_picArray.isEmpty())
        m_picArray.append(Picture{});
}

QString frmImgInput::GetStoredSketch() const
{
    return gConn
        .scalar(QStringLiteral("SELECT ImagePath FROM ImagePaths WHERE PanelID = ? AND ElementID = ? "
                               "AND InspectionID = ?")
                    + sketchTest(true) + QStringLiteral(" ORDER BY rowid LIMIT 1"),
                {m_panelId, m_elementId, m_inspectionId})
        .toString();
}

bool frmImgInput::SketchExists() const
{
    return gConn
        .scalar(QStringLiteral("SELECT FieldSketch FROM ImagePaths WHERE PanelID = ? AND ElementID = ? "
                               "AND InspectionID = ?")
                    + sketchTest(m_isFieldSketch) + QStringLiteral(" LIMIT 1"),
                {m_panelId, m_elementId, m_inspectionId})
        .isValid();
}

bool frmImgInput::isListed(const QString& name) const
{
    for (const Picture& p : m_picArray)
        if (p.ImagePath == name)
            return true;
    return false;
}

void frmImgInput::refreshFileList()
{
    const QSignalBlocker block(fileImgList);
    fileImgList->clear();
    if (!m_listFolder.isEmpty()) {
        const QStringList patterns = FileTypePatterns().value(cboFileType->currentIndex()).split(QLatin1Char(';'));
        fileImgList->addItems(RegularFileNames(m_listFolder, patterns));
    }
    // Nothing is selected after a refresh, so there is nothing to preview or store.
    cmdPreview->setEnabled(false);
    cmdStore->setEnabled(false);
}

void frmImgInput::cboFileType_Click()
{
    refreshFileList();
}

void frmImgInput::fileImgList_Selection()
{
    const bool selected = !fileImgList->selectedItems().isEmpty();
    cmdStore->setEnabled(selected);
    cmdPreview->setEnabled(selected);
}

bool frmImgInput::showInPreview(const QString& path)
{
    // A pipe or a device named like a picture is refused at once, never opened.
    if (!IsRegularFile(path)) {
        MsgBox(kInvalidPicture, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
    try {
        PreviewPane->setImage(path);
        return true;
    } catch (const std::exception&) {
        MsgBox(kInvalidPicture, MsgButtons::Ok, MsgIcon::Warning);
        return false;
    }
}

void frmImgInput::cmdPreview_Click()
{
    const QListWidgetItem* item = fileImgList->currentItem();
    if (!item || !item->isSelected())
        return;
    if (showInPreview(m_listFolder + QLatin1Char('/') + item->text()))
        m_previewedPicture.clear();  // a file of the folder, stored or not
}

void frmImgInput::cmdStore_Click()
{
    try {
        const QListWidgetItem* item = fileImgList->currentItem();
        if (!item || !item->isSelected())
            return;
        const QString name = item->text();
        // A file that is no picture is never stored.
        if (!IsReadablePicture(m_listFolder + QLatin1Char('/') + name)) {
            MsgBox(kInvalidPicture, MsgButtons::Ok, MsgIcon::Warning);
            return;
        }
        if (!m_isFieldSketch) {
            if (isListed(name)) {
                MsgBox(kDuplicate);
                return;
            }
            const QString annotation = txtAnnotation->text();
            if (!storeRow(name, false, annotation))
                return;
            m_currentIndex = takeNewEntry(name, annotation);
            afterPhotoStored();
            MsgBox(QStringLiteral("The photo has been stored."));
            return;
        }
        if (!SketchExists()) {
            const QString before = m_sketchFile;
            m_sketchFile = name;
            if (!AddSketchRow()) {
                m_sketchFile = before;
                return;
            }
            MsgBox(QStringLiteral("The field sketch has been stored."));
            return;
        }
        if (MsgBox(kReplaceQuestion, MsgButtons::YesNo, MsgIcon::None, kReplaceTitle) != MsgAnswer::Yes)
            return;
        // The old sketch goes only when the new one is in.
        const QString annotation = txtAnnotation->text();
        if (!storeRow(name, true, annotation, true))
            return;
        m_sketchFile = name;
        {
            const QSignalBlocker block(lstSelected);
            delete lstSelected->takeItem(0);
        }
        afterSketchStored(annotation);
        MsgBox(QStringLiteral("The new field sketch has been stored."));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error storing image file"), kSource, e);
    }
}

void frmImgInput::cmdCopy_Click()
{
    QString chosen;
    const QString target = targetFolder();
    try {
        if (m_isFieldSketch && !GetStoredSketch().isEmpty()
            && MsgBox(kReplaceQuestion, MsgButtons::YesNo, MsgIcon::None, kReplaceTitle) != MsgAnswer::Yes)
            return;
        chosen = Prompt().openFileName(QStringLiteral("Open"), target,
                                       PictureBrowseFilter());
        refreshFileList();
        if (chosen.isEmpty())
            return;
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error copying image file"), kSource, e);
        return;
    }

    try {
        // A pipe or a device is refused at once, wherever it is: nothing ever opens it.
        if (!IsRegularFile(chosen)) {
            MsgBox(kInvalidPicture, MsgButtons::Ok, MsgIcon::Warning);
            return;
        }
        // A file of the folder itself is stored from the file list.
        if (sameFolder(QFileInfo(chosen).absolutePath(), target))
            return;
        // A file that is no picture is neither copied nor stored.
        if (!IsReadablePicture(chosen)) {
            MsgBox(kInvalidPicture, MsgButtons::Ok, MsgIcon::Warning);
            return;
        }
        if (MsgBox(QStringLiteral("This file must be copied to the application data path to be associated with "
                                  "this tunnel.\r\nContinue with copy and store image?"),
                   MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Warning!"))
            != MsgAnswer::Yes)
            return;
        // Another element's picture of the same name stays: the copy takes a free name,
        // or the file there is used when it holds the same picture.
        const MediaKind kind = m_isFieldSketch ? MediaKind::Sketch : MediaKind::Photo;
        const MediaPlacement placed = PlaceMediaFile(chosen, target, [this, kind](const QString& name) {
            return DbMediaFileInUse(m_inspectionId, kind, name);
        });
        if (!placed.ok()) {
            MsgBox(WithReason(QStringLiteral("Unable to copy file ") + QDir::toNativeSeparators(chosen)
                                  + QStringLiteral(".  File may be in use."),
                              placed.reason),
                   MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("Error"));
            return;
        }
        refreshFileList();
        const QString name = placed.name;
        const QString annotation = txtAnnotation->text();
        if (m_isFieldSketch) {
            if (!storeRow(name, true, annotation, true))
                return;
            m_sketchFile = name;
            {
                const QSignalBlocker block(lstSelected);
                lstSelected->clear();
            }
            afterSketchStored(annotation);
            MsgBox(QStringLiteral("The new field sketch has been stored."));
            return;
        }
        if (isListed(name)) {
            MsgBox(kDuplicate);
            return;
        }
        if (!storeRow(name, false, annotation))
            return;
        m_currentIndex = takeNewEntry(name, annotation);
        afterPhotoStored();
        MsgBox(QStringLiteral("The photo has been stored."));
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error storing image file"), kSource, e);
    }
}

void frmImgInput::cmdRemove_Click()
{
    try {
        QListWidgetItem* item = lstSelected->currentItem();
        if (!item || !item->isSelected()) {
            MsgBox(QStringLiteral("You must select an image to remove from the Selected Images list."));
            return;
        }
        if (MsgBox(QStringLiteral("Are you sure you want to remove this image from the element?"), MsgButtons::YesNo,
                   MsgIcon::None, m_isFieldSketch ? QStringLiteral("Remove Fieldsketch") : QStringLiteral("Remove Photo"))
            != MsgAnswer::Yes)
            return;
        if (m_isFieldSketch) {
            DeleteSketchRows();
            m_picArray[0] = Picture{};
        } else {
            DeletePhotoRow(item->text());
        }
        dropRemovedPreview();
        // No picture is current any more: text typed now belongs to none.
        m_currentIndex = -1;
        const QSignalBlocker block(lstSelected);
        lstSelected->setCurrentRow(-1);
        txtAnnotation->clear();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error removing image file"), kSource, e);
    }
}

void frmImgInput::lstSelected_Click()
{
    const QListWidgetItem* item = lstSelected->currentItem();
    if (!item)
        return;
    const int index = item->data(Qt::UserRole).toInt();
    if (index < 0 || index >= m_picArray.size())
        return;
    m_currentIndex = index;
    cmdRemove->setEnabled(true);
    if (showInPreview(m_listFolder + QLatin1Char('/') + m_picArray[index].ImagePath))
        m_previewedPicture = m_picArray[index].ImagePath;
    const QString path = m_picArray[index].ImagePath;
    const bool typed = m_shown.changed(path, m_picArray[index].Annotation);
    txtAnnotation->setText(m_picArray[index].Annotation);
    // Untyped, what the box shows is what a save compares with: the box may hand the stored
    // text back altered, which is no change.
    if (!typed)
        m_shown.filled(path, m_shown.loaded(path), txtAnnotation->text());
}

void frmImgInput::txtAnnotation_Change()
{
    if (m_currentIndex >= 0 && m_currentIndex < m_picArray.size())
        m_picArray[m_currentIndex].Annotation = txtAnnotation->text();
}

bool frmImgInput::saveAnnotation(int i)
{
    if (i < 0 || i >= m_picArray.size() || m_picArray[i].ImagePath.isEmpty())
        return true;
    // Only a text the user changed is written: passing through the box writes nothing.
    Picture& p = m_picArray[i];
    const QString typed = p.Annotation;
    if (!m_shown.changed(p.ImagePath, typed))
        return true;
    try {
        const QString picture =
            (m_isFieldSketch ? QStringLiteral("field sketch %1") : QStringLiteral("photo %1")).arg(p.ImagePath);
        const SaveOutcome out = DbSetImageAnnotation({m_panelId, m_elementId, m_inspectionId, p.ImagePath, p.SketchFlag},
                                                     m_shown.loaded(p.ImagePath), typed, picture, m_cellNeeds);
        if (out.result == SaveOutcome::Result::Cancelled)
            return false;
        if (out.result == SaveOutcome::Result::Gone || out.showStored()) {
            // What is stored now shows: the other user's text, or the list without the picture.
            reloadPictures(QString(p.ImagePath));
            return true;
        }
        p.StoredAnnotation = typed;
        m_shown.filled(p.ImagePath, typed, typed);
        return true;
    } catch (const std::exception& e) {
        // Told; the typing stays with its picture for the next try.
        LogError(QString(), kSource, e);
        return true;
    }
}

void frmImgInput::reloadPictures(QString settled)
{
    // Typing not yet saved stays with its picture, but for the one just settled.
    QHash<QString, QString> typed;
    for (const Picture& p : std::as_const(m_picArray))
        if (!p.ImagePath.isEmpty() && p.ImagePath != settled && m_shown.changed(p.ImagePath, p.Annotation))
            typed.insert(p.ImagePath, p.Annotation);
    const QString current = m_currentIndex >= 0 && m_currentIndex < m_picArray.size()
                                ? m_picArray[m_currentIndex].ImagePath
                                : QString();
    LoadPictureList();
    dropRemovedPreview();
    for (Picture& p : m_picArray)
        if (const auto found = typed.constFind(p.ImagePath); found != typed.constEnd())
            p.Annotation = *found;
    m_currentIndex = m_isFieldSketch || lstSelected->count() == 0 ? 0 : -1;
    const auto shown = current.isEmpty() ? QList<QListWidgetItem*>()
                                         : lstSelected->findItems(current, Qt::MatchExactly);
    if (!shown.isEmpty()) {
        lstSelected->setCurrentItem(shown.first());
    } else {
        const QSignalBlocker block(txtAnnotation);
        txtAnnotation->clear();
    }
}

void frmImgInput::dropRemovedPreview()
{
    if (m_previewedPicture.isEmpty() || isListed(m_previewedPicture))
        return;
    PreviewPane->ClearImage();
    m_previewedPicture.clear();
}

void frmImgInput::txtAnnotation_Validate()
{
    // A save the user cancelled keeps the typing with its picture, to be saved later.
    saveAnnotation(m_currentIndex);
}

bool frmImgInput::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == txtAnnotation && event->type() == QEvent::FocusOut)
        txtAnnotation_Validate();
    return KrvForm<QWidget>::eventFilter(watched, event);
}

void frmImgInput::cmdCancel_Click()
{
    Unload();
    for (QWidget* w : LoadedForms())
        if (w->objectName() == QLatin1String("frmDataInput")) {
            w->show();
            w->raise();
            w->activateWindow();
        }
}

bool frmImgInput::SettleEditBeforeClose()
{
    // An annotation typed last is kept even when the window closes from the box, and so is
    // one whose save the user put off.
    for (int i = 0; i < m_picArray.size(); ++i)
        if (!saveAnnotation(i))
            return false;
    return true;
}

void frmImgInput::FormUnload() { SaveFormPosition(this); }

void frmImgInput::showAbout()
{
    auto* about = new frmAbout(this);
    about->exec();
}

void frmImgInput::resizeEvent(QResizeEvent* event)
{
    KrvForm<QWidget>::resizeEvent(event);
    layoutControls();
}

void frmImgInput::layoutControls()
{
    if (isMinimized())
        return;
    if (width() < TwipsToPixels(1800)) {
        resize(TwipsToPixels(1800), height());
        return;
    }
    const int innerW = tw(width());
    const int innerH = tw(height());
    const int frameLeft = tw(fraBottom->x());
    // Never narrower than the design plus what the wider buttons need.
    const int frameW = VarMax(8000 + 2 * VarMax(0, tw(cmdPreview->width()) - 1335), innerW - 2 * frameLeft);
    const int frameH = tw(fraBottom->height());
    fraBottom->resize(TwipsToPixels(frameW), fraBottom->height());
    if (innerW > 5310) {
        const int left = frameW - 120 - tw(cmdCancel->width());
        for (QPushButton* b : {cmdCancel, cmdRemove, cmdStore})
            b->move(TwipsToPixels(left), b->y());
        const int previewLeft = left - 120 - tw(cmdPreview->width());
        cmdPreview->move(TwipsToPixels(previewLeft), cmdPreview->y());
        cmdCopy->move(TwipsToPixels(previewLeft), cmdCopy->y());
        txtAnnotation->resize(TwipsToPixels(frameW - 120 - tw(txtAnnotation->x())), txtAnnotation->height());
    }
    const int frameTop = innerH - frameH - 120;
    fraBottom->move(fraBottom->x(), TwipsToPixels(frameTop));
    const int paneTop = tw(PreviewPane->y());
    const int paneLeft = tw(PreviewPane->x());
    PreviewPane->resize(TwipsToPixels(VarMax(1, innerW - paneLeft - 15)), TwipsToPixels(VarMax(1, frameTop - paneTop)));
}
