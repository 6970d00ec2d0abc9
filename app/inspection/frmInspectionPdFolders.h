#pragma once
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

// Copies every ordinary file of fromFolder into toFolder under the same name, replacing a
// file of that name, keeping its modification time. Each copy goes to a temporary name
// first, so a failed copy never leaves a half file. For each file that cannot be copied,
// failed(file name, description) is called and the copy goes on; after each file,
// afterEach() runs. A missing fromFolder copies nothing. Returns the number copied.
int CopySketchFiles(const QString& fromFolder, const QString& toFolder,
                    const std::function<void(const QString&, const QString&)>& failed,
                    const std::function<void()>& afterEach = {});

// Removes a year's folder and everything in it. yearFolder must lie two levels below
// dataPath (data path / tunnel / year), itself no link; anything else is refused and
// nothing is removed. Links inside are removed, never followed. A missing folder is no
// failure. Returns what could not be removed (empty when everything went).
QStringList RemoveYearFolder(const QString& yearFolder, const QString& dataPath);
