#pragma once
#include "db.h"

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

// Stores the annotation of one picture; the sketch flag is part of the key, so a photo
// never changes the sketch of the same name. No row is added when none matches.
void DbSetImageAnnotation(const QString& annotation, qint32 panelId, qint32 elementId, qint32 inspectionId,
                          bool fieldSketch, const QString& imagePath);

// The field sketch's file name ("" when none). Fills photos from index 0 with the photo
// names in the order they were added, and sets gPhotoCount. With no photo the list is
// left as the caller gave it.
QString DbGetImagePaths(qint32 panelId, qint32 inspectionId, qint32 elementId, QStringList& photos);

// Column VideoFile of the cell's clips (working and posted rows).
RowSet DbGetVideos(qint32 panelId, qint32 elementId, qint32 inspectionId);
RowSet DbGetPostedVideos(qint32 panelId, qint32 elementId, qint32 inspectionId);

// Records a clip once per cell: false, and nothing written, when the cell has it already.
bool DbAddVideo(qint32 panelId, qint32 elementId, qint32 inspectionId, const QString& videoFile);
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
