#include "db.h"
#include "forms.h"
#include "globals.h"
#include "helpers.h"
#include "krverror.h"
#include "modkrv.h"
#include "entryways.h"
#include "testinstall.h"
#include "uihelpers.h"

#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QTreeWidget>

class TestShared : public QObject {
    Q_OBJECT
private slots:
    void init() { m_install = std::make_unique<TestInstall>(); }
    void cleanup() { m_install.reset(); }

    void numericValueOfText_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<double>("value");
        QTest::newRow("digit") << "7" << 7.0;
        QTest::newRow("empty") << "" << 0.0;
        QTest::newRow("letters") << "a" << 0.0;
        QTest::newRow("trailing text") << "12x" << 12.0;
        QTest::newRow("thousands separator stops") << "1,200.00" << 1.0;
        QTest::newRow("blanks skipped") << " 1 2 . 5" << 12.5;
        QTest::newRow("sign") << "-3.25" << -3.25;
        QTest::newRow("second point stops") << "1.2.3" << 1.2;
        QTest::newRow("decimal only") << ".5" << 0.5;
    }
    void numericValueOfText()
    {
        QFETCH(QString, text);
        QFETCH(double, value);
        QCOMPARE(Val(text), value);
    }

    void formatsAndConversions()
    {
        QCOMPARE(MoneyText(0.5), QString(".50"));
        QCOMPARE(MoneyText(0), QString(".00"));
        QCOMPARE(MoneyText(1234.5), QString("1234.50"));
        QCOMPARE(MoneyText(-0.25), QString("-.25"));
        QCOMPARE(RoundHalfEven(2.5), 2.0);
        QCOMPARE(RoundHalfEven(3.5), 4.0);
        QCOMPARE(RoundHalfEven(-2.5), -2.0);
        QCOMPARE(TwipsToPixels(1500), 100);
        QCOMPARE(TwipsToPixels(22.5), 2);  // 1.5 px rounds to the even 2
        QCOMPARE(TwipsToPixels(37.5), 2);  // 2.5 px rounds to the even 2
        QCOMPARE(PixelsToTwips(3), 45.0);
        const QColor amber = BgrToColor(0x0000E6FF);
        QCOMPARE(amber, QColor(0xFF, 0xE6, 0x00));
        QCOMPARE(ColorToBgr(amber), quint32(0x0000E6FF));
        QCOMPARE(VarMax(1200, 900), 1200);
        QCOMPARE(VarMin(900, 1200), 900);
        // Ties return the first value: "a" and "A" compare equal here.
        struct Name {
            QString text;
            bool operator<(const Name& o) const { return text.compare(o.text, Qt::CaseInsensitive) < 0; }
            bool operator>(const Name& o) const { return text.compare(o.text, Qt::CaseInsensitive) > 0; }
        };
        QCOMPARE(VarMin(Name{"a"}, Name{"A"}).text, QString("a"));
        QCOMPARE(VarMax(Name{"a"}, Name{"A"}).text, QString("a"));
    }

    void pathParts_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("folder");
        QTest::newRow("slash") << "/data/North/2005/photo/P1.E2.jpg" << "P1" << "/data/North/2005/photo/";
        QTest::newRow("backslash") << "C:\\data\\map.bmp" << "map" << "C:\\data\\";
        QTest::newRow("bare name") << "map.png" << "map" << "";
        QTest::newRow("no extension") << "/a/b/readme" << "readme" << "/a/b/";
        QTest::newRow("mixed") << "D:\\krv/Data\\x.tar.gz" << "x" << "D:\\krv/Data\\";
    }
    void pathParts()
    {
        QFETCH(QString, path);
        QFETCH(QString, title);
        QFETCH(QString, folder);
        QCOMPARE(GetFileTitle(path), title);
        QCOMPARE(GetFolderPart(path), folder);
    }

    void folderTreeOfAnInspection()
    {
        m_install->write("krv.ini", "[KRV]\nSystemPath=" + m_install->file("media").toUtf8() + "\n");
        const qint64 t = gConn.insertAutoNumber("Tunnels", {{"TunnelName", "North Bore"}});
        const qint64 i = gConn.insertAutoNumber("InspectionPeriod", {{"TunnelID", t}, {"InspectionYear", 2005}});
        const QString base = m_install->file("media") + "/North Bore/";
        QCOMPARE(GetTunnelFolder(t), base);
        QCOMPARE(GetInspectionFolder(t, i), base + "2005/");
        QCOMPARE(GetPhotoFolder(t, i), base + "2005/photo/");
        QCOMPARE(GetSketchFolder(t, i), base + "2005/sketch/");
        QCOMPARE(GetVideoFolder(t, i), base + "2005/video/");
        QCOMPARE(GetInspectionFolderUnder("/mnt/field/KRV_Replica.db", t, i), QString("/mnt/field/North Bore/2005/"));

        MakeFolderTree(GetPhotoFolder(t, i));
        QVERIFY(QDir(base + "2005/photo").exists());
        MakeFolderTree(GetPhotoFolder(t, i));  // already there: nothing to do

        // A missing tunnel or period never yields a path under which folders could be made.
        QVERIFY_THROWS_EXCEPTION(DbError, GetTunnelFolder(999));
        QVERIFY_THROWS_EXCEPTION(DbError, GetPhotoFolder(t, 999));
        // A name that is not one plain folder name is refused.
        for (const QString bad : {"..", ".", "a/b", "a\\b", ""}) {
            const qint64 id = gConn.insertAutoNumber("Tunnels", {{"TunnelName", bad}});
            QVERIFY_THROWS_EXCEPTION(KrvError, GetTunnelFolder(id));
        }
    }

    void makeFolderTreeReportsWhatItCannotMake()
    {
        m_install->write("afile", "x");
        QVERIFY_THROWS_EXCEPTION(KrvError, MakeFolderTree(m_install->file("afile")));
        QVERIFY_THROWS_EXCEPTION(KrvError, MakeFolderTree(m_install->file("afile/sub/")));
        MakeFolderTree(m_install->file("x\\y\\z\\"));
        QVERIFY(QDir(m_install->file("x/y/z")).exists());
    }

    void namesAreTheSameUnderFullCaseFolding_data()
    {
        QTest::addColumn<QString>("a");
        QTest::addColumn<QString>("b");
        QTest::addColumn<bool>("same");
        QTest::newRow("ASCII") << "Lining" << "LINING" << true;
        QTest::newRow("umlaut") << "jörg" << "JÖRG" << true;
        QTest::newRow("capital umlaut first") << "Überbau" << "überbau" << true;
        QTest::newRow("sharp s is ss") << "Straße" << "STRASSE" << true;
        QTest::newRow("Greek final sigma") << "ΟΔΟΣ" << "οδος" << true;
        QTest::newRow("accent counts") << "Relé" << "Rele" << false;
        QTest::newRow("blank counts") << "Rail" << "Rail " << false;
        QTest::newRow("different") << "Drain" << "Drains" << false;
    }
    void namesAreTheSameUnderFullCaseFolding()
    {
        QFETCH(QString, a);
        QFETCH(QString, b);
        QFETCH(bool, same);
        QCOMPARE(SameName(a, b), same);
        QCOMPARE(SameName(b, a), same);
        // A row set finds names the same way.
        const RowSet rs({QStringLiteral("Name")}, {{a}});
        QCOMPARE(rs.filtered(QStringLiteral("Name"), b).count(), same ? 1 : 0);
    }

    void namesSortInTheUsersOrder()
    {
        const QLocale before;
        for (const QLocale& locale : {QLocale(QLocale::German, QLocale::Germany), QLocale::c()}) {
            QLocale::setDefault(locale);
            QStringList names{"Zugang", "ärmel", "Ärmelkanal", "abfluss", "Bahn"};
            SortNames(names);
            QCOMPARE(names, (QStringList{"abfluss", "ärmel", "Ärmelkanal", "Bahn", "Zugang"}));
            const RowSet rs({QStringLiteral("Name")}, {{QStringLiteral("Zugang")}, {QVariant()}, {QStringLiteral("Ärmelkanal")}});
            QCOMPARE(rs.sortedByName(QStringLiteral("Name")).value(1, 0).toString(), QStringLiteral("Ärmelkanal"));
            QVERIFY(rs.sortedByName(QStringLiteral("Name")).isNull(0, QStringLiteral("Name")));
        }
        QLocale::setDefault(before);
    }

    void pastedAmountsAreReadWhole_data()
    {
        QTest::addColumn<QString>("locale");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QVariant>("value");  // invalid: refused
        QTest::newRow("group separator") << "en_US" << "1,200.50" << QVariant(1200.5);
        QTest::newRow("blanks around") << "en_US" << "  42 " << QVariant(42.0);
        QTest::newRow("point first") << "en_US" << ".5" << QVariant(0.5);
        QTest::newRow("German") << "de_DE" << "1.200,50" << QVariant(1200.5);
        QTest::newRow("C locale") << "C" << "1,200.50" << QVariant(1200.5);
        QTest::newRow("misplaced group") << "en_US" << "12,00" << QVariant();
        QTest::newRow("sign") << "en_US" << "-3" << QVariant();
        QTest::newRow("exponent") << "en_US" << "1e3" << QVariant();
        QTest::newRow("unit") << "en_US" << "12 ft" << QVariant();
        QTest::newRow("empty") << "en_US" << "" << QVariant();
    }
    void pastedAmountsAreReadWhole()
    {
        QFETCH(QString, locale);
        QFETCH(QString, text);
        QFETCH(QVariant, value);
        const QLocale before;
        QLocale::setDefault(QLocale(locale));
        const std::optional<double> v = AmountValue(text);
        QLocale::setDefault(before);
        QCOMPARE(v.has_value(), value.isValid());
        if (v)
            QCOMPARE(*v, value.toDouble());
    }

    // An amount box reads every way in, keeps what typing and undo give, and refuses the rest.
    void amountBoxReadsEveryWayIn()
    {
        QLineEdit box;
        int refused = 0;
        ReadEnteredAmounts(&box, [&refused] { ++refused; });
        box.show();
        // Typed keys are the box's own filter's business: they go in as typed.
        QTest::keyClicks(&box, QStringLiteral("5$"));
        QCOMPARE(box.text(), QStringLiteral("5$"));
        QTest::keyClick(&box, Qt::Key_Backspace);
        QCOMPARE(box.text(), QStringLiteral("5"));
        // Undo and redo give back what the box held, read or not.
        box.undo();
        QCOMPARE(box.text(), QStringLiteral("5$"));
        box.redo();
        QCOMPARE(box.text(), QStringLiteral("5"));
        QCOMPARE(refused, 0);
        for (const QString& way : EntryWays()) {
            box.setText(QStringLiteral("7"));
            EnterByWay(&box, way, QStringLiteral("1,200.50"));
            QVERIFY2(box.text() == QStringLiteral("1200.5"), qPrintable(way + QLatin1String(": ") + box.text()));
            box.setText(QStringLiteral("7"));
            box.setCursorPosition(1);
            EnterByWay(&box, way, QStringLiteral("3 ft"));
            QVERIFY2(box.text() == (way == QLatin1String("drop") ? QString() : QStringLiteral("7")),
                     qPrintable(way + QLatin1String(": ") + box.text()));
        }
        QCOMPARE(refused, EntryWays().size());
        // Inserted between digits, a pasted amount keeps the digits around it.
        box.setText(QStringLiteral("19"));
        box.setCursorPosition(1);
        box.insert(QStringLiteral("2,000"));
        QCOMPARE(box.text(), QStringLiteral("120009"));
        // The program's own texts stay as it writes them.
        box.setText(QStringLiteral(".50"));
        QCOMPARE(box.text(), QStringLiteral(".50"));
        QCOMPARE(refused, EntryWays().size());
    }

    void storedNamesAreShownAsWritten()
    {
        QCOMPARE(ShownName(QStringLiteral("Roof&Drains")), QStringLiteral("Roof&&Drains"));
        QCOMPARE(ShownName(QStringLiteral("&&")), QStringLiteral("&&&&"));
        QCOMPARE(ShownName(QStringLiteral("Lining")), QStringLiteral("Lining"));
    }

    void listContainsIsExact()
    {
        QComboBox box;
        box.addItems({"m", "Each", "sq ft"});
        QVERIFY(ListContains("Each", &box));
        QVERIFY(!ListContains("each", &box));
        QVERIFY(!ListContains("sq", &box));
    }

    void sortListViewAlternatesPerColumn()
    {
        ResetListSortDirections();
        QTreeWidget list;
        list.setColumnCount(5);
        const QList<QStringList> rows = {{"b", "10", "x", "$12.50", "$1"},
                                         {"a", "9", "y", "$3", "$2"},
                                         {"C", "100", "z", "$1,200.00", "$3"}};
        for (int i = 0; i < rows.size(); ++i) {
            auto* item = new QTreeWidgetItem(&list, rows[i]);
            item->setData(0, Qt::UserRole, QString("X%1").arg(i));
        }
        auto column = [&list](int c) {
            QStringList out;
            for (int i = 0; i < list.topLevelItemCount(); ++i)
                out << list.topLevelItem(i)->text(c);
            return out;
        };
        SortListView(1, &list);
        QCOMPARE(column(0), (QStringList{"C", "a", "b"}));  // character codes: upper case first
        QCOMPARE(list.topLevelItem(0)->data(0, Qt::UserRole).toString(), QString("X2"));
        QCOMPARE(list.topLevelItem(0)->text(3), QString("$1,200.00"));
        SortListView(2, &list);
        QCOMPARE(column(1), (QStringList{"9", "10", "100"}));
        SortListView(1, &list);  // column 1's second sort: descending
        QCOMPARE(column(0), (QStringList{"b", "a", "C"}));
        SortListView(4, &list);  // amounts read whole, thousands separators included
        QCOMPARE(column(3), (QStringList{"$3", "$12.50", "$1,200.00"}));
        SortListView(6, &list);  // nothing
        QCOMPARE(column(3), (QStringList{"$3", "$12.50", "$1,200.00"}));
    }

    void chooseSystemMapShowsNothingWhenNoPicture()
    {
        int shown = 0;
        RegisterFormFactory("frmOpenSysMap", [&shown] {
            auto* d = new KrvForm<QDialog>("frmOpenSysMap");
            QObject::connect(d, &QDialog::finished, [&shown] { ++shown; });
            return d;
        });
        gPictureFound = false;
        QCOMPARE(ChooseSystemMap("Open System Map", "/nowhere/"), QString());
        QCOMPARE(shown, 0);
        QVERIFY(gPictureFound);
        QVERIFY(!IsFormLoaded("frmOpenSysMap"));
        SetSysMapChoice("map.png");
        QCOMPARE(gSysMapChoice, QString("map.png"));
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestShared)
#include "tst_shared.moc"
