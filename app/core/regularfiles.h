#pragma once
#include <QDir>
#include <QString>
#include <QStringList>

class QFile;

// Pictures, photos, sketches and clips are only ever regular files, after links are followed.
// A named pipe opened for reading waits for a writer for good, a device may read for ever, and
// a folder is no picture: none of them is listed, and none is opened by a reader.

// True when path names a regular file, directly or through links.
bool IsRegularFile(const QString& path);

// The names of the regular files of folder that match one of the wildcard patterns ("*.jpg";
// matched without regard to case), in the order sort gives. Hidden files only with hidden.
QStringList RegularFileNames(const QString& folder, const QStringList& patterns, QDir::SortFlags sort = QDir::Name,
                             bool hidden = false);

// Opens path for reading only when it is a regular file, never waiting on a pipe or a device
// (also when the name is swapped for one between the look and the open). False otherwise, with
// errno set (EINVAL for a file that is no regular file).
bool OpenRegularFile(QFile& file, const QString& path);

// The same on a name in an open folder (openat): -1 with errno set, else the open descriptor.
// flags are added to O_RDONLY | O_CLOEXEC (O_NOFOLLOW, say).
int OpenRegularFileAt(int folderFd, const char* name, int flags = 0);
