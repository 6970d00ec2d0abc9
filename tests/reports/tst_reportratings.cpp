#include "db.h"
#include "fixtures.h"
#include "modCreateReportRatings.h"
#include "schema.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QDir>
#include <QTest>

#include <fcntl.h>
#include <sys/mount.h>
#include <unistd.h>

namespace {

QStringList reportRows(const QString& sql)
{
    QStringList out;
    const RowSet rs = gReportConn.query(sql);
    for (int r = 0; r < rs.count(); ++r) {
        QStringList cells;
        for (int c = 0; c < rs.columns().size(); ++c)
            cells << (rs.value(r, c).isNull() ? QStringLiteral("<null>") : rs.value(r, c).toString());
        out << cells.join(QLatin1Char('|'));
    }
    return out;
}

// ReportRatings as "year|panel|element|rating", in key order.
QStringList ratings()
{
    return reportRows(QStringLiteral(
        "SELECT p.InspectionYear, r.PanelID, r.ElementID, r.Rating FROM ReportRatings r "
        "JOIN InspectionPeriod p ON p.InspectionID = r.InspectionID ORDER BY 1, 2, 3"));
}

qint32 panel(qint32 tunnel, int num)
{
    return qint32(gConn.insertAutoNumber(QStringLiteral("Panels"), {{QStringLiteral("TunnelID"), tunnel},
                                                                    {QStringLiteral("PanelNum"), num},
                                                                    {QStringLiteral("PanelName"), QString::number(num)}}));
}

void rate(qint32 insp, qint32 pnl, qint32 ele, const QVariant& rating)
{
    gConn.exec(QStringLiteral("INSERT INTO Ratings (InspectionID, PanelID, ElementID, Rating) VALUES (?,?,?,?)"),
               {insp, pnl, ele, rating});
}

QStringList folderFiles(const QString& path)
{
    return QDir(path).entryList(QDir::Files | QDir::Hidden, QDir::Name);
}

}  // namespace

class TestReportRatings : public QObject {
    Q_OBJECT

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 t1 = 0, t2 = 0, a = 0, b = 0, c = 0, d = 0, i20 = 0, i22 = 0, j22 = 0;

    ReportRatingsSelection selection(const QString& p1, const QString& p2) const
    {
        ReportRatingsSelection s;
        s.tunnelIDs = {t1};
        s.period1 = p1;
        s.period2 = p2;
        s.elements = {{1, true, {}, {}}, {2, true, {}, {}}, {3, false, {}, {}}};
        return s;
    }

private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        QVERIFY(CreateReportDatabase(m_install->file(QStringLiteral("ReportData.db"))));
        FixtureSystem();
        t1 = FixtureTunnel(QStringLiteral("North"));
        t2 = FixtureTunnel(QStringLiteral("South"));
        FixtureElement(1, QStringLiteral("Lining"));
        FixtureElement(2, QStringLiteral("Drain"));
        FixtureElement(3, QStringLiteral("Lights"));
        a = panel(t1, 1);
        b = panel(t1, 2);
        c = panel(t1, 3);  // never rated: copied as a panel, no ratings
        d = panel(t2, 1);
        i20 = FixturePeriod(t1, 2020);
        i22 = FixturePeriod(t1, 2022);
        j22 = FixturePeriod(t2, 2022);
        rate(i20, a, 1, 5);
        rate(i20, a, 2, QVariant());  // not rated: "n/a"
        rate(i20, a, 3, 0);           // an element not chosen still comes along
        rate(i20, b, 1, 2);
        rate(i22, a, 1, 6);
        rate(i22, b, 1, 7);
        rate(i22, b, 2, 8);
        rate(j22, d, 1, 1);  // another tunnel: never copied
    }
    void cleanup()
    {
        m_prompt.reset();
        m_install.reset();
    }

    // Ratings printed with room for their sign, Null and missing ones "n/a", every panel of
    // the tunnel copied, only the chosen tunnel, periods and elements.
    void copiesTheSelection()
    {
        QVERIFY(CreateReportRatings(selection(QStringLiteral("2020"), QStringLiteral("2022"))));
        const QString y20 = QStringLiteral("2020|%1|"), y22 = QStringLiteral("2022|%1|");
        QCOMPARE(ratings(), (QStringList{y20.arg(a) + "1| 5", y20.arg(a) + "2|n/a", y20.arg(a) + "3| 0",
                                         y20.arg(b) + "1| 2", y20.arg(b) + "2|n/a", y22.arg(a) + "1| 6",
                                         y22.arg(a) + "2|n/a", y22.arg(b) + "1| 7", y22.arg(b) + "2| 8"}));
        QCOMPARE(reportRows(QStringLiteral("SELECT TunnelID, TunnelName FROM Tunnels")),
                 QStringList{QStringLiteral("%1|North").arg(t1)});
        QCOMPARE(reportRows(QStringLiteral("SELECT PanelID FROM Panels ORDER BY 1")),
                 (QStringList{QString::number(a), QString::number(b), QString::number(c)}));
        QCOMPARE(reportRows(QStringLiteral("SELECT ElementID, ElementName FROM AvailableElements ORDER BY 1")),
                 (QStringList{QStringLiteral("1|Lining"), QStringLiteral("2|Drain")}));
        QCOMPARE(reportRows(QStringLiteral("SELECT InspectionYear FROM InspectionPeriod ORDER BY 1")),
                 (QStringList{QStringLiteral("2020"), QStringLiteral("2022")}));

        // A second build replaces the first.
        QVERIFY(CreateReportRatings(selection(QString(), QStringLiteral("2022"))));
        QCOMPARE(reportRows(QStringLiteral("SELECT DISTINCT InspectionID FROM ReportRatings")),
                 QStringList{QString::number(i22)});
        QVERIFY(m_prompt->messages().isEmpty());
    }

    // A panel leaves with all its rows, in both periods, when one rating of a bounded element
    // is outside the bound, whether or not that element is checked.
    void boundsRemovePanels_data()
    {
        QTest::addColumn<int>("element");
        QTest::addColumn<QString>("min");
        QTest::addColumn<QString>("max");
        QTest::addColumn<QStringList>("panelsLeft");
        QTest::newRow("min 3 removes the panel rated 2 in 2020") << 1 << "3" << "" << QStringList{"a"};
        QTest::newRow("max 6 removes the panels rated 7 in 2022") << 1 << "" << " 6 " << QStringList{"a"};
        QTest::newRow("min 1 on a Null rating (taken as 0)") << 2 << "1" << "" << QStringList{"b"};
        QTest::newRow("unchecked element still bounds") << 3 << "1" << "" << QStringList{"b"};
        QTest::newRow("both bounds, nothing outside") << 1 << "2" << "7" << QStringList{"a", "b"};
        QTest::newRow("blank bounds do nothing") << 1 << "  " << "" << QStringList{"a", "b"};
    }
    void boundsRemovePanels()
    {
        QFETCH(int, element);
        QFETCH(QString, min);
        QFETCH(QString, max);
        QFETCH(QStringList, panelsLeft);
        ReportRatingsSelection s = selection(QStringLiteral("2020"), QStringLiteral("2022"));
        s.elements[element - 1].min = min;
        s.elements[element - 1].max = max;
        QVERIFY(CreateReportRatings(s));
        QStringList expected;
        for (const QString& p : panelsLeft)
            expected << QString::number(p == QLatin1String("a") ? a : b);
        QCOMPARE(reportRows(QStringLiteral("SELECT DISTINCT PanelID FROM ReportRatings ORDER BY 1")), expected);
        // Every panel left has a row per chosen element in each period it was rated in.
        QCOMPARE(gReportConn.scalar(QStringLiteral(
                     "SELECT count(*) FROM (SELECT InspectionID, PanelID FROM ReportRatings WHERE ElementID IN (1,2) "
                     "GROUP BY 1, 2 HAVING count(*) <> 2)")).toInt(), 0);
    }

    // Bounds on several elements, alike or not, each remove the panels outside their own bound.
    void boundsOnSeveralElements_data()
    {
        QTest::addColumn<QStringList>("bounds");  // "element:min:max"
        QTest::addColumn<QStringList>("panelsLeft");
        QTest::newRow("1 and 2 share min 1") << QStringList{"1:1:", "2:1:"} << QStringList{"b"};
        QTest::newRow("1 and 2 share min 3") << QStringList{"1:3:", "2:3:"} << QStringList{};
        QTest::newRow("max 6 on 1, max 9 on 2") << QStringList{"1::6", "2::9"} << QStringList{"a"};
        QTest::newRow("min 2 on 1, max 7 on 2") << QStringList{"1:2:", "2::7"} << QStringList{"a"};
        QTest::newRow("min 2 on 1 and 3, max 7 on 2") << QStringList{"1:2:", "3:2:", "2::7"} << QStringList{};
    }
    void boundsOnSeveralElements()
    {
        QFETCH(QStringList, bounds);
        QFETCH(QStringList, panelsLeft);
        ReportRatingsSelection s = selection(QStringLiteral("2020"), QStringLiteral("2022"));
        for (const QString& bound : bounds) {
            const QStringList parts = bound.split(QLatin1Char(':'));
            s.elements[parts[0].toInt() - 1].min = parts[1];
            s.elements[parts[0].toInt() - 1].max = parts[2];
        }
        QVERIFY(CreateReportRatings(s));
        QStringList expected;
        for (const QString& p : panelsLeft)
            expected << QString::number(p == QLatin1String("a") ? a : b);
        QCOMPARE(reportRows(QStringLiteral("SELECT DISTINCT PanelID FROM ReportRatings ORDER BY 1")), expected);
    }

    // Nothing to copy is an empty report, not a wait; a bound that is no number and a missing
    // working database fail the build with their messages.
    void emptyAndFailingBuilds()
    {
        QVERIFY(CreateReportRatings(selection(QStringLiteral("1999"), QString())));
        QCOMPARE(gReportConn.scalar(QStringLiteral("SELECT count(*) FROM ReportRatings")).toInt(), 0);

        ReportRatingsSelection s = selection(QStringLiteral("2020"), QString());
        s.elements[0].min = QStringLiteral("three");
        QVERIFY(!CreateReportRatings(s));
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error creating report data.")});
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("modCreateReportRatings"));

        gReportConn.close();
        QVERIFY(QFile::remove(m_install->file(QStringLiteral("ReportData.db"))));
        QVERIFY(!CreateReportRatings(selection(QStringLiteral("2020"), QString())));
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("Error connecting to the Report Ratings Database.\n"
                                                             "The file %1 does not exist.")
                                                  .arg(m_install->file(QStringLiteral("ReportData.db"))));
        QVERIFY(!QFile::exists(m_install->file(QStringLiteral("ReportData.db"))));
    }

    // The working database on a full disk: the build fails saying so under its sentence, and the
    // rows of the build before stay as they were.
    void aFullDiskIsNamed()
    {
        const QString small = m_install->file(QStringLiteral("small"));
        QVERIFY(QDir().mkpath(small));
        const QByteArray mountPoint = QFile::encodeName(small);
        if (::mount("tmpfs", mountPoint.constData(), "tmpfs", 0, "size=1m") != 0)
            QSKIP("a small file system cannot be mounted here (needs root)");
        struct Unmount {
            QByteArray path;
            ~Unmount()
            {
                gReportConn.close();
                ::umount2(path.constData(), MNT_DETACH);
            }
        } unmount{mountPoint};
        const QString path = small + QStringLiteral("/ReportData.db");
        QVERIFY(CreateReportDatabase(path));
        m_install->write(QStringLiteral("krv.ini"), "[KRV]\r\nReportRatingsFile=" + path.toUtf8() + "\r\n");
        QVERIFY(CreateReportRatings(selection(QStringLiteral("2020"), QStringLiteral("2022"))));
        const QStringList built = ratings();
        {
            const int fd = ::open(QFile::encodeName(small + QStringLiteral("/filler")).constData(),
                                  O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
            QVERIFY(fd >= 0);
            const QByteArray block(4096, 'f');
            while (::write(fd, block.constData(), size_t(block.size())) > 0) {
            }
            ::close(fd);
        }
        QVERIFY(!CreateReportRatings(selection(QStringLiteral("2020"), QString())));
        QCOMPARE(m_prompt->messages(),
                 QStringList{"Error creating report data.\nThe disk that holds " + small + "/ReportData.db is full."});
        QCOMPARE(ratings(), built);
    }

    // Clearing empties the tables, closes the connection and compacts the configured file in
    // place: the folder holds the same files before and after, also when the configured file
    // has another name and the connection was never opened.
    void clearCompactsInPlace_data()
    {
        QTest::addColumn<QString>("fileName");
        QTest::addColumn<bool>("build");
        QTest::newRow("after a build") << "ReportData.db" << true;
        QTest::newRow("never opened, another name") << "Other Report.db" << false;
    }
    void clearCompactsInPlace()
    {
        QFETCH(QString, fileName);
        QFETCH(bool, build);
        const QString path = m_install->file(fileName);
        if (fileName != QLatin1String("ReportData.db")) {
            QVERIFY(CreateReportDatabase(path));
            m_install->write(QStringLiteral("krv.ini"), "[KRV]\r\nReportRatingsFile=" + path.toUtf8() + "\r\n");
        }
        if (build) {
            QVERIFY(CreateReportRatings(selection(QStringLiteral("2020"), QStringLiteral("2022"))));
            QVERIFY(gReportConn.isOpen());
        }
        const QStringList before = folderFiles(m_install->folder());
        ClearReportDatabase(QStringLiteral("frmReport"));
        QVERIFY(m_prompt->messages().isEmpty());
        QVERIFY(!gReportConn.isOpen());
        QCOMPARE(folderFiles(m_install->folder()), before);
        gReportConn.open(path);
        QCOMPARE(gReportConn.scalar(QStringLiteral(
                     "SELECT (SELECT count(*) FROM ReportRatings) + (SELECT count(*) FROM Tunnels) + "
                     "(SELECT count(*) FROM Panels) + (SELECT count(*) FROM InspectionPeriod) + "
                     "(SELECT count(*) FROM AvailableElements)")).toInt(), 0);
        QCOMPARE(gReportConn.scalar(QStringLiteral("PRAGMA freelist_count")).toInt(), 0);
        gReportConn.close();
    }

    void clearReportsFailure()
    {
        QVERIFY(QFile::remove(m_install->file(QStringLiteral("ReportData.db"))));
        ClearReportDatabase(QStringLiteral("frmReport"));
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error compacting ReportData.db\n"
                                                                  "The file %1 does not exist.")
                                                       .arg(m_install->file(QStringLiteral("ReportData.db")))});
        QVERIFY(!QFile::exists(m_install->file(QStringLiteral("ReportData.db"))));
    }
};

QTEST_MAIN(TestReportRatings)
#include "tst_reportratings.moc"
