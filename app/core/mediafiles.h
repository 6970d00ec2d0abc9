#pragma once
#include <QString>
#include <functional>

// Bringing a picture or clip into an inspection's media folder. Cameras restart their
// numbering, so two different files often share a name: a file in the folder is never
// replaced, since rows of other elements may point at it.

// Where a brought-in file ended up.
struct MediaPlacement {
    QString name;         // its bare name in the folder; empty when it could not be placed
    bool copied = false;  // false: a file of the same content was there already and is used
    QString error;        // why not, when name is empty
    QString reason;       // the same in plain words for a message's second line, where known
    bool ok() const { return !name.isEmpty(); }
};

// "IMG_0001.jpg" numbered 2 is "IMG_0001 (2).jpg"; 1 gives the name itself.
QString NumberedFileName(const QString& name, int number);

// True when both are readable files holding the same bytes.
bool SameFileContent(const QString& a, const QString& b);

// Brings source into folder under its own name, or the first of "name (2).ext",
// "name (3).ext", ... that is free. A name whose file holds the same content is used as it
// is (nothing copied); a name with another file, or one that taken() says a row points at,
// is passed over. The copy is written under a temporary name ("<name>.krv-copy") and then
// given its name without replacing anything, keeping the source's modification time.
MediaPlacement PlaceMediaFile(const QString& source, const QString& folder,
                              const std::function<bool(const QString&)>& taken = {});
