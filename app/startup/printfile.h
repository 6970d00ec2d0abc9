#pragma once
#include <QString>

class QPrinter;

// A printer that prints to a file writes it under a temporary name beside the chosen one;
// finish() checks it whole before it takes the chosen name, so a full disk leaves the old file
// (or none) and is told, never a cut file. A printer that prints on paper is left alone.
class PrintFile {
public:
    // Throws FileWriteError when the chosen file's folder takes no file.
    explicit PrintFile(QPrinter& printer);
    // The printer gets its file name back; a file not finished goes.
    ~PrintFile();
    PrintFile(const PrintFile&) = delete;
    PrintFile& operator=(const PrintFile&) = delete;

    // After the painter ended (ended: what its end() gave). Throws FileWriteError naming the
    // file and why when the file is not whole.
    void finish(bool ended = true);

private:
    QPrinter& m_printer;
    QString m_target;
    QString m_temp;
};
