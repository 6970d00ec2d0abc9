#pragma once
#include <QList>
#include <QString>

// The kinds of picture file a picture chooser offers: only those the program can show
// (what QImageReader reads here), so no chooser offers a file that then fails to load.
// Photos and sketches are decoded whole up to this many pixels (a phone's 12 MP photo is);
// a larger one is held scaled down, and the part on screen decoded at the detail shown.
constexpr qint64 kPhotoDecodePixels = 16'000'000;

struct PictureFileType {
    QString name;      // as the type list shows it: "JPEG Files (*.jpg;*.jpeg)"
    QString patterns;  // "*.jpg;*.jpeg"
};

// "All Picture Files" first (icons and cursors included when readable), then one entry
// per readable kind.
QList<PictureFileType> PictureFileTypes();
// The file dialog's filter: every readable picture kind except icons and cursors.
QString PictureBrowseFilter();

// True when the file is a picture the program reads (by its content, whatever its name says),
// judged from its header and a decode at thumbnail size, never whole: a picture of any size a
// camera takes passes. Checked before a picture is copied in or stored.
bool IsReadablePicture(const QString& path);
