#pragma once
#include <QSize>
#include <QString>

// Pictures shown as a map (the system map, a tunnel picture) are held whole in memory, four
// bytes a pixel, and drawn at every zoom. A picture beyond these limits is refused before it
// is copied or stored, whatever its file claims to hold.
constexpr qint64 kMapPictureMaxPixels = 40'000'000;  // e.g. 8000 x 5000: 160 MB in memory
constexpr int kMapPictureMaxSide = 20000;

enum class MapPictureCheck { Ok, NotPicture, TooLarge };

// Reads only the file's header. size, when given, gets the picture's size (empty when unknown).
MapPictureCheck CheckMapPicture(const QString& path, QSize* size = nullptr);

// The message for a picture that is too large: its name, its size and the limits.
QString MapPictureTooLargeText(const QString& fileName, QSize size);

// Shows that message through the prompt service when the file is too large; false then.
bool MapPictureSizeAccepted(const QString& path, const QString& title);

// "The map picture <file> cannot be read." with the reason on a second line (missing, a folder,
// unreadable, no picture), so a map never stays an empty area unexplained; "" when the file reads
// as a picture.
QString UnreadableMapPictureText(const QString& path);
