#include "frmOpenSysMap.h"

#include "failurereason.h"
#include "globals.h"
#include "helpers.h"
#include "mappicture.h"
#include "modkrv.h"
#include "picturetypes.h"
#include "prompt.h"
#include "regularfiles.h"
#include "savefile.h"
#include "uihelpers.h"
#include "zvmap.h"

#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QResizeEvent>

#include <cerrno>
#include <cstdio>

namespace {

int tw(double twips) { return TwipsToPixels(twips); }

// Copies source into folder under its own name, replacing a file of that name. The copy
// is written beside the target and renamed over it, and keeps the source's modification
// time. "" when done; else, leaving the folder as it was, why not in plain words (or a
// single space when the system did not say).
QString copyIntoFolder(const QString& source, const QString& folder)
{
    const QFileInfo src(source);
    const QString target = QDir(folder).filePath(src.fileName());
    // The same file under another spelling: nothing to copy, and replacing it would lose it.
    if (QFileInfo(target).exists() && QFileInfo(target).canonicalFilePath() == src.canonicalFilePath())
        return QString();
    // A picture its owner made read-only is not replaced.
    if (IsReadOnlyFile(target))
        return QStringLiteral("The file %1 is read-only.").arg(QDir::toNativeSeparators(target));
    const QString temp = target + QStringLiteral(".krv-copy");
    QFile::remove(temp);
    QFile in(source);
    if (!in.copy(temp)) {
        const QString why = SystemErrorReason(SystemErrorInText(in.errorString()), folder);
        QFile::remove(temp);
        return why.isEmpty() ? QStringLiteral(" ") : why;
    }
    {
        QFile copied(temp);
        if (copied.open(QIODevice::ReadWrite))
            copied.setFileTime(src.lastModified(), QFileDevice::FileModificationTime);
    }
    // rename(2) replaces the target in one step.
    if (std::rename(QFile::encodeName(temp).constData(), QFile::encodeName(target).constData()) != 0) {
        const QString why = SystemErrorReason(errno, folder);
        QFile::remove(temp);
        return why.isEmpty() ? QStringLiteral(" ") : why;
    }
    return QString();
}

}  // namespace

const QList<QPair<QString, QString>>& frmOpenSysMap::FileTypes()
{
    // Only what the map can show; icons and cursors are listed with all pictures.
    static const QList<QPair<QString, QString>> types = [] {
        QList<QPair<QString, QString>> list;
        for (const PictureFileType& t : PictureFileTypes())
            list.append({t.name, t.patterns});
        return list;
    }();
    return types;
}

QString frmOpenSysMap::BrowseFilter()
{
    // Icons and cursors are listed in the folder but not offered when browsing.
    return PictureBrowseFilter();
}

frmOpenSysMap::frmOpenSysMap(QWidget* parent) : KrvForm<QDialog>(QStringLiteral("frmOpenSysMap"), parent)
{
    setWindowTitle(QStringLiteral("Open"));
    setModal(true);

    lblFileTypes = new QLabel(QStringLiteral("File Types"), this);
    lblFileTypes->setObjectName(QStringLiteral("lblFileTypes"));
    cboFileType = new QComboBox(this);
    cboFileType->setObjectName(QStringLiteral("cboFileType"));
    cboFileType->setToolTip(QStringLiteral("Select File Type"));
    File1 = new QListWidget(this);
    File1->setObjectName(QStringLiteral("File1"));
    ZVMap1 = new ZVMap(this);
    ZVMap1->setObjectName(QStringLiteral("ZVMap1"));
    ZVMap1->setBorderStyle(1);
    ZVMap1->setMessageHandler([](const QString& title, const QString& text) {
        MsgBox(text, MsgButtons::Ok, MsgIcon::Warning, title);
    });
    auto button = [this](const QString& text, const char* name) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        return b;
    };
    cmdOpen = button(QStringLiteral("&Open"), "cmdOpen");
    cmdOpen->setToolTip(QStringLiteral("Open"));
    cmdOpen->setEnabled(false);
    cmdCancel = button(QStringLiteral("&Cancel"), "cmdCancel");
    cmdCancel->setToolTip(QStringLiteral("Cancel"));
    cmdBrowse = button(QStringLiteral("&Browse..."), "cmdBrowse");

    lblFileTypes->setGeometry(tw(120), tw(120), tw(3000), tw(255));
    cboFileType->setGeometry(tw(120), tw(390), tw(3000), tw(345));
    File1->setGeometry(tw(120), tw(855), tw(3000), tw(3000));
    ZVMap1->setGeometry(tw(3240), tw(120), tw(4000), tw(3700));
    cmdBrowse->setGeometry(tw(120), tw(4000), tw(1200), tw(375));
    cmdOpen->setGeometry(tw(4800), tw(4000), tw(1200), tw(375));
    cmdCancel->setGeometry(tw(6100), tw(4000), tw(1200), tw(375));
    resize(tw(9600), tw(6000));

    // The load: the types, the first one applied.
    for (const auto& type : FileTypes())
        cboFileType->addItem(type.first);
    cboFileType->setCurrentIndex(0);
    m_patterns = FileTypes().first().second.split(QLatin1Char(';'));

    connect(cboFileType, &QComboBox::activated, this, [this] { cboFileType_Click(); });
    connect(File1, &QListWidget::itemClicked, this, [this] { File1_Click(); });
    connect(File1, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0)
            File1_Click();
    });
    connect(File1, &QListWidget::itemDoubleClicked, this, [this] { cmdOpen_Click(); });
    connect(cmdOpen, &QPushButton::clicked, this, [this] { cmdOpen_Click(); });
    connect(cmdCancel, &QPushButton::clicked, this, [this] { cmdCancel_Click(); });
    connect(cmdBrowse, &QPushButton::clicked, this, [this] { cmdBrowse_Click(); });
}

void frmOpenSysMap::LoadForm(QString title, QString folder)
{
    try {
        m_folder = folder;
        if (!folder.isEmpty() && QFileInfo(folder).isDir()) {
            m_listFolder = folder;
            setWindowTitle(title);
        } else {
            m_listFolder = QDir::currentPath() + QLatin1Char('/');
        }
        refreshFiles();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error loading Open Map screen"), objectName(), e);
        // Nothing to show: the chooser answers "".
        gPictureFound = false;
    }
}

QStringList frmOpenSysMap::listedFiles() const
{
    QStringList names;
    for (int i = 0; i < File1->count(); ++i)
        names << File1->item(i)->text();
    return names;
}

void frmOpenSysMap::refreshFiles()
{
    const QString selected = File1->currentItem() ? File1->currentItem()->text() : QString();
    QSignalBlocker block(File1);
    File1->clear();
    // Matched without regard to case, as the patterns are meant ("B.JPG" is a JPEG file).
    const QStringList names = RegularFileNames(m_listFolder, m_patterns, QDir::Name | QDir::IgnoreCase);
    File1->addItems(names);
    const int keep = names.indexOf(selected);
    if (keep >= 0)
        File1->setCurrentRow(keep);
}

void frmOpenSysMap::cboFileType_Click()
{
    try {
        const int i = cboFileType->currentIndex();
        if (i < 0 || i >= FileTypes().size())
            return;
        m_patterns = FileTypes().at(i).second.split(QLatin1Char(';'));
        refreshFiles();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error selecting file type"), objectName(), e);
    }
}

void frmOpenSysMap::File1_Click()
{
    QListWidgetItem* item = File1->currentItem();
    if (!item)
        return;
    cmdOpen->setEnabled(true);
    const QString path = QDir(m_listFolder).filePath(item->text());
    try {
        // A picture too large for a map is not read for a preview either; Open says why.
        if (CheckMapPicture(path) == MapPictureCheck::TooLarge) {
            ZVMap1->ClearImage();
            return;
        }
        ZVMap1->setImage(path);
    } catch (const std::exception&) {
        // A file that is no picture (a metafile) has no preview; the choice stays possible
        // and the window that uses it says why it cannot be shown.
    }
}

void frmOpenSysMap::answer(const QString& fileName)
{
    SetSysMapChoice(fileName);
    m_answered = true;
    Unload();
}

void frmOpenSysMap::cmdOpen_Click()
{
    try {
        QListWidgetItem* item = File1->currentItem();
        // Refused here, the window stays open for another choice.
        if (item && !MapPictureSizeAccepted(QDir(m_listFolder).filePath(item->text()), windowTitle()))
            return;
        answer(item ? item->text() : QString());
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error opening file"), objectName(), e);
        if (!m_answered)
            answer(QString());
    }
}

void frmOpenSysMap::cmdCancel_Click() { answer(QString()); }

void frmOpenSysMap::FormUnload()
{
    // The close box answers as Cancel does, whatever an earlier run chose.
    if (!m_answered)
        SetSysMapChoice(QString());
}

void frmOpenSysMap::cmdBrowse_Click()
{
    try {
        const QString chosen = Prompt().openFileName(QStringLiteral("Open"), m_folder, BrowseFilter());
        refreshFiles();
        if (chosen.isEmpty())
            return;
        // The same folder, however spelt, needs no copy.
        const QString chosenFolder = QFileInfo(chosen).absoluteDir().canonicalPath();
        const QString kept = QDir(m_folder).canonicalPath();
        if (!kept.isEmpty() && chosenFolder == kept)
            return;
        // A pipe or a device is refused at once: nothing ever opens it.
        if (!IsRegularFile(chosen)) {
            MsgBox(WithReason(QStringLiteral("Invalid image file."), SystemErrorReason(EINVAL, chosen)),
                   MsgButtons::Ok, MsgIcon::Critical, windowTitle());
            return;
        }
        // Nothing is copied in that could never be a map.
        if (!MapPictureSizeAccepted(chosen, windowTitle()))
            return;
        if (MsgBox(QStringLiteral("This file must be copied to the application data path to be associated with this "
                                  "system.\nContinue with copy?"),
                   MsgButtons::YesNo, MsgIcon::None, QStringLiteral("Warning!")) != MsgAnswer::Yes)
            return;
        if (const QString why = copyIntoFolder(chosen, m_folder); !why.isEmpty()) {
            MsgBox(WithReason(QStringLiteral("Unable to copy file ") + chosen + QStringLiteral(".  File may be in use."),
                              why.trimmed()),
                   MsgButtons::Ok, MsgIcon::Critical, QStringLiteral("Error"));
            return;
        }
        refreshFiles();
    } catch (const std::exception& e) {
        LogError(QStringLiteral("Error copying system map image file"), objectName(), e);
    }
}

void frmOpenSysMap::resizeEvent(QResizeEvent* event)
{
    KrvForm<QDialog>::resizeEvent(event);
    const double w = PixelsToTwips(width());
    const double h = PixelsToTwips(height());
    const double mapLeft = PixelsToTwips(ZVMap1->x());
    const double mapTop = PixelsToTwips(ZVMap1->y());
    ZVMap1->setGeometry(tw(mapLeft), tw(mapTop), tw(VarMax(1000.0, w - mapLeft)), tw(VarMax(750.0, h - 630 - mapTop)));
    const double listTop = PixelsToTwips(File1->y());
    File1->setGeometry(File1->x(), File1->y(), File1->width(), tw(VarMax(500.0, h - 630 - listTop)));
    const double bw = PixelsToTwips(cmdCancel->width());
    const double bh = PixelsToTwips(cmdCancel->height());
    const double top = VarMax(1000.0, h - 100 - bh);
    cmdCancel->move(tw(w - 100 - bw), tw(top));
    cmdOpen->move(tw(w - 100 - bw - 100 - PixelsToTwips(cmdOpen->width())), tw(top));
    cmdBrowse->move(cmdBrowse->x(), tw(top));
}
