#include "db.h"
#include "dbmedia.h"
#include "dbposting.h"
#include "mediafiles.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QTest>

namespace {
// A cell is (panel, element, inspection).
void addPicture(qint32 p, qint32 e, qint32 i, const QString& file, bool sketch, const QVariant& annotation = {})
{
    gConn.exec(QStringLiteral("INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, FieldSketch, InspectionID, "
                              "Annotation) VALUES (?, ?, ?, ?, ?, ?)"),
               {p, e, file, sketch ? 1 : 0, i, annotation});
}

QVariant annotationOf(qint32 p, qint32 e, qint32 i, const QString& file, bool sketch)
{
    return gConn.scalar(QStringLiteral("SELECT Annotation FROM ImagePaths WHERE PanelID = ? AND ElementID = ? AND "
                                       "InspectionID = ? AND ImagePath = ? AND FieldSketch = ?"),
                        {p, e, i, file, sketch ? 1 : 0});
}

// Sets the annotation of a picture whose stored annotation this caller read just before.
SaveOutcome annotate(qint32 p, qint32 e, qint32 i, const QString& file, const QVariant& flag, const QString& text)
{
    const QVariant stored = gConn.scalar(QStringLiteral("SELECT Annotation FROM ImagePaths WHERE PanelID = ? AND "
                                                        "ElementID = ? AND InspectionID = ? AND ImagePath = ? AND "
                                                        "FieldSketch IS ?"),
                                         {p, e, i, file, flag});
    return DbSetImageAnnotation({p, e, i, file, flag}, stored, text, QStringLiteral("picture"), {});
}

bool added(qint32 p, qint32 e, qint32 i, const QString& file)
{
    return DbAddVideo(p, e, i, file, {}) == ClipAdded::Added;
}

QStringList files(const RowSet& rs)
{
    QStringList out;
    for (int r = 0; r < rs.count(); ++r)
        out << rs.value(r, QStringLiteral("VideoFile")).toString();
    return out;
}
}  // namespace

class TestMediaRecords : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        gPhotoCount = 0;
    }
    void cleanup() { m_install.reset(); }

    // The sketch flag is part of the key: a photo and a sketch may share a file name.
    void annotationsAreKeyedByTheSketchFlag()
    {
        const QString name = QStringLiteral("O'Hara's \"arch\".jpg");
        addPicture(1, 2, 3, name, true, QStringLiteral("sketch note"));
        addPicture(1, 2, 3, name, false);
        addPicture(1, 2, 4, name, false);  // the same file in another year

        const QString text = QStringLiteral("crack at the crown's 'left' side; 5\" wide");
        ScriptedPrompt prompt;
        QVERIFY(annotate(1, 2, 3, name, 0, text).saved());
        QCOMPARE(annotationOf(1, 2, 3, name, false).toString(), text);
        QCOMPARE(annotationOf(1, 2, 3, name, true).toString(), QStringLiteral("sketch note"));
        QVERIFY(annotationOf(1, 2, 4, name, false).isNull());

        QVERIFY(annotate(1, 2, 3, name, 1, QStringLiteral("new sketch note")).saved());
        QCOMPARE(annotationOf(1, 2, 3, name, true).toString(), QStringLiteral("new sketch note"));
        QCOMPARE(annotationOf(1, 2, 3, name, false).toString(), text);
        // A sketch brought in from elsewhere marked -1 keeps its flag.
        gConn.exec(QStringLiteral("UPDATE ImagePaths SET FieldSketch = -1 WHERE FieldSketch = 1"));
        QVERIFY(annotate(1, 2, 3, name, -1, QStringLiteral("third")).saved());
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT Annotation FROM ImagePaths WHERE FieldSketch = -1")).toString(),
                 QStringLiteral("third"));
        QVERIFY(prompt.calls.isEmpty());

        // No matching picture: nothing added, and told. File names compare exactly.
        QCOMPARE(annotate(1, 2, 3, name.toUpper(), 0, QStringLiteral("x")).gone, QVector<int>{0});
        QCOMPARE(annotate(9, 2, 3, name, 0, QStringLiteral("x")).gone, QVector<int>{0});
        QCOMPARE(prompt.messages(),
                 QStringList(2, QStringLiteral("The picture was removed by another user; nothing was saved for it.")));
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT count(*) FROM ImagePaths")).toInt(), 3);
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT count(*) FROM ImagePaths WHERE Annotation = 'x'")).toInt(), 0);
    }

    void cellPictures_data()
    {
        QTest::addColumn<QString>("sketch");        // "" for none
        QTest::addColumn<QStringList>("photos");    // in the order added
        QTest::addColumn<QStringList>("callerList");
        QTest::addColumn<QStringList>("listAfter");
        QTest::addColumn<int>("count");

        const QStringList given{"old 1", "old 2", "old 3"};
        QTest::newRow("nothing: list untouched") << "" << QStringList{} << given << given << 0;
        QTest::newRow("sketch only: list untouched") << "plan's.bmp" << QStringList{} << given << given << 0;
        QTest::newRow("two photos replace a longer list")
            << "plan.bmp" << QStringList{"b'1.jpg", "a2.jpg"} << given << QStringList{"b'1.jpg", "a2.jpg"} << 2;
        QTest::newRow("four photos into an empty list")
            << "" << QStringList{"1.jpg", "2.jpg", "3.jpg", "4.jpg"} << QStringList{}
            << QStringList{"1.jpg", "2.jpg", "3.jpg", "4.jpg"} << 4;
        QTest::newRow("one photo") << "" << QStringList{"only.jpg"} << given << QStringList{"only.jpg"} << 1;
    }

    void cellPictures()
    {
        QFETCH(QString, sketch);
        QFETCH(QStringList, photos);
        QFETCH(QStringList, callerList);
        QFETCH(QStringList, listAfter);
        QFETCH(int, count);

        // Neighbours that must not be picked up: other element, other year, the posted copy.
        addPicture(1, 3, 7, QStringLiteral("other element.jpg"), false);
        addPicture(1, 2, 8, QStringLiteral("other year.jpg"), false);
        addPicture(1, 2, 8, QStringLiteral("other year sketch.bmp"), true);
        gConn.exec(QStringLiteral("INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, FieldSketch, "
                                  "InspectionID) VALUES (1, 2, 'posted.jpg', 0, 7)"));
        if (!sketch.isEmpty())
            addPicture(1, 2, 7, sketch, true);
        for (const QString& f : photos)
            addPicture(1, 2, 7, f, false);

        gPhotoCount = 99;  // reset by every call
        QStringList list = callerList;
        QCOMPARE(DbGetImagePaths(1, 7, 2, list), sketch);
        QCOMPARE(list, listAfter);
        QCOMPARE(int(gPhotoCount), count);
    }

    void clipsAreAddedOnce()
    {
        const QString clip = QStringLiteral("it's \"wet\".avi");
        QVERIFY(added(1, 2, 3, clip));
        QVERIFY(!added(1, 2, 3, clip));
        QCOMPARE(files(DbGetVideos(1, 2, 3)), QStringList{clip});
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT Posted FROM Videos")).toInt(), 0);

        // The same file in another cell or inspection is a row of its own; case counts.
        QVERIFY(added(1, 2, 4, clip));
        QVERIFY(added(1, 5, 3, clip));
        QVERIFY(added(1, 2, 3, clip.toUpper()));
        QCOMPARE(gConn.scalar(QStringLiteral("SELECT count(*) FROM Videos")).toInt(), 4);
        QCOMPARE(files(DbGetVideos(1, 2, 3)).size(), 2);

        DbDeleteVideo(1, 2, 3, clip);
        QCOMPARE(files(DbGetVideos(1, 2, 3)), QStringList{clip.toUpper()});
        QCOMPARE(files(DbGetVideos(1, 2, 4)), QStringList{clip});
        // Deleted, so it can be added again.
        QVERIFY(added(1, 2, 3, clip));

        // Listed in the order attached, before and after posting, not by name.
        QVERIFY(added(7, 8, 9, QStringLiteral("b.avi")));
        QVERIFY(added(7, 8, 9, QStringLiteral("a.avi")));
        QCOMPARE(files(DbGetVideos(7, 8, 9)), (QStringList{"b.avi", "a.avi"}));
        DbPostImagesAndVideos(9);
        QCOMPARE(files(DbGetPostedVideos(7, 8, 9)), (QStringList{"b.avi", "a.avi"}));
    }

    // Only the posted copies count, and the checks take the inspection before the element.
    void postedChecksSeeOnlyThePostedCopies()
    {
        const qint32 p = 1, e = 2, i = 3;
        addPicture(p, e, i, QStringLiteral("new.jpg"), false);
        addPicture(p, e, i, QStringLiteral("new.bmp"), true);
        QVERIFY(added(p, e, i, QStringLiteral("new.avi")));
        QVERIFY(!DbHasPostedSketch(p, i, e));
        QVERIFY(!DbHasPostedPhoto(p, i, e));
        QVERIFY(!DbHasPostedVideo(p, i, e));
        QVERIFY(DbGetPostedVideos(p, e, i).isEmpty());

        gConn.exec(QStringLiteral("INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, FieldSketch, "
                                  "InspectionID) VALUES (?, ?, 'a.bmp', 1, ?)"),
                   {p, e, i});
        QVERIFY(DbHasPostedSketch(p, i, e));
        QVERIFY(!DbHasPostedPhoto(p, i, e));
        QVERIFY(!DbHasPostedSketch(p, e, i));  // arguments swapped: another cell

        gConn.exec(QStringLiteral("INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, FieldSketch, "
                                  "InspectionID) VALUES (?, ?, 'a.jpg', 0, ?)"),
                   {p, e, i});
        QVERIFY(DbHasPostedPhoto(p, i, e));

        gConn.exec(QStringLiteral("INSERT INTO VideosPosted VALUES (?, ?, 'a.avi', ?)"), {p, e, i});
        QVERIFY(DbHasPostedVideo(p, i, e));
        QVERIFY(!DbHasPostedVideo(p, e, i));
        QCOMPARE(files(DbGetPostedVideos(p, e, i)), QStringList{"a.avi"});
    }

    // The picture checks only enable buttons and answer false when they cannot run; the
    // clip check reports the error.
    // A name is in use in a folder when any working or posted row of that inspection and
    // kind points at it; other years and the other kinds do not count.
    void mediaFileInUse()
    {
        addPicture(1, 2, 3, QStringLiteral("IMG_0001.jpg"), false);
        gConn.exec(QStringLiteral("INSERT INTO ImagePathsPosted (PanelID, ElementID, ImagePath, FieldSketch, "
                                  "InspectionID) VALUES (1, 2, 'pad.png', 1, 3)"));
        gConn.exec(QStringLiteral("INSERT INTO VideosPosted (PanelID, ElementID, VideoFile, InspectionID) "
                                  "VALUES (1, 2, 'MOV0001.avi', 3)"));
        QVERIFY(DbMediaFileInUse(3, MediaKind::Photo, QStringLiteral("IMG_0001.jpg")));
        QVERIFY(!DbMediaFileInUse(3, MediaKind::Photo, QStringLiteral("img_0001.jpg")));
        QVERIFY(!DbMediaFileInUse(4, MediaKind::Photo, QStringLiteral("IMG_0001.jpg")));
        QVERIFY(!DbMediaFileInUse(3, MediaKind::Sketch, QStringLiteral("IMG_0001.jpg")));
        QVERIFY(DbMediaFileInUse(3, MediaKind::Sketch, QStringLiteral("pad.png")));
        QVERIFY(!DbMediaFileInUse(3, MediaKind::Photo, QStringLiteral("pad.png")));
        QVERIFY(DbMediaFileInUse(3, MediaKind::Video, QStringLiteral("MOV0001.avi")));
        QVERIFY(!DbMediaFileInUse(3, MediaKind::Video, QStringLiteral("IMG_0001.jpg")));
    }

    void numberedFileNames_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("second");
        QTest::newRow("extension") << "IMG_0001.jpg" << "IMG_0001 (2).jpg";
        QTest::newRow("two dots") << "clip.final.avi" << "clip.final (2).avi";
        QTest::newRow("no extension") << "notes" << "notes (2)";
        QTest::newRow("leading dot") << ".notes" << ".notes (2)";
    }
    void numberedFileNames()
    {
        QFETCH(QString, name);
        QFETCH(QString, second);
        QCOMPARE(NumberedFileName(name, 1), name);
        QCOMPARE(NumberedFileName(name, 2), second);
    }

    void postedChecksWhenTheTablesAreMissing()
    {
        gConn.exec(QStringLiteral("DROP TABLE ImagePathsPosted"));
        gConn.exec(QStringLiteral("DROP TABLE VideosPosted"));
        QVERIFY(!DbHasPostedSketch(1, 3, 2));
        QVERIFY(!DbHasPostedPhoto(1, 3, 2));
        QVERIFY_THROWS_EXCEPTION(DbError, DbHasPostedVideo(1, 3, 2));
    }

private:
    std::unique_ptr<TestInstall> m_install;
};

QTEST_MAIN(TestMediaRecords)
#include "tst_mediarecords.moc"
