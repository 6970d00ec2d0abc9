#pragma once
// The synchronizer's error numbers and the one error type it raises.
#include "varnock_global.h"
#include <QByteArray>
#include <QString>
#include <cstdint>
#include <exception>

namespace Varnock {

// Object-error base (hex 80040000) plus the code; the enumeration carries the full numbers.
constexpr std::int32_t ObjectErrorBase = std::int32_t(0x80040000u);

enum SynchronizerErrors : std::int32_t {
    synchErrNoError = 0,
    synchErrFileNotFound = ObjectErrorBase + 5001,
    synchErrAccessDenied = ObjectErrorBase + 5002,
    synchErrFailureUnknown = ObjectErrorBase + 5003,
    synchErrNoDatabaseOpen = ObjectErrorBase + 5004,
    synchErrDbMustBeDesignMaster = ObjectErrorBase + 5005,
    synchErrPropNotValidForThisObject = ObjectErrorBase + 5006,
    synchErrSpecifiedReplicaNotValid = ObjectErrorBase + 5007,
    synchErrParentOfCollectionIsInvalid = ObjectErrorBase + 5008,
    synchErrInvalidArrayParameterBounds = ObjectErrorBase + 5010,
    synchErrInvalidTypeExpectedBoolArray = ObjectErrorBase + 5011,
    synchErrSynchronizerNotFound = ObjectErrorBase + 5012,
    synchErrSynchronizerNotSetUp = ObjectErrorBase + 5013,
    synchErrInvalidDaysParameter = ObjectErrorBase + 5014,
    synchErrInvalidTimeParameter = ObjectErrorBase + 5015,
    synchErrInvalidFrequencyParameter = ObjectErrorBase + 5016,
    synchErrDbIsNotAReplica = ObjectErrorBase + 5017,
    synchErrOperationCancelled = ObjectErrorBase + 5018,
    synchErrSynchronizerAttachedElsewhere = ObjectErrorBase + 5019,
    synchErrCouldNotRemoveManagedReplica = ObjectErrorBase + 5020,
    synchErrCouldNotRemoveReplica = ObjectErrorBase + 5021,
    synchErrDatabaseOpenedElsewhere = ObjectErrorBase + 5022,
    synchErrRepairDisabledWithNewJet = ObjectErrorBase + 5023,
    synchErrJetSessionAlreadyInitialized = ObjectErrorBase + 5024,
    synchErrCantChangeColLevelTrackingIfObjReplicable = ObjectErrorBase + 5025,
    synchErrDropboxPathMustHaveServerAndShareOnly = ObjectErrorBase + 5026,
    synchErrInvalidExchangeIdValue = ObjectErrorBase + 5027,
    synchErrNotImplementedInThisVersion = ObjectErrorBase + 5099,
};

// What every failure of the library raises: the full number, the message, the library's product name as
// source, and the help file and topic (none for a refused Replica property).
class VARNOCK_EXPORT SynchronizerError : public std::exception {
public:
    SynchronizerError(std::int32_t number, QString description, QString source, QString helpFile,
                      std::int32_t helpContext);
    std::int32_t number() const noexcept { return m_number; }
    // The code without the object-error base (5001 ... 5027).
    std::int32_t code() const noexcept { return m_number & 0x7FFBFFFF; }
    const QString& description() const noexcept { return m_description; }
    const QString& source() const noexcept { return m_source; }
    const QString& helpFile() const noexcept { return m_helpFile; }
    std::int32_t helpContext() const noexcept { return m_helpContext; }
    const char* what() const noexcept override { return m_what.constData(); }
    // The file the failure concerns where the library knows it (for a full disk: the file on the disk that is
    // full, the source's or the copy's), so a host can say which disk to free; empty otherwise.
    const QString& file() const noexcept { return m_file; }
    void setFile(const QString& file) { m_file = file; }

private:
    std::int32_t m_number;
    QString m_file;
    QString m_description;
    QString m_source;
    QString m_helpFile;
    std::int32_t m_helpContext;
    QByteArray m_what;
};

// The message of a code (5001 ...), empty for a code the library does not know.
VARNOCK_EXPORT QString SynchronizerErrorText(std::int32_t code);

} // namespace Varnock
