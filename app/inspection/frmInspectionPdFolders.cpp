#include "frmInspectionPdFolders.h"

#include "failurereason.h"
#include "helpers.h"
#include "mediafiles.h"
#include "regularfiles.h"

#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>

YearAnswer ReadYearAnswer(const QString& answer)
{
    const QString text = answer.trimmed();
    if (text.isEmpty())
        return {};
    const double value = RoundHalfEven(Val(text));
    if (value == 0) {
        // "0" and "00" end quietly like a cancelled box; text that is no number at all is a wrong year.
        const QChar first = text.at(0);
        const bool startsWithNumber =
            first.isDigit() || ((first == QLatin1Char('+') || first == QLatin1Char('-') || first == QLatin1Char('.'))
                                && text.size() > 1 && (text.at(1).isDigit() || text.at(1) == QLatin1Char('.')));
        return startsWithNumber ? YearAnswer{} : YearAnswer{YearAnswer::Invalid, 0};
    }
    if (value < 1000 || value > 9999)
        return {YearAnswer::Invalid, 0};
    return {YearAnswer::Year, qint16(value)};
}

namespace {

QString withSlash(QString folder)
{
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    if (!folder.endsWith(QLatin1Char('/')))
        folder += QLatin1Char('/');
    return folder;
}

}  // namespace

int CopySketchFiles(const QString& fromFolder, const QString& toFolder,
                    const std::function<void(const QString&, const QString&)>& failed,
                    const std::function<void()>& afterEach, QHash<QString, QString>* placed,
                    const std::function<bool(const QString&)>& taken)
{
    const QString from = withSlash(fromFolder);
    const QString to = withSlash(toFolder);
    int count = 0;
    // Sketches are regular files: a pipe or a device named like one is no sketch to carry.
    for (const QString& name : RegularFileNames(from, {}, QDir::Name, true)) {
        const MediaPlacement done = PlaceMediaFile(from + name, to, taken);
        if (done.ok()) {
            ++count;
            if (placed)
                placed->insert(name, done.name);
        } else if (failed) {
            failed(name, WithReason(done.error, done.reason));
        }
        if (afterEach)
            afterEach();
    }
    return count;
}

namespace {

QString canonicalFolder(const QString& path)
{
    const QFileInfo fi(path);
    return fi.exists() ? fi.canonicalFilePath() : QString();
}

// Removes the content of a folder depth first, links as links; collects what stays.
void removeContent(const QString& folder, QStringList& left)
{
    const QFileInfoList entries =
        QDir(folder).entryInfoList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo& e : entries) {
        if (e.isDir() && !e.isSymLink()) {
            removeContent(e.filePath(), left);
            if (!QDir().rmdir(e.filePath()))
                left << e.filePath();
        } else if (!QFile::remove(e.filePath())) {
            left << e.filePath();
        }
    }
}

}  // namespace

QStringList RemoveYearFolder(const QString& yearFolder, const QString& dataPath)
{
    QString folder = yearFolder;
    folder.replace(QLatin1Char('\\'), QLatin1Char('/'));
    while (folder.endsWith(QLatin1Char('/')))
        folder.chop(1);
    const QFileInfo fi(folder);
    if (!fi.exists() && !fi.isSymLink())
        return {};

    // The year folder must be data path / tunnel / year, as found on disk: a link anywhere on
    // the way could point the removal at other files.
    const QString data = canonicalFolder(dataPath);
    const QString tunnel = canonicalFolder(fi.absolutePath());
    const bool inside = !data.isEmpty() && !fi.isSymLink() && fi.isDir()
                        && fi.canonicalFilePath() == tunnel + QLatin1Char('/') + fi.fileName()
                        && QFileInfo(tunnel).absolutePath() == data && tunnel != data;
    if (!inside)
        return {folder};

    QStringList left;
    removeContent(folder, left);
    if (!QDir().rmdir(folder))
        left << folder;
    return left;
}
