#include "replfixture.h"
#include "resources.h"
#include "utilities.h"

using namespace Varnock;

class TstErrors : public QObject {
    Q_OBJECT

private slots:
    void numbersAndTexts_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<int>("number");
        QTest::addColumn<QString>("text");
        const QString arrays = QStringLiteral(
            "This property must be set to 2-dimensional array of Booleans (7x96) representing the days of the week "
            "and the number of 15 minute intervals in each day.");
        auto row = [](int code, int number, const QString& text) {
            QTest::newRow(QByteArray::number(code).constData()) << code << number << text;
        };
        row(5001, synchErrFileNotFound, QStringLiteral("The specfied file was not found."));
        row(5002, synchErrAccessDenied,
            QStringLiteral("You cannot access the specified file. Make sure the file exists and that you have the "
                           "necessary permissions to use it."));
        row(5003, synchErrFailureUnknown, QStringLiteral("The operation has failed."));
        row(5004, synchErrNoDatabaseOpen,
            QStringLiteral("You must have a database open to perform this operation. Set the DatabaseName property "
                           "to load a database."));
        row(5005, synchErrDbMustBeDesignMaster,
            QStringLiteral("The database must be the Design Master of the replica set to perform this operation."));
        row(5006, synchErrPropNotValidForThisObject,
            QStringLiteral("This property is not valid for the given type of object."));
        row(5007, synchErrSpecifiedReplicaNotValid, QStringLiteral("The replica you have specified is not valid."));
        row(5008, synchErrParentOfCollectionIsInvalid,
            QStringLiteral("This item or collection has been disconnected from its parent, perhaps because the "
                           "parent item has closed down or has had its properties changed in some way."));
        row(5010, synchErrInvalidArrayParameterBounds, arrays);
        row(5011, synchErrInvalidTypeExpectedBoolArray, arrays);
        row(5012, synchErrSynchronizerNotFound, QStringLiteral("The Synchronizer could not be found."));
        row(5013, synchErrSynchronizerNotSetUp, QStringLiteral("The Synchronizer is not properly set up."));
        row(5014, synchErrInvalidDaysParameter,
            QStringLiteral("The 'days' parameter is invalid. It must be a bitmask of SyncDayEnum values."));
        row(5015, synchErrInvalidTimeParameter,
            QStringLiteral("The 'time' parameter is invalid. It must be a valid time value such as #3:00 AM#."));
        row(5016, synchErrInvalidFrequencyParameter,
            QStringLiteral("The frequency parameter is invalid. You cannot set this value to a number less than one "
                           "or greater than the number of intervals in a day after the chosen start time."));
        row(5017, synchErrDbIsNotAReplica, QStringLiteral("The database is not a replica."));
        row(5018, synchErrOperationCancelled, QStringLiteral("The operation was cancelled."));
        row(5019, synchErrSynchronizerAttachedElsewhere,
            QStringLiteral("The attempt to attach to the Synchronizer failed because it is already running and "
                           "attached elsewhere (either to another OSW Synchronizer object or to Microsoft "
                           "Replication Manager)."));
        row(5020, synchErrCouldNotRemoveManagedReplica,
            QStringLiteral("An error occurred trying to remove the replica from the replica set."));
        row(5021, synchErrCouldNotRemoveReplica,
            QStringLiteral("You cannot remove a replica that is managed by a Synchronizer. To mark this replica as "
                           "invalid, you must first have that Synchronizer stop managing the replica."));
        row(5022, synchErrDatabaseOpenedElsewhere,
            QStringLiteral("The Synchronizer cannot obtain exclusive access to the database, which is required for "
                           "this operation."));
        row(5023, synchErrRepairDisabledWithNewJet,
            QStringLiteral("The version of Microsoft Jet you are using does not support Repair. You should use the "
                           "enhanced Compact functionality instead, which also includes repair."));
        row(5024, synchErrJetSessionAlreadyInitialized,
            QStringLiteral("This property cannot be set after the Synchronizer has initialized Jet."));
        row(5025, synchErrCantChangeColLevelTrackingIfObjReplicable,
            QStringLiteral("You cannot change the ColumnLevelTracking setting on a table that is replicable."));
        row(5026, synchErrDropboxPathMustHaveServerAndShareOnly,
            QStringLiteral("The path for the indirect dropbox must consist of only a server and a share, such as "
                           "\\\\server\\share. It cannot contain any additional path information."));
        row(5027, synchErrInvalidExchangeIdValue, QStringLiteral("The ExchangeId you specified is invalid."));
        row(5099, synchErrNotImplementedInThisVersion,
            QStringLiteral("This interface, method, or property is not yet supported."));
    }
    void numbersAndTexts()
    {
        QFETCH(int, code);
        QFETCH(int, number);
        QFETCH(QString, text);
        QCOMPARE(number, -2147221504 + code);
        try {
            RaiseError(number, QStringLiteral("ignored|inserts"));
            QFAIL("nothing raised");
        } catch (const SynchronizerError& e) {
            QCOMPARE(e.number(), number);
            QCOMPARE(e.code(), code);
            QCOMPARE(e.description(), text);
            QCOMPARE(e.source(), QStringLiteral("The Ostwick Software 4.0 Synchronizer"));
            QCOMPARE(e.helpFile(), LibraryFolder() + QStringLiteral("/Varnock.hlp"));
            QCOMPARE(e.helpContext(), code);
            QCOMPARE(QString::fromUtf8(e.what()), text);
        }
        QCOMPARE(SynchronizerErrorText(code), text);
    }

    void fileNotFoundNumber()
    {
        QCOMPARE(int(synchErrFileNotFound), -2147216503);
        QCOMPARE(quint32(synchErrOperationCancelled), 0x8004139Au);
        QCOMPARE(quint32(JetConst::callbackCancel), 0x8004139Au);
    }

    // Engine results become library errors through one table, checked in this order.
    void resultTable_data()
    {
        QTest::addColumn<int>("result");
        QTest::addColumn<int>("code");
        QTest::newRow("-20015 ignored") << -20015 << 0;
        QTest::newRow("-3600 ignored") << -3600 << 0;
        QTest::newRow("-20003") << -20003 << 5005;
        QTest::newRow("-1030") << -1030 << 5019;
        QTest::newRow("-1032") << -1032 << 5002;
        QTest::newRow("-3809") << -3809 << 5023;
        QTest::newRow("-20101") << -20101 << 5013;
        QTest::newRow("-20149") << -20149 << 5012;
        QTest::newRow("-1024") << -1024 << 5022;
        QTest::newRow("-20318") << -20318 << 5025;
        QTest::newRow("-20016") << -20016 << 5027;
        QTest::newRow("other") << -1 << 5003;
        QTest::newRow("-20026 outside the table") << -20026 << 5003;
        QTest::newRow("success") << 0 << 0;
        QTest::newRow("positive") << 3 << 0;
    }
    void resultTable()
    {
        QFETCH(int, result);
        QFETCH(int, code);
        ReplFixture fx;
        Synchronizer sync;
        fx.state->results["ReplRegister"] = {result};
        std::int32_t answer = 12345;
        QCOMPARE(raisedCode([&] { answer = sync.Register(); }), code);
        if (code == 0)
            QCOMPARE(answer, result);
    }

    void reservedErrorAsserts()
    {
        ReplFixture fx;
        Synchronizer sync;
        QStringList asked;
        SetAssertHandler([&](const QString&, const QString& text) {
            asked << text;
            return AssertRetry;
        });
        sync.setShowAFs(true);
        QVERIFY(sync.ShowAFs());
        fx.state->results["ReplUnregister"] = {-4242};
        QCOMPARE(raisedCode([&] { sync.Unregister(); }), 5003);
        QCOMPARE(asked, QStringList{QStringLiteral("Assertion failed: Reserved error (-4242)")});
        sync.setShowAFs(false);
        SetAssertHandler({});
    }

    void managedReplicaRefusalHasNoHelpFile()
    {
        Replica r;
        r.setManaged(true);
        r.setReplicaName(QStringLiteral("/field/a.db"));
        QCOMPARE(r.ReplicaName(), QStringLiteral("/field/a.db"));
        try {
            r.ReplicaID();
            QFAIL("nothing raised");
        } catch (const SynchronizerError& e) {
            QCOMPARE(e.number(), -2147216498);
            QCOMPARE(e.description(), QStringLiteral("This property is not valid for the given type of object."));
            QCOMPARE(e.source(), QStringLiteral("The Ostwick Software 4.0 Synchronizer"));
            QCOMPARE(e.helpFile(), QString());
            QCOMPARE(e.helpContext(), 0);
        }
        for (auto read : {&Replica::Description, &Replica::MachineName, &Replica::SynchronizerID, &Replica::UncName})
            QCOMPARE(raisedCode([&] { (r.*read)(); }), 5006);
    }
};

QTEST_GUILESS_MAIN(TstErrors)
#include "tst_errors.moc"
