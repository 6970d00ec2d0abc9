#pragma once
#include <QHash>
#include <QString>
#include <QStringList>
#include <functional>
#include <optional>

// Helpers of the inspection-period window: the year typed into its input box and the
// media folders of a year.

// What an answer to "Enter an inspection year" means.
struct YearAnswer {
    enum Kind { Silent, Invalid, Year };
    Kind kind = Silent;
    qint16 year = 0;
};
// Empty text and a leading number of 0 ("0", "00") stop silently; text without a leading
// number ("abc") and numbers outside 1000 to 9999 are invalid; any other answer is its
// leading number taken to the nearest whole (halves to even): " 2004abc" is 2004.
YearAnswer ReadYearAnswer(const QString& answer);

// Copies every ordinary file of fromFolder into toFolder, keeping its modification time.
// A file of toFolder is never replaced: one of the same content is used as it is, else the
// copy takes a free name ("s1 (2).png"; PlaceMediaFile, with taken). placed receives each
// file's name in toFolder. Each copy goes to a temporary name first, so a failed copy never
// leaves a half file. For each file that cannot be copied, failed(file name, description) is
// called and the copy goes on; after each file, afterEach() runs. A missing fromFolder
// copies nothing. Returns the number of files placed.
int CopySketchFiles(const QString& fromFolder, const QString& toFolder,
                    const std::function<void(const QString&, const QString&)>& failed,
                    const std::function<void()>& afterEach = {}, QHash<QString, QString>* placed = nullptr,
                    const std::function<bool(const QString&)>& taken = {});

// Removes a year's folder and everything in it. yearFolder must lie two levels below
// dataPath (data path / tunnel / year), itself no link; anything else is refused and
// nothing is removed. Links inside are removed, never followed. A missing folder is no
// failure. Returns what could not be removed (empty when everything went).
QStringList RemoveYearFolder(const QString& yearFolder, const QString& dataPath);
