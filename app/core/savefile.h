#pragma once
#include "krverror.h"

#include <QByteArray>
#include <QIODevice>
#include <QString>

#include <cerrno>

// ---- Files written whole. Every write, the flush and the sync are checked before the new file
// takes the old one's name; on any failure the temporary file goes, the old file stays byte for
// byte, and the failure names the file and says why in plain words. (QSaveFile::commit() of
// Qt 6.4 reports success when its last flush fails, leaving a cut file in place.)

// Why a file could not be written, in plain words ("the disk is full").
QString PlainFileReason(int error);
// "The file <path> could not be written: <reason>."
QString FileNotWrittenText(const QString& path, const QString& reason);

// A file that could not be written whole; its description names the file and says why.
class FileWriteError : public KrvError {
public:
    static constexpr long kNumber = 75;  // path/file access error
    explicit FileWriteError(const QString& failure) : KrvError(kNumber, failure) {}
};
// A message's sentence, with the reason on a second line when error is a FileWriteError.
QString WithFileReason(const QString& sentence, const std::exception& error);

// A device that writes path through a temporary file beside it (a chain of links is written
// through to the file at its end, every link left a link). A file made read-only is refused
// ("krv.ini is read-only"), also for a user the system would let write it. commit() gives the
// new file the name; anything else leaves the old file.
class SaveFile : public QIODevice {
public:
    explicit SaveFile(const QString& path);
    ~SaveFile() override;  // an uncommitted file is thrown away
    SaveFile(const SaveFile&) = delete;
    SaveFile& operator=(const SaveFile&) = delete;

    // Where the folder takes no new file but the file itself may be written (an installed
    // program's read-only folder), the file is rewritten in place; a failure there puts the old
    // bytes back.
    void setInPlaceFallback(bool on) { m_inPlaceAllowed = on; }
    // The written bytes must make a whole PDF file (see PdfProblem) before they take the name.
    void setExpectPdf(bool on) { m_expectPdf = on; }

    bool open(OpenMode mode = WriteOnly) override;
    bool isSequential() const override { return true; }
    bool commit();
    void cancel();

    QString path() const { return m_path; }
    qint64 written() const { return m_written; }
    // Empty while nothing failed.
    QString reason() const { return m_reason; }
    QString failureText() const;

protected:
    qint64 readData(char*, qint64) override { return -1; }
    qint64 writeData(const char* data, qint64 size) override;

private:
    bool fail(int error);
    bool fail(const QString& reason);
    bool flushBuffer();
    bool commitInPlace();
    void discard();

    QString m_path;    // the name as given, for messages
    QString m_target;  // the file written (a link's target)
    QString m_temp;
    int m_fd = -1;
    bool m_inPlaceAllowed = false;
    bool m_inPlace = false;
    bool m_expectPdf = false;
    QByteArray m_buffer;
    QByteArray m_oldBytes;  // in place: what goes back on a failure
    qint64 m_written = 0;   // accepted from the caller
    qint64 m_onDisk = 0;    // handed to the file
    QString m_reason;
};

// True when path is a file its owner made read-only, judged by its permission bits as well as by
// the system's answer (root may write anything): such a file is never replaced.
bool IsReadOnlyFile(const QString& path);

// bytes as the whole of path. False, with failure (see FileNotWrittenText), leaving the old file.
bool SaveFileBytes(const QString& path, const QByteArray& bytes, QString* failure = nullptr,
                   bool inPlaceFallback = false);

// Adds bytes to the end of path (made when missing), every write and the flush checked; a
// failure cuts the file back to its old length.
bool AppendToFile(const QString& path, const QByteArray& bytes, QString* failure = nullptr);

// ---- Files another writer makes (a printer printing to a file).
// A new, empty file beside target under a name no file has; "" (with failure) when the folder
// takes no file.
QString MakeTemporaryBeside(const QString& target, QString* failure = nullptr);
// temp, written by another writer, checked as a whole PDF and renamed over target; otherwise
// temp is removed and failure says why (the disk is full, or the file was cut short).
bool CommitWrittenPdf(const QString& temp, const QString& target, QString* failure = nullptr);

// What is missing from the PDF file at path for it to be whole: its end (%%EOF), its
// cross-reference table where its trailer says, every byte the table counts. "" when whole.
QString PdfProblem(const QString& path);

// ---- For tests: a disk with room for only `room` more bytes of a file named fileName (in any
// folder); the write past it fails with error. A room below 0 makes the file fail at once.
// Applies to SaveFile, AppendToFile and CommitWrittenPdf (which cuts the file to the room, as
// the disk would have).
class WriteFault {
public:
    WriteFault(const QString& fileName, qint64 room, int error = ENOSPC);
    ~WriteFault();
    WriteFault(const WriteFault&) = delete;
    WriteFault& operator=(const WriteFault&) = delete;
};
