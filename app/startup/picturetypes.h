#pragma once
#include <QList>
#include <QString>

// The kinds of picture file a picture chooser offers: only those the program can show
// (what QImageReader reads here), so no chooser offers a file that then fails to load.
struct PictureFileType {
    QString name;      // as the type list shows it: "JPEG Files (*.jpg;*.jpeg)"
    QString patterns;  // "*.jpg;*.jpeg"
};

// "All Picture Files" first (icons and cursors included when readable), then one entry
// per readable kind.
QList<PictureFileType> PictureFileTypes();
// The file dialog's filter: every readable picture kind except icons and cursors.
QString PictureBrowseFilter();

// True when the file reads whole as a picture, as the map control reads it (by its content,
// whatever its name says). Checked before a picture is copied in or stored.
bool IsReadablePicture(const QString& path);
