// Thumbnails: where they stand, how a photo is chosen (mouse, keys, number), viewing it,
// and removing photos down to none.
#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmDataInputCalls.h"
#include "frmImages.h"
#include "frmImgInput.h"
#include "frmMultImg.h"
#include "mediaforms.h"
#include "modkrv.h"
#include "picturebomb.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "zvmap.h"

#include <QAction>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

namespace {

struct Fixture {
    TestInstall install;
    ScriptedPrompt prompt;
    qint32 tunnel = 0, period = 0;
    const qint32 panel = 4, element = 9;
    QString folder;

    explicit Fixture(int photos)
    {
        FixtureSystem();
        tunnel = FixtureTunnel(QStringLiteral("South Bore"));
        period = FixturePeriod(tunnel, 2026);
        folder = GetPhotoFolder(tunnel, period);
        MakeFolderTree(folder);
        for (int n = 0; n < photos; ++n) {
            QImage img(40 + n, 30, QImage::Format_RGB32);
            img.fill(QColor(20 * n % 255, 90, 160));
            const QString name = QStringLiteral("ph%1.jpg").arg(n);
            QVERIFY(img.save(folder + name, "JPG"));
            FixturePicture(panel, element, period, name, false);
        }
        // Another element's photo and this element's sketch are not among the thumbnails.
        FixturePicture(panel, element + 1, period, QStringLiteral("other.jpg"), false);
        FixturePicture(panel, element, period, QStringLiteral("sketch.png"), true);
    }
    frmMultImg* open()
    {
        auto* w = new frmMultImg;
        w->LoadForm(panel, element, period, false);
        return w;
    }
};

int visibleMark(const frmMultImg* w)
{
    int found = -1;
    for (int i = 0; i < w->Image2.size(); ++i)
        if (w->Image2[i]->isVisibleTo(w->Picture2)) {
            if (found >= 0)
                return -2;  // more than one
            found = i;
        }
    return found;
}

QStringList viewers()
{
    QStringList out;
    for (QWidget* w : LoadedForms())
        if (auto* v = qobject_cast<frmImages*>(w))
            out << QString::number(v->CurrentIndex());
    return out;
}

}  // namespace

class tst_multimg : public QObject {
    Q_OBJECT
private slots:
    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            delete w;
    }

    void elevenPhotosInRowsOfFive()
    {
        Fixture f(11);
        frmMultImg* w = f.open();
        QVERIFY(w->isVisible());
        QCOMPARE(w->windowTitle(), QStringLiteral("Multiple Images"));
        QCOMPARE(w->PicCount(), 11);
        QCOMPARE(w->PicArray().size(), 12);
        QCOMPARE(w->imgThumbnail.size(), 11);
        const int lefts[] = {300, 1445, 2590, 3735, 4880};
        for (int i = 0; i < 11; ++i) {
            QCOMPARE(w->ThumbnailTwips(i), QRect(lefts[i % 5], 300 + 1145 * (i / 5), 1095, 1095));
            QVERIFY(w->imgThumbnail[i]->isVisibleTo(w));
            QVERIFY(!w->imgThumbnail[i]->pixmap().isNull());
        }
        QCOMPARE(w->imgThumbnail[10]->geometry(), QRect(20, 173, 73, 73));
        QCOMPARE(w->Image2[10]->geometry(), QRect(18, 171, 77, 77));
        QCOMPARE(w->StripHeightTwips(), 4035);
        QVERIFY(w->VScroll1->isEnabled());
        const int max = 4035 - int(w->Picture1->height() * 15);
        QCOMPARE(w->VScroll1->maximum(), max);
        QCOMPARE(w->VScroll1->pageStep(), max / 5);
        QCOMPARE(w->VScroll1->singleStep(), max / 20);
        QCOMPARE(w->txtTotal->text(), QStringLiteral("11"));
        QCOMPARE(w->txtIndex->text(), QStringLiteral("1"));
        QVERIFY(!w->cmdBack->isEnabled());
        QVERIFY(!w->mnuPrevious->isEnabled());
        QVERIFY(w->cmdNext->isEnabled());
        QCOMPARE(visibleMark(w), 0);
        QVERIFY(f.prompt.calls.isEmpty());

        w->VScroll1->setValue(600);
        QCOMPARE(w->Picture2->y(), -40);
    }

    // Photos as large as cameras take get their thumbnails (decoded straight at thumbnail size),
    // beside a small one, with nothing reported missing.
    void cameraSizePhotosGetThumbnails()
    {
        Fixture f(1);
        const std::pair<const char*, QSize> large[] = {{"p45.jpg", QSize(8256, 5504)},
                                                       {"p200.jpg", QSize(16320, 12240)}};
        for (const auto& [name, size] : large) {
            QVERIFY(WriteFlatJpeg(f.folder + QLatin1String(name), size.width(), size.height()));
            FixturePicture(f.panel, f.element, f.period, QLatin1String(name), false);
        }
        frmMultImg* w = f.open();
        QCOMPARE(w->PicCount(), 3);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!w->imgThumbnail[i]->pixmap().isNull());
            QCOMPARE(w->imgThumbnail[i]->pixmap().size(), w->imgThumbnail[i]->size());
        }
        QVERIFY(f.prompt.calls.isEmpty());
    }

    void arrowKeys_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("start");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("expected");
        QTest::newRow("one photo: up") << 1 << 0 << int(Qt::Key_Up) << 0;
        QTest::newRow("one photo: down") << 1 << 0 << int(Qt::Key_Down) << 0;
        QTest::newRow("one photo: right") << 1 << 0 << int(Qt::Key_Right) << 0;
        QTest::newRow("one photo: left") << 1 << 0 << int(Qt::Key_Left) << 0;
        QTest::newRow("right on the last wraps") << 10 << 9 << int(Qt::Key_Right) << 0;
        QTest::newRow("left on the first wraps") << 10 << 0 << int(Qt::Key_Left) << 9;
        QTest::newRow("down from the eighth stays") << 10 << 7 << int(Qt::Key_Down) << 7;
        QTest::newRow("up from the eighth") << 10 << 7 << int(Qt::Key_Up) << 2;
        QTest::newRow("down from the second") << 10 << 1 << int(Qt::Key_Down) << 6;
    }
    void arrowKeys()
    {
        QFETCH(int, count);
        QFETCH(int, start);
        QFETCH(int, key);
        QFETCH(int, expected);
        Fixture f(count);
        frmMultImg* w = f.open();
        QTest::mouseClick(w->imgThumbnail[start], Qt::LeftButton);
        QCOMPARE(w->CurrentIndex(), start);
        QTest::keyClick(w->Picture1, Qt::Key(key));
        QCOMPARE(w->CurrentIndex(), expected);
        QCOMPARE(w->txtIndex->text(), QString::number(expected + 1));
        QCOMPARE(w->LastIndex(), expected + 1);
        QCOMPARE(visibleMark(w), expected);
        QCOMPARE(w->cmdNext->isEnabled(), expected != count - 1);
        QCOMPARE(w->mnuNext->isEnabled(), expected != count - 1);
        QCOMPARE(w->cmdBack->isEnabled(), expected != 0);
        QCOMPARE(w->mnuPrevious->isEnabled(), expected != 0);
    }

    void buttonsAndMenu()
    {
        Fixture f(3);
        frmMultImg* w = f.open();
        QTest::mouseClick(w->cmdNext, Qt::LeftButton);
        w->mnuNext->trigger();
        QCOMPARE(w->CurrentIndex(), 2);
        QVERIFY(!w->cmdNext->isEnabled());
        QTest::mouseClick(w->cmdBack, Qt::LeftButton);
        QCOMPARE(w->CurrentIndex(), 1);
        // The menu opens only on the selected thumbnail.
        QTest::mousePress(w->imgThumbnail[2], Qt::RightButton);
        QVERIFY(!w->mnuPhotograph->isVisible());
        QCOMPARE(w->CurrentIndex(), 1);
        QTest::mousePress(w->imgThumbnail[1], Qt::RightButton);
        QTRY_VERIFY(w->mnuPhotograph->isVisible());
        w->mnuPhotograph->hide();
        QVERIFY(f.prompt.calls.isEmpty());
    }

    void typedNumbers_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<int>("expected");
        QTest::addColumn<QString>("box");
        QTest::addColumn<bool>("message");
        QTest::newRow("3.7 selects photo 3") << "3.7" << 2 << "3" << false;
        QTest::newRow("5") << "5" << 4 << "5" << false;
        QTest::newRow("9 is too big") << "9" << 1 << "2" << true;
        QTest::newRow("0 is too small") << "0" << 1 << "2" << true;
        QTest::newRow("letters") << "two" << 1 << "" << true;
    }
    void typedNumbers()
    {
        QFETCH(QString, typed);
        QFETCH(int, expected);
        QFETCH(QString, box);
        QFETCH(bool, message);
        Fixture f(5);
        frmMultImg* w = f.open();
        QTest::mouseClick(w->cmdNext, Qt::LeftButton);  // photo 2: the number to restore
        w->txtIndex->clear();
        QTest::keyClicks(w->txtIndex, typed);
        QTest::keyClick(w->txtIndex, Qt::Key_Return);
        QCOMPARE(w->CurrentIndex(), expected);
        QCOMPARE(w->txtIndex->text(), box);
        QCOMPARE(f.prompt.messages(),
                 message ? QStringList{QStringLiteral("Please enter a number from 1 to 5")} : QStringList());
        if (!message)
            QCOMPARE(visibleMark(w), expected);
    }

    void viewingOpensANewViewerEachTime()
    {
        Fixture f(3);
        frmMultImg* w = f.open();
        QTest::mouseClick(w->imgThumbnail[2], Qt::LeftButton);
        QTest::mouseClick(w->cmdView, Qt::LeftButton);
        QTest::mouseDClick(w->imgThumbnail[1], Qt::LeftButton);
        QCOMPARE(viewers(), QStringList({"2", "1"}));
        QVERIFY(w->isVisible());
        QCOMPARE(w->CurrentIndex(), 1);
        QVERIFY(f.prompt.calls.isEmpty());
    }

    void removing_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<int>("removed");
        QTest::addColumn<int>("selected");
        QTest::addColumn<QString>("shownFile");
        QTest::newRow("4 of 4") << 4 << 3 << 2 << "ph2.jpg";
        QTest::newRow("2 of 4") << 4 << 1 << 1 << "ph2.jpg";
        QTest::newRow("1 of 2") << 2 << 0 << 0 << "ph1.jpg";
    }
    void removing()
    {
        QFETCH(int, count);
        QFETCH(int, removed);
        QFETCH(int, selected);
        QFETCH(QString, shownFile);
        Fixture f(count);
        frmMultImg* w = f.open();
        QTest::mouseClick(w->imgThumbnail[removed], Qt::LeftButton);
        f.prompt.answer(MsgAnswer::No);
        w->mnuDelete->trigger();
        QCOMPARE(f.prompt.calls.last().title, QStringLiteral("Delete Photograph"));
        QCOMPARE(f.prompt.calls.last().defaultButton, MsgAnswer::No);
        QCOMPARE(w->PicCount(), count);

        f.prompt.answer(MsgAnswer::Yes);
        w->mnuDelete->trigger();
        const QString name = QStringLiteral("ph%1.jpg").arg(removed);
        QCOMPARE(CountRows(QStringLiteral("ImagePaths"), QStringLiteral("ImagePath = ?"), {name}), 0);
        QVERIFY(QFileInfo::exists(f.folder + name));
        QCOMPARE(w->PicCount(), count - 1);
        QCOMPARE(w->imgThumbnail.size(), count - 1);
        QCOMPARE(w->CurrentIndex(), selected);
        QCOMPARE(w->txtIndex->text(), QString::number(selected + 1));
        QCOMPARE(w->PicArray().value(selected), shownFile);
        QCOMPARE(visibleMark(w), selected);
        QCOMPARE(w->txtIndex->isEnabled(), count - 1 > 1);
        QCOMPARE(CountRows(QStringLiteral("ImagePaths")), count - 1 + 2);
    }

    void removingTheOnlyPhotoEmptiesTheWindow()
    {
        Fixture f(1);
        frmMultImg* w = f.open();
        f.prompt.answer(MsgAnswer::Yes);
        w->mnuDelete->trigger();
        QVERIFY(w->isVisible());
        QVERIFY(!w->imgThumbnail[0]->isVisibleTo(w));
        QCOMPARE(visibleMark(w), -1);
        for (QWidget* c : std::initializer_list<QWidget*>{w->cmdView, w->txtIndex, w->cmdNext, w->cmdBack})
            QVERIFY2(!c->isEnabled(), qPrintable(c->objectName()));
        for (QAction* a : {w->mnuDelete, w->mnuView, w->mnuNext, w->mnuPrevious})
            QVERIFY2(!a->isEnabled(), qPrintable(a->objectName()));
        QCOMPARE(w->txtIndex->text(), QStringLiteral("0"));
        QCOMPARE(w->txtTotal->text(), QStringLiteral("0"));
        QVERIFY(QFileInfo::exists(f.folder + QStringLiteral("ph0.jpg")));

        // Photos again: the window comes back to life.
        FixturePicture(f.panel, f.element, f.period, QStringLiteral("ph0.jpg"), false);
        w->LoadForm(f.panel, f.element, f.period, false);
        QVERIFY(w->cmdView->isEnabled());
        QVERIFY(w->mnuDelete->isEnabled());
        QVERIFY(w->imgThumbnail[0]->isVisibleTo(w));
        QCOMPARE(w->txtTotal->text(), QStringLiteral("1"));
    }

    // A sketch's viewer may open the thumbnails of an element without photos.
    void noPhotosShowsTheEmptyWindow()
    {
        Fixture f(0);
        frmMultImg* w = f.open();
        QVERIFY(w->isVisible());
        QVERIFY(f.prompt.calls.isEmpty());
        QCOMPARE(w->PicCount(), 0);
        QCOMPARE(w->txtTotal->text(), QStringLiteral("0"));
        QVERIFY(!w->cmdNext->isEnabled());
        QVERIFY(!w->cmdView->isEnabled());
        QTest::keyClick(w->Picture1, Qt::Key_Right);
        QCOMPARE(w->CurrentIndex(), 0);
    }

    void missingFirstPhotoKeepsItsPlace()
    {
        Fixture f(3);
        QVERIFY(QFile::remove(f.folder + QStringLiteral("ph0.jpg")));
        frmMultImg* w = f.open();
        QCOMPARE(f.prompt.messages(),
                 QStringList{QStringLiteral("One or more of the photos you have requested could not be found.")});
        QCOMPARE(f.prompt.calls.first().icon, MsgIcon::Critical);
        QCOMPARE(w->ThumbnailTwips(0), QRect(300, 300, 1095, 1095));
        QVERIFY(w->imgThumbnail[0]->pixmap().isNull());
        QVERIFY(w->imgThumbnail[0]->isVisibleTo(w));
        QCOMPARE(visibleMark(w), 0);
        QCOMPARE(w->ThumbnailTwips(1), QRect(1445, 300, 1095, 1095));
        QVERIFY(!w->imgThumbnail[1]->pixmap().isNull());
    }

    // Rating entry and review open the three windows by name, with these values.
    void openedByNameAsTheCallersDo()
    {
        Fixture f(2);
        RegisterMediaForms();
        QWidget* input = DataInputOpenForm(QStringLiteral("frmImgInput"), true);
        DataInputCall(input, "Load", {f.tunnel, f.panel, f.element, f.period, false});
        QVERIFY(input->isVisible());
        QCOMPARE(qobject_cast<frmImgInput*>(input)->lstSelected->count(), 2);

        QWidget* viewer = DataInputOpenForm(QStringLiteral("frmImages"), false);
        DataInputCall(viewer, "LoadForm", {0, true, f.panel, f.element, f.period});  // the sketch file is missing
        QCOMPARE(f.prompt.messages(), QStringList{QStringLiteral("The field sketch you requested could not be found.")});
        viewer = DataInputOpenForm(QStringLiteral("frmImages"), false);
        DataInputCall(viewer, "LoadForm", {0, false, f.panel, f.element, f.period});
        QVERIFY(viewer->isVisible());

        QWidget* thumbs = DataInputOpenForm(QStringLiteral("frmMultImg"), true);
        DataInputCall(thumbs, "LoadForm", {f.panel, f.element, f.period, false});
        QVERIFY(thumbs->isVisible());
        QCOMPARE(DataInputOpenForm(QStringLiteral("frmMultImg"), true), thumbs);
        QCOMPARE(qobject_cast<frmMultImg*>(thumbs)->PicCount(), 2);
    }

    void resizing()
    {
        Fixture f(2);
        frmMultImg* w = f.open();
        w->resize(30, 300);
        QCoreApplication::processEvents();
        QCOMPARE(w->width(), 1800 / 15);
        w->resize(700, 400);
        QCoreApplication::processEvents();
        QCOMPARE(w->Picture1->width(), 700 - 8 - 26);
        QCOMPARE(w->Picture1->height(), 400 - 39 - 8);
        QCOMPARE(w->VScroll1->x(), w->Picture1->geometry().right() + 1);
        QCOMPARE(w->cmdClose->y(), 400 - 32);
        QCOMPARE(w->cmdClose->x(), 700 - 8 - w->cmdClose->width() + 1);
        QCOMPARE(w->txtTotal->y(), 400 - 28);
    }
};

QTEST_MAIN(tst_multimg)
#include "tst_multimg.moc"
