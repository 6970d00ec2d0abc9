#pragma once
#include <QString>
#include <exception>

// The one error type of the program: a number and a text, as the error log records them.
// Data procedures, folder procedures and checked reads raise it; a window's handler
// catches it and calls LogError.
class KrvError : public std::exception {
public:
    KrvError(long number, QString description)
        : m_number(number), m_description(std::move(description)), m_what(m_description.toUtf8()) {}
    long number() const noexcept { return m_number; }
    const QString& description() const noexcept { return m_description; }
    const char* what() const noexcept override { return m_what.constData(); }

    // The file the failure concerns and the system's error number (errno) behind it, where
    // known: what the reason a message adds is made from (FailureReason).
    const QString& file() const noexcept { return m_file; }
    int systemError() const noexcept { return m_systemError; }
    void setFile(const QString& file, int systemError = 0)
    {
        m_file = file;
        m_systemError = systemError;
    }

private:
    long m_number;
    QString m_description;
    QByteArray m_what;
    QString m_file;
    int m_systemError = 0;
};

// A database error: the engine's error code and text, or one of the numbers below.
class DbError : public KrvError {
public:
    using KrvError::KrvError;
};

// Numbers of the errors the data layer raises itself.
namespace ErrNo {
constexpr long NoCurrentRecord = 3021;  // a read on a missing row
constexpr long InvalidUseOfNull = 94;   // a Null read into a number or text
constexpr long ItemNotFound = 3265;     // a column the row set does not have
constexpr long FileNotFound = 53;
constexpr long PathNotFound = 76;
constexpr long PermissionDenied = 70;
constexpr long BadFileName = 52;
}  // namespace ErrNo
