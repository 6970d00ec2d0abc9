#pragma once
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>

#include <functional>
#include <memory>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

#include "krverror.h"

#include <QTableWidget>

// An error of the folder synchroniser: the object-error base plus a code, source "FolderSync".
class FolderSyncError : public KrvError {
public:
    enum Code { SourceMissing = 1, DestinationMissing = 2, BadFolderName = 3, InvalidFolders = 5, Nested = 6 };
    static constexpr long kObjectErrorBase = -2147221504L;  // 0x80040000 as a signed 32-bit number

    FolderSyncError(int code, const QString& description)
        : KrvError(kObjectErrorBase + code, description), m_code(code) {}
    int code() const noexcept { return m_code; }
    QString source() const { return QStringLiteral("FolderSync"); }

private:
    int m_code;
};

// Copies the files of one folder tree into another, one way, deciding per file by existence,
// modification time, size and attributes. Every decision is a line in the report grid (when
// one is given) and an Action signal. Runs on the caller's thread and lets the window system
// process events after each file, so a Stop button can call terminate(); the grid takes the
// new lines at most every 75 ms while a run goes on, and all of them when it ends.
//
// Folders are read with POSIX calls, so a name that is not valid UTF-8 is seen and copied
// under the same bytes (shown decoded). A copy is written unnamed and gets its name only
// once its content is on the disk, for many copies at a time; a replaced file stays whole
// until then.
//
// Attributes on Linux: read-only 1 = owner cannot write, hidden 2 = name starts with ".",
// directory 16, and a symbolic link carries 1024 (a reparse point), so links are never listed
// as files nor entered as folders, on either side and at any depth: each one met is a LINK line
// of the report, and the pass goes on. A pipe, socket or device counts as system (4) and is never
// listed. Archive (32) is never set here.
class FolderSync : public QObject {
    Q_OBJECT
public:
    enum Attribute { ReadOnly = 1, Hidden = 2, System = 4, Directory = 16, Archive = 32, Link = 1024 };

    explicit FolderSync(QObject* parent = nullptr);
    ~FolderSync() override;

    QString fromFolder() const { return m_fromFolder; }
    void setFromFolder(const QString& folder);
    QString toFolder() const { return m_toFolder; }
    void setToFolder(const QString& folder);

    bool includeSubFolders() const { return m_includeSubFolders; }
    void setIncludeSubFolders(bool on);
    bool createSubFolders() const { return m_createSubFolders; }
    void setCreateSubFolders(bool on);
    bool deleteEmpties() const { return m_deleteEmpties; }
    void setDeleteEmpties(bool on);
    bool overwriteAll() const { return m_overwriteAll; }
    void setOverwriteAll(bool on);
    bool copyIfMissing() const { return m_copyIfMissing; }
    void setCopyIfMissing(bool on);
    bool includeSystemFiles() const { return m_includeSystemFiles; }
    void setIncludeSystemFiles(bool on);
    bool includeNormalFiles() const { return m_includeNormalFiles; }
    void setIncludeNormalFiles(bool on);
    bool includeHiddenFiles() const { return m_includeHiddenFiles; }
    void setIncludeHiddenFiles(bool on);
    bool includeArchiveFilesOnly() const { return m_includeArchiveFilesOnly; }
    void setIncludeArchiveFilesOnly(bool on);
    bool clearArchiveFlag() const { return m_clearArchiveFlag; }
    void setClearArchiveFlag(bool on);

    // Letters of the attribute filters in the order N, H, S, A; writing sets each filter from
    // whether its (upper-case) letter occurs.
    QString fileAttributes() const;
    void setFileAttributes(const QString& letters);

    // The grid that receives the report (not owned; may be null).
    void setReportGrid(QTableWidget* grid);
    QTableWidget* reportGrid() const { return m_grid; }

    bool syncFoldersNow();
    // A line of the caller's own in the report (and an Action signal), between passes.
    void addReportLine(const QString& category, const QString& message, const QString& flags = QString());
    void terminate() { m_cancel = true; }
    bool isBusy() const { return m_busy; }
    bool isCancelled() const { return m_cancel; }

    // True only for a plain folder: directory, writable, not hidden (trailing "/" ignored).
    bool folderExists(const QString& path) const;

    // The attribute value of a path as described above; 0 for a missing path.
    static int attributesOf(const QString& path);

    // For tests: called once per copy attempt, after the file's data has been read and
    // before it is checked against the time and size taken before reading.
    void setCopyObserver(std::function<void(const QString& name)> observer) { m_copyObserver = std::move(observer); }

signals:
    // One per report line, before the grid row is written: ("MSG", message).
    void Action(const QString& kind, const QString& message);

private:
    struct Dir;
    struct PendingCopy;
    struct PendingRow {
        QString time;
        QString text;
        QString flags;
    };

    bool refuseWhileBusy();
    void report(const QString& category, const QString& message, const QString& flags);
    void showRows();
    void folderPass(const QString& source, const QString& destination, const QByteArray& sourcePath,
                    const QByteArray& destinationPath);
    void processFile(const std::shared_ptr<Dir>& source, const std::shared_ptr<Dir>& destination,
                     const QByteArray& rawName, const QString& name);
    bool copyFile(const std::shared_ptr<Dir>& source, const std::shared_ptr<Dir>& destination,
                  const QByteArray& rawName, const QString& name, struct stat before, bool replace,
                  QString* error);
    int openUnnamed(const std::shared_ptr<Dir>& destination, QByteArray* tempName);
    void flushCopies();
    void createFolder(const QString& path);
    void yield();

    QString m_fromFolder;
    QString m_toFolder;
    bool m_busy = false;
    bool m_includeSubFolders = false;
    bool m_createSubFolders = false;
    bool m_deleteEmpties = false;
    bool m_overwriteAll = false;
    bool m_copyIfMissing = true;
    bool m_cancel = false;
    QPointer<QTableWidget> m_grid;
    bool m_includeSystemFiles = false;
    bool m_includeNormalFiles = true;
    bool m_includeHiddenFiles = false;
    bool m_includeArchiveFilesOnly = false;
    bool m_clearArchiveFlag = false;

    std::vector<PendingRow> m_rows;  // report lines not yet in the grid
    QElapsedTimer m_sinceShown;
    std::vector<PendingCopy> m_copies;  // written, waiting to be made durable and named
    off_t m_waitingBytes = 0;
    std::function<void(const QString&)> m_copyObserver;
};
