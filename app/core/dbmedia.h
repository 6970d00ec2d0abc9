#pragma once
#include "db.h"
#include "rowedits.h"

#include <QString>
#include <QStringList>
#include <QtGlobal>

// Rows of the picture and clip files of a media cell (panel, element, inspection): one
// field sketch at most, any number of photos and clips. File names are bare names and
// compare exactly. Rows of ImagePaths are added and removed by the media windows.
//
// Mind the argument order: the clip procedures take (panel, element, inspection); the
// picture list and the three posted checks take (panel, inspection, element).

// The number of photos the last DbGetImagePaths found. Rating entry reads it right after
// the call (fewer than 2: the single viewer, else the thumbnails).
extern qint16 gPhotoCount;

// What the rows of a media cell belong to: its inspection period, panel and panel element,
// named for the user ("The inspection period 2024", "The panel West", "The element Crown of
// panel West"). A window reads them as it loads, while they are there to be named; a save
// checks them inside its transaction.
QVector<NeededRow> DbMediaCellNeeds(qint32 panelId, qint32 elementId, qint32 inspectionId);

// One picture row as a window loaded it: the cell, the file name and the sketch flag as
// stored (a row brought in from elsewhere may hold -1 for yes).
struct PictureRow {
    qint32 panelId = 0;
    qint32 elementId = 0;
    qint32 inspectionId = 0;
    QString imagePath;
    QVariant fieldSketch;
};
// Stores the annotation of one picture the user changed, checked against the annotation as
// the window loaded it (loaded, as stored): another user's change is asked about; a picture
// or cell another user removed is told and nothing is written. The sketch flag is part of
// the key, so a photo never changes the sketch of the same name. picture names it in questions
// and messages ("photo b.png": "The photo b.png was removed ..."); cell is what it belongs to
// (DbMediaCellNeeds).
SaveOutcome DbSetImageAnnotation(const PictureRow& row, const QVariant& loaded, const QString& annotation,
                                 const QString& picture, const QVector<NeededRow>& cell);

// The field sketch's file name ("" when none). Fills photos from index 0 with the photo
// names in the order they were added, and sets gPhotoCount. With no photo the list is
// left as the caller gave it.
QString DbGetImagePaths(qint32 panelId, qint32 inspectionId, qint32 elementId, QStringList& photos);

// Column VideoFile of the cell's clips (working and posted rows).
RowSet DbGetVideos(qint32 panelId, qint32 elementId, qint32 inspectionId);
RowSet DbGetPostedVideos(qint32 panelId, qint32 elementId, qint32 inspectionId);

// Records a clip once per cell, while what the cell belongs to (cell: DbMediaCellNeeds) is
// there. Already: the cell has it, nothing written. Gone: another user removed the period,
// panel or element; nothing written, the user told.
enum class ClipAdded { Added, Already, Gone };
ClipAdded DbAddVideo(qint32 panelId, qint32 elementId, qint32 inspectionId, const QString& videoFile,
                     const QVector<NeededRow>& cell);
// Removes the clip's row; the file itself stays.
void DbDeleteVideo(qint32 panelId, qint32 elementId, qint32 inspectionId, const QString& videoFile);

// The three media folders of an inspection.
enum class MediaKind { Photo, Sketch, Video };
// Whether a working or posted row of the inspection points at the file of that folder.
bool DbMediaFileInUse(qint32 inspectionId, MediaKind kind, const QString& fileName);

// Whether the posted copies hold a sketch, a photo or a clip of the cell. The picture
// checks answer false when their query cannot run.
bool DbHasPostedSketch(qint32 panelId, qint32 inspectionId, qint32 elementId);
bool DbHasPostedPhoto(qint32 panelId, qint32 inspectionId, qint32 elementId);
bool DbHasPostedVideo(qint32 panelId, qint32 inspectionId, qint32 elementId);
