// Attaching photos and field sketches: the file list, storing from it and through Browse
// (with the copy into the year's folder), replacing the sketch, removing, annotations.
#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmImgInput.h"
#include "modkrv.h"
#include "otherprogram.h"
#include "picturebomb.h"
#include "pipewatch.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "zvmap.h"

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFrame>
#include <QImage>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>

#include <sys/mount.h>

namespace {

bool gDataInputShown = false;
class FakeDataInput : public KrvForm<QWidget> {
public:
    FakeDataInput() : KrvForm<QWidget>(QStringLiteral("frmDataInput")) {}

protected:
    void showEvent(QShowEvent*) override { gDataInputShown = true; }
};

struct Fixture {
    TestInstall install;
    ScriptedPrompt prompt;
    qint32 tunnel = 0, period = 0;
    const qint32 panel = 3, element = 7;
    QString elsewhere;

    Fixture()
    {
        FixtureSystem();
        tunnel = FixtureTunnel(QStringLiteral("North Bore"));
        period = FixturePeriod(tunnel, 2024);
        gConn.exec(QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (?, ?, 1, 'N-01')"),
                   {panel, tunnel});
        FixtureElement(element, QStringLiteral("Lining"));
        gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (?, ?)"), {panel, element});
        elsewhere = install.file(QStringLiteral("camera"));
        QDir().mkpath(elsewhere);
    }
    static void draw(const QString& path, int width = 90)
    {
        QImage img(width, 60, QImage::Format_RGB32);
        img.fill(Qt::darkGreen);
        QVERIFY(img.save(path, "PNG"));
    }
    QString photoFolder() const { return GetPhotoFolder(tunnel, period); }
    QString sketchFolder() const { return GetSketchFolder(tunnel, period); }
    frmImgInput* open(bool sketch)
    {
        auto* w = new frmImgInput;
        w->Load(tunnel, panel, element, period, sketch);
        return w;
    }
    // The element's rows as "name|sketch|annotation".
    QStringList rows() const
    {
        return Rows(QStringLiteral("SELECT ImagePath, FieldSketch, Annotation FROM ImagePaths ORDER BY rowid"));
    }
};

QStringList items(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

void clickItem(QListWidget* list, const QString& text)
{
    const auto found = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(!found.isEmpty(), qPrintable(text));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, list->visualItemRect(found[0]).center());
}

void leave(QWidget* box)
{
    QFocusEvent out(QEvent::FocusOut);
    QCoreApplication::sendEvent(box, &out);
}

}  // namespace

class tst_imginput : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            delete w;
        gDataInputShown = false;
    }

    void loadListsTheFolderAndTheStoredPictures()
    {
        Fixture f;
        FixturePicture(f.panel, f.element, f.period, QStringLiteral("b.jpg"), false, QStringLiteral("rust"));
        FixturePicture(f.panel, f.element, f.period, QStringLiteral("a.png"), false);
        FixturePicture(f.panel, f.element, f.period, QStringLiteral("s.png"), true);
        FixturePicture(f.panel, 8, f.period, QStringLiteral("other.png"), false);
        MakeFolderTree(f.photoFolder());
        for (const char* name : {"a.png", "b.jpg", "c.JPG", "notes.txt"})
            Fixture::draw(f.photoFolder() + QString::fromLatin1(name));
        frmImgInput* w = f.open(false);
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Image Input Form"));
        QVERIFY(QFileInfo(f.sketchFolder()).isDir());
        QVERIFY(QFileInfo(f.photoFolder()).isDir());
        QCOMPARE(QDir::cleanPath(w->ListFolder()), QDir::cleanPath(f.photoFolder()));
        QCOMPARE(items(w->lstSelected), QStringList({"b.jpg", "a.png"}));
        QCOMPARE(w->CurrentIndex(), -1);
        QCOMPARE(items(w->fileImgList), QStringList({"a.png", "b.jpg", "c.JPG"}));
        QStringList types;
        for (int i = 0; i < w->cboFileType->count(); ++i)
            types << w->cboFileType->itemText(i);
        QCOMPARE(types, frmImgInput::FileTypeNames());
        // Only kinds the program can show are offered: no metafiles.
        QCOMPARE(types, (QStringList{"All Picture Files", "Bitmap Files (*.bmp;*.dib)", "GIF Files (*.gif)",
                                     "JPEG Files (*.jpg;*.jpeg)", "PNG Files (*.png)"}));
        QVERIFY(!frmImgInput::FileTypePatterns().join(QLatin1Char(';')).contains(QLatin1String("wmf")));
        QVERIFY(!w->cmdStore->isEnabled());
        QVERIFY(!w->cmdPreview->isEnabled());
        QVERIFY(!w->cmdRemove->isEnabled());

        w->cboFileType->setCurrentIndex(3);  // JPEG
        QCOMPARE(items(w->fileImgList), QStringList({"b.jpg", "c.JPG"}));
        clickItem(w->fileImgList, QStringLiteral("c.JPG"));
        QVERIFY(w->cmdStore->isEnabled());
        QVERIFY(w->cmdPreview->isEnabled());
        QTest::mouseClick(w->cmdPreview, Qt::LeftButton);
        QCOMPARE(w->PreviewPane->Picture().width(), 90);
        w->cboFileType->setCurrentIndex(0);
        QVERIFY(!w->cmdStore->isEnabled());

        clickItem(w->lstSelected, QStringLiteral("b.jpg"));
        QCOMPARE(w->CurrentIndex(), 0);
        QCOMPARE(w->txtAnnotation->text(), QStringLiteral("rust"));
        QVERIFY(w->cmdRemove->isEnabled());
        QVERIFY(f.prompt.calls.isEmpty());
    }

    // A picture's annotation is what was typed before it was stored; names differing only
    // in letter case are different photos.
    void storingPhotosFromTheList()
    {
        Fixture f;
        MakeFolderTree(f.photoFolder());
        for (const char* name : {"crack.png", "Crack.png"})
            Fixture::draw(f.photoFolder() + QString::fromLatin1(name));
        frmImgInput* w = f.open(false);
        QCOMPARE(w->CurrentIndex(), 0);
        QCOMPARE(w->PicArray().size(), 1);
        QTest::keyClicks(w->txtAnnotation, QStringLiteral("west wall"));
        clickItem(w->fileImgList, QStringLiteral("crack.png"));
        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        QCOMPARE(f.prompt.messages(), QStringList{QStringLiteral("The photo has been stored.")});
        QCOMPARE(f.rows(), QStringList{QStringLiteral("crack.png|0|west wall")});
        QCOMPARE(items(w->lstSelected), QStringList{QStringLiteral("crack.png")});
        QCOMPARE(w->lstSelected->currentRow(), 0);
        QCOMPARE(w->PicArray().size(), 1);
        QCOMPARE(w->CurrentIndex(), 0);

        clickItem(w->fileImgList, QStringLiteral("crack.png"));
        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        QCOMPARE(f.prompt.messages().last(), QStringLiteral("This photo has already been added to the photo list."));
        QCOMPARE(f.rows().size(), 1);

        clickItem(w->fileImgList, QStringLiteral("Crack.png"));
        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        QCOMPARE(f.rows().size(), 2);
        QCOMPARE(items(w->lstSelected), QStringList({"crack.png", "Crack.png"}));
        QCOMPARE(w->CurrentIndex(), 1);
    }

    void storingAndReplacingTheSketch_data()
    {
        QTest::addColumn<bool>("hasSketch");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("rows");
        const QString question = QStringLiteral(
            "A field sketch already exists for this element.  Are you sure want to replace the existing field sketch?");
        QTest::newRow("first sketch") << false << MsgAnswer::Default
                                      << QStringList{QStringLiteral("The field sketch has been stored.")}
                                      << QStringList{QStringLiteral("new.png|1|")};
        QTest::newRow("replace: no") << true << MsgAnswer::No << QStringList{question}
                                     << QStringList{QStringLiteral("old.png|1|<null>")};
        QTest::newRow("replace: yes")
            << true << MsgAnswer::Yes
            << QStringList{question, QStringLiteral("The new field sketch has been stored.")}
            << QStringList{QStringLiteral("new.png|1|")};
    }
    void storingAndReplacingTheSketch()
    {
        QFETCH(bool, hasSketch);
        QFETCH(MsgAnswer, answer);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, rows);
        Fixture f;
        MakeFolderTree(f.sketchFolder());
        Fixture::draw(f.sketchFolder() + QStringLiteral("new.png"));
        if (hasSketch)
            FixturePicture(f.panel, f.element, f.period, QStringLiteral("old.png"), true);
        frmImgInput* w = f.open(true);
        QCOMPARE(w->CurrentIndex(), 0);
        f.prompt.answer(answer);
        clickItem(w->fileImgList, QStringLiteral("new.png"));
        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        QCOMPARE(f.prompt.messages(), messages);
        if (hasSketch) {
            QCOMPARE(f.prompt.calls[0].title, QStringLiteral("Replace Field Sketch"));
            QCOMPARE(f.prompt.calls[0].buttons, MsgButtons::YesNo);
        }
        QCOMPARE(f.rows(), rows);
        QCOMPARE(items(w->lstSelected), QStringList{rows[0].section(QLatin1Char('|'), 0, 0)});
    }

    // Deleting the old sketch and writing the new one go together: a failing write keeps the old.
    void aFailedReplaceKeepsTheOldSketch()
    {
        Fixture f;
        MakeFolderTree(f.sketchFolder());
        Fixture::draw(f.sketchFolder() + QStringLiteral("new.png"));
        FixturePicture(f.panel, f.element, f.period, QStringLiteral("old.png"), true);
        frmImgInput* w = f.open(true);
        FailWhen(QStringLiteral("nospace"), QStringLiteral("INSERT"), QStringLiteral("ImagePaths"), QStringLiteral("1"));
        f.prompt.answer(MsgAnswer::Yes);
        clickItem(w->fileImgList, QStringLiteral("new.png"));
        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        DropFailure(QStringLiteral("nospace"));
        QCOMPARE(f.prompt.messages().last(), QStringLiteral("Error storing image file"));
        QCOMPARE(f.rows(), QStringList{QStringLiteral("old.png|1|<null>")});
        QCOMPARE(items(w->lstSelected), QStringList{QStringLiteral("old.png")});
    }

    void browse_data()
    {
        QTest::addColumn<QString>("source");  // "" cancels; "in-folder" picks a file of the folder
        QTest::addColumn<MsgAnswer>("copyAnswer");
        QTest::addColumn<QStringList>("messages");
        QTest::addColumn<QStringList>("rows");
        const QString copy = QStringLiteral(
            "This file must be copied to the application data path to be associated with this tunnel.\r\n"
            "Continue with copy and store image?");
        QTest::newRow("cancelled") << QString() << MsgAnswer::Default << QStringList() << QStringList();
        QTest::newRow("file of the folder") << "in-folder" << MsgAnswer::Default << QStringList() << QStringList();
        QTest::newRow("copy refused") << "cam.png" << MsgAnswer::No << QStringList{copy} << QStringList();
        QTest::newRow("copied and stored")
            << "cam.png" << MsgAnswer::Yes << QStringList{copy, QStringLiteral("The photo has been stored.")}
            << QStringList{QStringLiteral("cam.png|0|by the portal")};
        QTest::newRow("name with quotes")
            << "O'Hare \"1\".png" << MsgAnswer::Yes << QStringList{copy, QStringLiteral("The photo has been stored.")}
            << QStringList{QStringLiteral("O'Hare \"1\".png|0|by the portal")};
        QTest::newRow("already listed, the same picture in the folder: reported")
            << "kept.png" << MsgAnswer::Yes
            << QStringList{copy, QStringLiteral("This photo has already been added to the photo list.")}
            << QStringList{QStringLiteral("kept.png|0|<null>")};
    }
    void browse()
    {
        QFETCH(QString, source);
        QFETCH(MsgAnswer, copyAnswer);
        QFETCH(QStringList, messages);
        QFETCH(QStringList, rows);
        Fixture f;
        MakeFolderTree(f.photoFolder());
        Fixture::draw(f.photoFolder() + QStringLiteral("here.png"));
        const bool listed = source == QLatin1String("kept.png");
        if (listed) {
            FixturePicture(f.panel, f.element, f.period, source, false);
            Fixture::draw(f.photoFolder() + source, 77);
        }
        frmImgInput* w = f.open(false);
        QString chosen;
        if (source == QLatin1String("in-folder")) {
            chosen = f.photoFolder() + QStringLiteral("here.png");
        } else if (!source.isEmpty()) {
            chosen = f.elsewhere + QLatin1Char('/') + source;
            Fixture::draw(chosen, 77);
            QFile::setPermissions(chosen, QFile::ReadOwner | QFile::WriteOwner);
            QFile file(chosen);
            QVERIFY(file.open(QIODevice::ReadWrite));
            QVERIFY(file.setFileTime(QDateTime(QDate(2021, 5, 4), QTime(8, 30)), QFileDevice::FileModificationTime));
        }
        // Text typed before storing goes with the stored picture.
        QTest::keyClicks(w->txtAnnotation, QStringLiteral("by the portal"));
        if (chosen.isEmpty())
            f.prompt.answerCancel();
        else
            f.prompt.answerText(chosen);
        f.prompt.answer(copyAnswer);
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);

        QCOMPARE(f.prompt.count(PromptCall::OpenFile), 1);
        QCOMPARE(QDir::cleanPath(f.prompt.calls[0].initial), QDir::cleanPath(f.photoFolder()));
        QCOMPARE(f.prompt.messages(), messages);
        if (!messages.isEmpty())
            QCOMPARE(f.prompt.calls[1].title, QStringLiteral("Warning!"));
        QCOMPARE(f.rows(), rows);
        const QString copied = f.photoFolder() + source;
        if (copyAnswer == MsgAnswer::Yes) {
            QVERIFY(QFileInfo(copied).isFile());
            if (!listed)
                QCOMPARE(QFileInfo(copied).lastModified(), QDateTime(QDate(2021, 5, 4), QTime(8, 30)));
            QCOMPARE(QImage(copied).width(), 77);
            QVERIFY(items(w->fileImgList).contains(source));
            QCOMPARE(QDir(f.photoFolder()).entryList(QDir::Files).filter(QStringLiteral(".krv-copy")), QStringList());
        } else if (source != QLatin1String("in-folder") && !source.isEmpty()) {
            QVERIFY(!QFileInfo::exists(copied));
        }
        if (!listed && copyAnswer == MsgAnswer::Yes) {
            QCOMPARE(w->lstSelected->currentItem()->text(), source);
            QCOMPARE(w->txtAnnotation->text(), QStringLiteral("by the portal"));
        }
    }

    // Photos at the sizes today's phones and cameras take are pictures: previewed from the list
    // (held scaled down, measured at their own size), stored from it and through Browse.
    void cameraPhotosAreStored_data()
    {
        QTest::addColumn<QSize>("size");
        QTest::addColumn<bool>("browse");
        QTest::addColumn<QString>("name");
        const std::pair<const char*, QSize> sizes[] = {
            {"12 MP", QSize(4000, 3000)}, {"45 MP", QSize(8256, 5504)}, {"200 MP", QSize(16320, 12240)}};
        for (const auto& [label, size] : sizes) {
            QTest::addRow("%s, from the list", label) << size << false << QStringLiteral("camera.jpg");
            QTest::addRow("%s, through Browse", label) << size << true << QStringLiteral("camera.jpg");
        }
        // Another kind, beyond Qt's own allocation limit when read whole.
        QTest::addRow("38 MP screenshot PNG, from the list") << QSize(8192, 4608) << false << QStringLiteral("screen.png");
    }
    void cameraPhotosAreStored()
    {
        QFETCH(QSize, size);
        QFETCH(bool, browse);
        QFETCH(QString, name);
        Fixture f;
        MakeFolderTree(f.photoFolder());
        const QString folder = browse ? f.elsewhere + QLatin1Char('/') : f.photoFolder();
        if (name.endsWith(QLatin1String(".jpg"))) {
            QVERIFY(WriteFlatJpeg(folder + name, size.width(), size.height()));
        } else {
            QImage im(size, QImage::Format_RGB32);
            im.fill(Qt::darkCyan);
            QVERIFY(im.save(folder + name, "PNG", 0));
        }
        frmImgInput* w = f.open(false);
        if (browse) {
            f.prompt.answerText(folder + name);
            f.prompt.answer(MsgAnswer::Yes);  // copy
            QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
        } else {
            clickItem(w->fileImgList, name);
            QTest::mouseClick(w->cmdPreview, Qt::LeftButton);
            auto* preview = w->findChild<ZVMap*>(QStringLiteral("PreviewPane"));
            QVERIFY(preview);
            QCOMPARE(preview->PictureSize(), size);
            QVERIFY(qint64(preview->Picture().width()) * preview->Picture().height() <= 16'000'000);
            QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        }
        QCOMPARE(f.prompt.messages().filter(QStringLiteral("Invalid image file.")), QStringList());
        QCOMPARE(f.prompt.messages().last(), QStringLiteral("The photo has been stored."));
        QCOMPARE(f.rows().size(), 1);
        QVERIFY(f.rows()[0].startsWith(name + QStringLiteral("|0|")));
        QVERIFY(QFileInfo(f.photoFolder() + name).isFile());
    }

    // A file that is no picture (an 8-byte text named broken.png, a cut-off PNG) is refused
    // with one message before anything is copied or stored, by Browse and by Store Image, for
    // photos and sketches; a sketch already stored stays.
    void noPictureIsStored_data()
    {
        QTest::addColumn<bool>("sketch");
        QTest::addColumn<QString>("how");  // "browse" or "store"
        QTest::addColumn<QByteArray>("content");
        QByteArray cut;
        {
            QImage img(40, 30, QImage::Format_RGB32);
            img.fill(Qt::red);
            QBuffer buffer(&cut);
            buffer.open(QIODevice::WriteOnly);
            img.save(&buffer, "PNG");
            cut.truncate(cut.size() / 2);
        }
        for (const bool sketch : {false, true})
            for (const char* how : {"browse", "store"}) {
                const char* kind = sketch ? "sketch" : "photo";
                QTest::addRow("%s, %s, text", kind, how) << sketch << how << QByteArray("not png\n");
                QTest::addRow("%s, %s, cut off", kind, how) << sketch << how << cut;
            }
    }
    void noPictureIsStored()
    {
        QFETCH(bool, sketch);
        QFETCH(QString, how);
        QFETCH(QByteArray, content);
        Fixture f;
        if (sketch)
            FixturePicture(f.panel, f.element, f.period, QStringLiteral("old.png"), true);
        const QStringList before = f.rows();
        const QString folder = sketch ? f.sketchFolder() : f.photoFolder();
        MakeFolderTree(folder);
        const QString source = (how == QLatin1String("browse") ? f.elsewhere + QLatin1Char('/') : folder)
                               + QStringLiteral("broken.png");
        {
            QFile file(source);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write(content);
        }
        frmImgInput* w = f.open(sketch);
        if (how == QLatin1String("browse")) {
            if (sketch)
                f.prompt.answer(MsgAnswer::Yes);  // replace the stored sketch
            f.prompt.answerText(source);
            f.prompt.answer(MsgAnswer::Yes);  // copy
            QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
            QVERIFY(!QFileInfo::exists(folder + QStringLiteral("broken.png")));
        } else {
            f.prompt.answer(MsgAnswer::Yes);  // replace the stored sketch
            clickItem(w->fileImgList, QStringLiteral("broken.png"));
            QVERIFY(w->cmdStore->isEnabled());
            QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        }
        QCOMPARE(f.prompt.messages().filter(QStringLiteral("stored")), QStringList());
        QCOMPARE(f.prompt.messages().filter(QStringLiteral("Invalid image file.")).size(), 1);
        QCOMPARE(f.prompt.messages().last(), QStringLiteral("Invalid image file."));
        QCOMPARE(f.rows(), before);
        QCOMPARE(items(w->lstSelected), sketch ? QStringList{QStringLiteral("old.png")} : QStringList());
    }

    void browseForASketch_data()
    {
        QTest::addColumn<bool>("hasSketch");
        QTest::addColumn<MsgAnswer>("replace");
        QTest::addColumn<int>("dialogs");
        QTest::addColumn<QStringList>("rows");
        QTest::newRow("first sketch, no question") << false << MsgAnswer::Default << 1
                                                   << QStringList{QStringLiteral("pad.png|1|")};
        QTest::newRow("replace refused before the dialog")
            << true << MsgAnswer::No << 0 << QStringList{QStringLiteral("old.png|1|<null>")};
        QTest::newRow("replaced") << true << MsgAnswer::Yes << 1 << QStringList{QStringLiteral("pad.png|1|")};
    }
    void browseForASketch()
    {
        QFETCH(bool, hasSketch);
        QFETCH(MsgAnswer, replace);
        QFETCH(int, dialogs);
        QFETCH(QStringList, rows);
        Fixture f;
        FixturePicture(f.panel, f.element, f.period, QStringLiteral("photo.png"), false);
        if (hasSketch)
            FixturePicture(f.panel, f.element, f.period, QStringLiteral("old.png"), true);
        const QString chosen = f.elsewhere + QStringLiteral("/pad.png");
        Fixture::draw(chosen);
        frmImgInput* w = f.open(true);
        if (hasSketch)
            f.prompt.answer(replace);
        f.prompt.answerText(chosen);
        f.prompt.answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
        QCOMPARE(f.prompt.count(PromptCall::OpenFile), dialogs);
        QCOMPARE(Rows(QStringLiteral("SELECT ImagePath, FieldSketch, Annotation FROM ImagePaths WHERE FieldSketch = 1")),
                 rows);
        QCOMPARE(CountRows(QStringLiteral("ImagePaths"), QStringLiteral("FieldSketch = 0")), 1);
        if (dialogs) {
            QCOMPARE(f.prompt.messages().last(), QStringLiteral("The new field sketch has been stored."));
            QCOMPARE(items(w->lstSelected), QStringList{QStringLiteral("pad.png")});
        }
    }

    // Cameras restart their numbering: a browsed file whose name another element's picture
    // has keeps that picture whole. Other content is copied under a free name, the same
    // content is used as it lies there.
    void browseToANameInUse_data()
    {
        QTest::addColumn<bool>("sketch");
        QTest::addColumn<QStringList>("inFolder");  // "name=width" of files already there
        QTest::addColumn<QString>("otherRow");      // another element's picture of that name
        QTest::addColumn<QString>("stored");
        QTest::newRow("photo, other picture")
            << false << QStringList{"IMG_0001.jpg=50"} << "IMG_0001.jpg" << "IMG_0001 (2).jpg";
        QTest::newRow("photo, same picture") << false << QStringList{"IMG_0001.jpg=77"} << "IMG_0001.jpg"
                                             << "IMG_0001.jpg";
        QTest::newRow("photo, numbered name taken too")
            << false << QStringList{"IMG_0001.jpg=50", "IMG_0001 (2).jpg=60"} << "IMG_0001.jpg" << "IMG_0001 (3).jpg";
        QTest::newRow("photo, same picture under the numbered name")
            << false << QStringList{"IMG_0001.jpg=50", "IMG_0001 (2).jpg=77"} << "" << "IMG_0001 (2).jpg";
        QTest::newRow("photo, row whose file is missing") << false << QStringList{} << "IMG_0001.jpg"
                                                          << "IMG_0001 (2).jpg";
        QTest::newRow("sketch, other sketch")
            << true << QStringList{"IMG_0001.jpg=50"} << "IMG_0001.jpg" << "IMG_0001 (2).jpg";
    }
    void browseToANameInUse()
    {
        QFETCH(bool, sketch);
        QFETCH(QStringList, inFolder);
        QFETCH(QString, otherRow);
        QFETCH(QString, stored);
        Fixture f;
        const QString folder = sketch ? f.sketchFolder() : f.photoFolder();
        MakeFolderTree(folder);
        for (const QString& file : inFolder)
            Fixture::draw(folder + file.section('=', 0, 0), file.section('=', 1).toInt());
        if (!otherRow.isEmpty())
            FixturePicture(f.panel, 8, f.period, otherRow, sketch);
        const QString chosen = f.elsewhere + QStringLiteral("/IMG_0001.jpg");
        Fixture::draw(chosen, 77);
        frmImgInput* w = f.open(sketch);
        f.prompt.answerText(chosen);
        f.prompt.answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);

        QCOMPARE(f.prompt.messages().last(), sketch ? QStringLiteral("The new field sketch has been stored.")
                                                    : QStringLiteral("The photo has been stored."));
        QCOMPARE(Rows(QStringLiteral("SELECT ImagePath, FieldSketch FROM ImagePaths WHERE ElementID = ?"), {f.element}),
                 QStringList{stored + (sketch ? "|1" : "|0")});
        // Every file that was there keeps its picture; the stored name holds the browsed one.
        for (const QString& file : inFolder)
            QCOMPARE(QImage(folder + file.section('=', 0, 0)).width(), file.section('=', 1).toInt());
        QCOMPARE(QImage(folder + stored).width(), 77);
        QStringList expected;
        for (const QString& file : inFolder)
            expected << file.section('=', 0, 0);
        if (!expected.contains(stored))
            expected << stored;
        expected.sort();
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden, QDir::Name), expected);
        QCOMPARE(items(w->lstSelected), QStringList{stored});
        QVERIFY(items(w->fileImgList).contains(stored));
    }

    void aFailedCopyStoresNothing()
    {
        Fixture f;
        MakeFolderTree(f.photoFolder());
        // Something that is no file stands where the copy is written.
        QVERIFY(QDir().mkpath(f.photoFolder() + QStringLiteral("cam.png.krv-copy/x")));
        const QString chosen = f.elsewhere + QStringLiteral("/cam.png");
        Fixture::draw(chosen);
        frmImgInput* w = f.open(false);
        f.prompt.answerText(chosen);
        f.prompt.answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
        QCOMPARE(f.prompt.messages().last(),
                 QStringLiteral("Unable to copy file ") + chosen + QStringLiteral(".  File may be in use."));
        QCOMPARE(f.prompt.calls.last().title, QStringLiteral("Error"));
        QCOMPARE(f.prompt.calls.last().icon, MsgIcon::Critical);
        QVERIFY(!QFileInfo::exists(f.photoFolder() + QStringLiteral("cam.png")));
        QCOMPARE(f.rows(), QStringList());
    }

    // After a removal no picture is current: later typing is stored against none, and the
    // remaining items still show their own pictures.
    void removingPhotos()
    {
        Fixture f;
        MakeFolderTree(f.photoFolder());
        for (int i = 0; i < 3; ++i) {
            const QString name = QStringLiteral("p%1.png").arg(i);
            Fixture::draw(f.photoFolder() + name, 50 + i);
            FixturePicture(f.panel, f.element, f.period, name, false, QStringLiteral("a%1").arg(i));
        }
        frmImgInput* w = f.open(false);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);  // disabled: nothing happens
        w->cmdRemove->setEnabled(true);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QCOMPARE(f.prompt.messages(),
                 QStringList{QStringLiteral("You must select an image to remove from the Selected Images list.")});

        clickItem(w->lstSelected, QStringLiteral("p0.png"));
        f.prompt.answer(MsgAnswer::No);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QCOMPARE(f.prompt.calls.last().title, QStringLiteral("Remove Photo"));
        QCOMPARE(f.rows().size(), 3);

        QVERIFY(!w->PreviewPane->Image().isEmpty());
        f.prompt.answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QCOMPARE(f.rows(), QStringList({"p1.png|0|a1", "p2.png|0|a2"}));
        // The removed photo leaves the preview.
        QCOMPARE(w->PreviewPane->Image(), QString());
        QVERIFY(QFileInfo::exists(f.photoFolder() + QStringLiteral("p0.png")));
        QCOMPARE(items(w->lstSelected), QStringList({"p1.png", "p2.png"}));
        QCOMPARE(w->CurrentIndex(), -1);
        QCOMPARE(w->txtAnnotation->text(), QString());
        QTest::keyClicks(w->txtAnnotation, QStringLiteral("stray"));
        leave(w->txtAnnotation);
        QCOMPARE(f.rows(), QStringList({"p1.png|0|a1", "p2.png|0|a2"}));

        clickItem(w->lstSelected, QStringLiteral("p2.png"));
        QCOMPARE(w->txtAnnotation->text(), QStringLiteral("a2"));
        QCOMPARE(w->PreviewPane->Picture().width(), 52);
        f.prompt.answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        clickItem(w->lstSelected, QStringLiteral("p1.png"));
        f.prompt.answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QCOMPARE(f.rows(), QStringList());
        QCOMPARE(w->PicArray().size(), 1);

        // The same file can be stored again.
        clickItem(w->fileImgList, QStringLiteral("p1.png"));
        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        QCOMPARE(f.rows(), QStringList{QStringLiteral("p1.png|0|")});
    }

    void removingTheSketch()
    {
        Fixture f;
        MakeFolderTree(f.sketchFolder());
        Fixture::draw(f.sketchFolder() + QStringLiteral("s.png"));
        FixturePicture(f.panel, f.element, f.period, QStringLiteral("s.png"), true);
        frmImgInput* w = f.open(true);
        clickItem(w->lstSelected, QStringLiteral("s.png"));
        f.prompt.answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QCOMPARE(f.prompt.calls.last().title, QStringLiteral("Remove Fieldsketch"));
        QCOMPARE(f.rows(), QStringList());
        QCOMPARE(w->lstSelected->count(), 0);
        QCOMPARE(w->PreviewPane->Image(), QString());
        QVERIFY(QFileInfo::exists(f.sketchFolder() + QStringLiteral("s.png")));
    }

    void annotationIsStoredWhenTheBoxIsLeft()
    {
        Fixture f;
        MakeFolderTree(f.photoFolder());
        const QString name = QStringLiteral("it's.png");
        Fixture::draw(f.photoFolder() + name);
        FixturePicture(f.panel, f.element, f.period, name, false, QStringLiteral("old"));
        FixturePicture(f.panel, f.element, f.period, name, true, QStringLiteral("sketch keeps this"));
        frmImgInput* w = f.open(false);
        clickItem(w->lstSelected, name);
        w->txtAnnotation->selectAll();
        QTest::keyClicks(w->txtAnnotation, QStringLiteral("wet, 'spalling'"));
        QCOMPARE(w->PicArray()[0].Annotation, QStringLiteral("wet, 'spalling'"));
        leave(w->txtAnnotation);
        QCOMPARE(f.rows(), QStringList({"it's.png|0|wet, 'spalling'", "it's.png|1|sketch keeps this"}));
        QVERIFY(f.prompt.calls.isEmpty());
    }

    // Another program changes the photo's row between loading and leaving the box: only a
    // text typed here is written, a text both changed asks, and a row gone is told.
    void annotationAgainstAnotherUser_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<MsgAnswer>("answer");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QStringList>("rows");
        QTest::addColumn<QString>("shown");
        const QString theirs = QStringLiteral("UPDATE ImagePaths SET Annotation = 'theirs'");
        const QString asked = QStringLiteral("The annotation of photo b.png was changed by another user after you "
                                             "opened it: it is now \"theirs\", yours is \"mine\". Replace it with yours?");
        const QString removed = QStringLiteral(" was removed by another user; nothing was saved for it.");
        QTest::newRow("passing through") << QString() << theirs << MsgAnswer::Default << QString()
                                         << QStringList{"b.png|0|theirs"} << "old";
        QTest::newRow("changed: yes") << "mine" << theirs << MsgAnswer::Yes << asked << QStringList{"b.png|0|mine"}
                                      << "mine";
        QTest::newRow("changed: no") << "mine" << theirs << MsgAnswer::No << asked << QStringList{"b.png|0|theirs"}
                                     << "theirs";
        QTest::newRow("changed: cancel") << "mine" << theirs << MsgAnswer::Cancel << asked
                                         << QStringList{"b.png|0|theirs"} << "mine";
        QTest::newRow("photo removed") << "mine" << QStringLiteral("DELETE FROM ImagePaths") << MsgAnswer::Default
                                       << "The photo b.png" + removed << QStringList() << "";
        QTest::newRow("element removed") << "mine" << QStringLiteral("DELETE FROM PanelElements") << MsgAnswer::Default
                                         << "The element Lining of panel N-01" + removed
                                         << QStringList{"b.png|0|old"} << "old";
    }
    void annotationAgainstAnotherUser()
    {
        QFETCH(QString, typed);
        QFETCH(QString, sql);
        QFETCH(MsgAnswer, answer);
        QFETCH(QString, told);
        QFETCH(QStringList, rows);
        QFETCH(QString, shown);
        Fixture f;
        MakeFolderTree(f.photoFolder());
        Fixture::draw(f.photoFolder() + QStringLiteral("b.png"));
        FixturePicture(f.panel, f.element, f.period, QStringLiteral("b.png"), false, QStringLiteral("old"));
        frmImgInput* w = f.open(false);
        clickItem(w->lstSelected, QStringLiteral("b.png"));
        if (!typed.isNull()) {
            w->txtAnnotation->selectAll();
            QTest::keyClicks(w->txtAnnotation, typed);
        }
        QCOMPARE(RunSqliteShell(f.install.dbPath(), sql), QString());
        f.prompt.answer(answer);
        leave(w->txtAnnotation);
        QCOMPARE(f.prompt.messages(), told.isEmpty() ? QStringList() : QStringList{told});
        QCOMPARE(f.rows(), rows);
        QCOMPARE(w->txtAnnotation->text(), shown);
        // A photo told removed is no longer previewed; one still stored still is.
        QCOMPARE(w->PreviewPane->Image().isEmpty(), rows.isEmpty());
        if (answer != MsgAnswer::Cancel)
            return;
        // Put off, it is asked again as the window closes.
        f.prompt.answer(MsgAnswer::Yes);
        QVERIFY(w->Unload());
        QCOMPARE(f.prompt.messages(), (QStringList{told, told}));
        QCOMPARE(f.rows(), QStringList{"b.png|0|mine"});
    }

    // A photo or sketch stored after another program removed the period, the panel or the
    // element from the panel: nothing is written and the user is told what is gone. A photo
    // the other program stored meanwhile is not stored twice.
    void storingAfterAnotherUser_data()
    {
        QTest::addColumn<bool>("sketch");
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("told");
        QTest::addColumn<QStringList>("rows");
        const QString removed = QStringLiteral(" was removed by another user; nothing was saved for it.");
        QTest::newRow("photo, period") << false << QStringLiteral("DELETE FROM InspectionPeriod")
                                       << "The inspection period 2024" + removed << QStringList();
        QTest::newRow("sketch, panel") << true << QStringLiteral("DELETE FROM Panels") << "The panel N-01" + removed
                                       << QStringList();
        QTest::newRow("photo, element") << false << QStringLiteral("DELETE FROM PanelElements")
                                        << "The element Lining of panel N-01" + removed << QStringList();
        QTest::newRow("photo stored meanwhile")
            << false
            << QStringLiteral("INSERT INTO ImagePaths (PanelID, ElementID, ImagePath, InspectionID, Annotation) "
                              "SELECT 3, 7, 'new.png', InspectionID, 'theirs' FROM InspectionPeriod")
            << QStringLiteral("This photo has already been added to the photo list.")
            << QStringList{"new.png|0|theirs"};
    }
    void storingAfterAnotherUser()
    {
        QFETCH(bool, sketch);
        QFETCH(QString, sql);
        QFETCH(QString, told);
        QFETCH(QStringList, rows);
        Fixture f;
        const QString folder = sketch ? f.sketchFolder() : f.photoFolder();
        MakeFolderTree(folder);
        Fixture::draw(folder + QStringLiteral("new.png"));
        frmImgInput* w = f.open(sketch);
        QCOMPARE(RunSqliteShell(f.install.dbPath(), sql), QString());
        clickItem(w->fileImgList, QStringLiteral("new.png"));
        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        QCOMPARE(f.prompt.messages(), QStringList{told});
        QCOMPARE(f.rows(), rows);
        // The list shows what is stored.
        QCOMPARE(w->lstSelected->count(), rows.size());
    }

    void closeReturnsToRatingEntry()
    {
        Fixture f;
        auto* entry = new FakeDataInput;
        frmImgInput* w = f.open(false);
        QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmImgInput")));
        QVERIFY(gDataInputShown);
        QVERIFY(entry->isVisible());
    }

    // A link to a named pipe in the year's photo folder (or to a device or a folder) is no
    // picture: not listed, and named by hand or stored in a row it is refused at once. Nothing
    // opens the pipe: a blocking open would hang the window for good (the watch would see it).
    void aPipeNamedLikeAPictureIsNeverOpened()
    {
        Fixture f;
        MakeFolderTree(f.photoFolder());
        Fixture::draw(f.photoFolder() + QStringLiteral("real.png"));
        PipeWatch pipe(f.photoFolder() + QStringLiteral("pipe"));
        QVERIFY(pipe.made());
        QVERIFY(QFile::link(f.photoFolder() + QStringLiteral("pipe"), f.photoFolder() + QStringLiteral("linkpipe.jpg")));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), f.photoFolder() + QStringLiteral("linkdev.jpg")));
        QVERIFY(QDir().mkpath(f.elsewhere + QStringLiteral("/album")));
        QVERIFY(QFile::link(f.elsewhere + QStringLiteral("/album"), f.photoFolder() + QStringLiteral("linkdir.png")));
        QVERIFY(QFile::link(f.photoFolder() + QStringLiteral("pipe"), f.elsewhere + QStringLiteral("/cam.jpg")));
        FixturePicture(f.panel, f.element, f.period, QStringLiteral("linkpipe.jpg"), false);
        frmImgInput* w = f.open(false);
        QCOMPARE(items(w->fileImgList), QStringList{QStringLiteral("real.png")});

        // The stored row's file is previewed: refused.
        w->lstSelected->setCurrentRow(0);
        QCOMPARE(f.prompt.messages(), QStringList{QStringLiteral("Invalid image file.")});
        // Named by hand, in the folder and elsewhere: refused before any question.
        for (const QString& chosen : {f.photoFolder() + QStringLiteral("linkpipe.jpg"), f.elsewhere + QStringLiteral("/cam.jpg")}) {
            f.prompt.calls.clear();
            f.prompt.answerText(chosen);
            QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
            QCOMPARE(f.prompt.messages(), QStringList{QStringLiteral("Invalid image file.")});
        }
        QCOMPARE(f.rows(), QStringList{QStringLiteral("linkpipe.jpg|0|<null>")});
        QVERIFY(!pipe.opened());
    }

    // A photo copied onto a full or read-only folder says why on the message's second line;
    // nothing is stored.
    void aCopyOntoAFullOrReadOnlyFolderSaysWhy_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<QString>("reason");  // %1: the photo folder
        QTest::newRow("full") << "size=16k" << "The disk that holds %1 is full.";
        QTest::newRow("read-only") << "ro,size=64k" << "The disk holding %1 is read-only.";
    }
    void aCopyOntoAFullOrReadOnlyFolderSaysWhy()
    {
        QFETCH(QString, options);
        QFETCH(QString, reason);
        Fixture f;
        MakeFolderTree(f.photoFolder());
        const QByteArray folder = QFile::encodeName(f.photoFolder());
        if (::mount("tmpfs", folder.constData(), "tmpfs", options.startsWith(QLatin1String("ro")) ? MS_RDONLY : 0,
                    options.toLatin1().constData())
            != 0)
            QSKIP("a small file system cannot be mounted here (needs root)");
        struct Unmount {
            QByteArray path;
            ~Unmount() { ::umount2(path.constData(), MNT_DETACH); }
        } unmount{folder};
        const QString chosen = f.elsewhere + QStringLiteral("/big.png");
        {
            // Noise does not compress: the file is larger than the small disk.
            QImage img(200, 200, QImage::Format_RGB32);
            for (int y = 0; y < img.height(); ++y)
                for (int x = 0; x < img.width(); ++x)
                    img.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 256, (x * y * 31) % 256, (x + y * 17) % 256));
            QVERIFY(img.save(chosen, "PNG"));
        }
        QVERIFY(QFileInfo(chosen).size() > 16 * 1024);
        frmImgInput* w = f.open(false);
        f.prompt.answerText(chosen);
        f.prompt.answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
        QCOMPARE(f.prompt.messages().last(), QStringLiteral("Unable to copy file ") + chosen
                                                 + QStringLiteral(".  File may be in use.\n")
                                                 + reason.replace(QStringLiteral("%1"), f.photoFolder()));
        QCOMPARE(f.rows(), QStringList());
    }

    void layoutKeepsItsMinimumSizes()
    {
        Fixture f;
        frmImgInput* w = f.open(false);
        w->resize(40, 600);
        QCoreApplication::processEvents();
        QCOMPARE(w->width(), 1800 / 15);
        // The design's frame, and what the buttons need more in the desktop's face.
        QCOMPARE(w->fraBottom->width(), 8000 * 2 / 30 + 2 * std::max(0, w->cmdPreview->width() - 1335 / 15));
        w->resize(1000, 700);
        QCoreApplication::processEvents();
        // Frame as wide as the window less its margins, 120 twips (8 px) from the bottom.
        QCOMPARE(w->fraBottom->width(), 1000 - 2 * w->fraBottom->x());
        QCOMPARE(w->fraBottom->geometry().bottom() + 1, 700 - 8);
        QCOMPARE(w->cmdCancel->geometry().right() + 1, w->fraBottom->width() - 8);
        QCOMPARE(w->PreviewPane->geometry().bottom() + 1, w->fraBottom->y());
    }
};

QTEST_MAIN(tst_imginput)
#include "tst_imginput.moc"
