// The picture chooser: listing by type, preview, the answer, browsing and copying in.
#include "forms.h"
#include "frmOpenSysMap.h"
#include "globals.h"
#include "inventoryforms.h"
#include "mappicture.h"
#include "modkrv.h"
#include "picturebomb.h"
#include "pipewatch.h"
#include "scriptedprompt.h"
#include "testinstall.h"
#include "uihelpers.h"
#include "zvmap.h"

#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QTimer>

namespace {

void writePicture(const QString& path, int w = 40, int h = 30)
{
    QImage im(w, h, QImage::Format_RGB32);
    im.fill(Qt::darkCyan);
    QVERIFY(im.save(path, QFileInfo(path).suffix().compare("jpg", Qt::CaseInsensitive) == 0 ? "JPG" : "BMP"));
}

void writeText(const QString& path, const QByteArray& text = "x")
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

// A click on a list row, as the mouse makes it.
void clickRow(QListWidget* list, const QString& name, bool twice = false)
{
    const QList<QListWidgetItem*> found = list->findItems(name, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(name));
    const QPoint at = list->visualItemRect(found.first()).center();
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, at);
    if (twice)
        QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, at);
}

}  // namespace

class TestOpenSysMap : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { RegisterInventoryForms(); }
    void init()
    {
        m_install = std::make_unique<TestInstall>(false);
        m_prompt = std::make_unique<ScriptedPrompt>();
        m_data = m_install->file(QStringLiteral("Data/"));
        QDir().mkpath(m_data);
        writePicture(m_data + "map.bmp");
        writePicture(m_data + "B.JPG");
        writeText(m_data + "logo.ico");
        writeText(m_data + "arrow.cur");
        writeText(m_data + "plan.wmf");
        writeText(m_data + "notes.txt");
        writeText(m_data + "scan.png");
    }
    void cleanup()
    {
        m_prompt.reset();
        m_install.reset();
    }

    void listsTheFolderByType_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<QStringList>("files");
        // Icons and cursors are listed; case does not matter to the patterns.
        // Metafiles cannot be shown, so they are not offered.
        QTest::newRow("all pictures") << 0 << QStringList{"arrow.cur", "B.JPG", "logo.ico", "map.bmp", "scan.png"};
        QTest::newRow("bitmaps") << 1 << QStringList{"map.bmp"};
        QTest::newRow("gif") << 2 << QStringList{};
        QTest::newRow("jpeg") << 3 << QStringList{"B.JPG"};
        QTest::newRow("png") << 4 << QStringList{"scan.png"};
    }
    void listsTheFolderByType()
    {
        QFETCH(int, type);
        QFETCH(QStringList, files);
        auto* w = new frmOpenSysMap;
        QCOMPARE(w->windowTitle(), QStringLiteral("Open"));
        w->LoadForm(QStringLiteral("Insert System Map"), m_data);
        w->show();
        QCOMPARE(w->windowTitle(), QStringLiteral("Insert System Map"));
        QCOMPARE(w->cboFileType->count(), 5);
        QCOMPARE(w->cboFileType->itemText(0), QStringLiteral("All Picture Files"));
        QCOMPARE(w->cboFileType->currentIndex(), 0);
        QVERIFY(!w->cmdOpen->isEnabled());
        // A pick in the list, by keyboard as the administrator makes it.
        w->cboFileType->setFocus();
        for (int i = 0; i < type; ++i)
            QTest::keyClick(w->cboFileType, Qt::Key_Down);
        QCOMPARE(w->cboFileType->currentIndex(), type);
        QCOMPARE(w->listedFiles(), files);
        QVERIFY(!w->cmdOpen->isEnabled());
        QVERIFY(m_prompt->calls.isEmpty());
        w->Unload();
    }

    void offersOnlyPicturesItCanShow()
    {
        auto* w = new frmOpenSysMap;
        w->LoadForm(QStringLiteral("Insert System Map"), m_data);
        QStringList offered;
        for (int i = 0; i < w->cboFileType->count(); ++i)
            offered << w->cboFileType->itemText(i);
        QCOMPARE(offered, (QStringList{"All Picture Files", "Bitmap Files (*.bmp;*.dib)", "GIF Files (*.gif)",
                                       "JPEG Files (*.jpg;*.jpeg)", "PNG Files (*.png)"}));
        QVERIFY(!frmOpenSysMap::BrowseFilter().contains(QLatin1String("wmf")));
        QVERIFY(!frmOpenSysMap::BrowseFilter().contains(QLatin1String("emf")));
        // Every kind offered is one the picture reader knows (a .dib is a bitmap).
        const QList<QByteArray> readable = QImageReader::supportedImageFormats();
        for (const auto& type : frmOpenSysMap::FileTypes())
            for (QString pattern : type.second.split(QLatin1Char(';'))) {
                const QByteArray suffix = pattern.remove(QStringLiteral("*.")).toLatin1();
                QVERIFY2(readable.contains(suffix == "dib" ? QByteArray("bmp") : suffix), suffix.constData());
            }
        w->Unload();
    }

    void clickPreviewsAndOpenAnswersTheBareName()
    {
        SetSysMapChoice(QStringLiteral("earlier.bmp"));
        auto* w = new frmOpenSysMap;
        w->LoadForm(QStringLiteral("Panel Definitions"), m_data);
        w->show();
        clickRow(w->File1, QStringLiteral("map.bmp"));
        QVERIFY(w->cmdOpen->isEnabled());
        QCOMPARE(w->ZVMap1->Image(), m_data + "map.bmp");
        QCOMPARE(w->ZVMap1->Picture().width(), 40);
        // A file that cannot be shown has no preview, and can still be chosen.
        clickRow(w->File1, QStringLiteral("logo.ico"));
        QVERIFY(w->cmdOpen->isEnabled());
        QVERIFY(m_prompt->calls.isEmpty());
        clickRow(w->File1, QStringLiteral("B.JPG"));
        QTest::mouseClick(w->cmdOpen, Qt::LeftButton);
        QCOMPARE(gSysMapChoice, QStringLiteral("B.JPG"));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmOpenSysMap")));
    }

    void doubleClickAnswersAtOnce()
    {
        auto* w = new frmOpenSysMap;
        w->LoadForm(QStringLiteral("Insert System Map"), m_data);
        w->show();
        clickRow(w->File1, QStringLiteral("map.bmp"), true);
        QCOMPARE(gSysMapChoice, QStringLiteral("map.bmp"));
        QVERIFY(!IsFormLoaded(QStringLiteral("frmOpenSysMap")));
    }

    void cancelAndCloseBoxAnswerEmpty_data()
    {
        QTest::addColumn<bool>("closeBox");
        QTest::newRow("Cancel") << false;
        QTest::newRow("close box") << true;
    }
    void cancelAndCloseBoxAnswerEmpty()
    {
        QFETCH(bool, closeBox);
        // An earlier run's choice is not answered again.
        SetSysMapChoice(QStringLiteral("map.bmp"));
        auto* w = new frmOpenSysMap;
        w->LoadForm(QStringLiteral("Insert System Map"), m_data);
        w->show();
        clickRow(w->File1, QStringLiteral("map.bmp"));
        if (closeBox)
            w->close();
        else
            QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
        QCOMPARE(gSysMapChoice, QString());
        QVERIFY(!IsFormLoaded(QStringLiteral("frmOpenSysMap")));
    }

    void missingFolderListsTheCurrentFolder()
    {
        const QString current = QDir::currentPath();
        QDir::setCurrent(m_data);
        auto* w = new frmOpenSysMap;
        w->LoadForm(QStringLiteral("Insert System Map"), m_install->file(QStringLiteral("Nowhere/")));
        w->show();
        QCOMPARE(w->windowTitle(), QStringLiteral("Open"));
        QVERIFY(w->listedFiles().contains(QStringLiteral("map.bmp")));
        clickRow(w->File1, QStringLiteral("map.bmp"));
        QTest::mouseClick(w->cmdOpen, Qt::LeftButton);
        QDir::setCurrent(current);
        QCOMPARE(gSysMapChoice, QStringLiteral("map.bmp"));
    }

    void emptyFolderThroughChooseSystemMap()
    {
        const QString empty = m_install->file(QStringLiteral("Empty/"));
        QDir().mkpath(empty);
        QStringList listed{QStringLiteral("not run")};
        QTimer::singleShot(0, [&] {
            auto* w = qobject_cast<frmOpenSysMap*>(LoadedForms().last());
            QVERIFY(w && w->isModal() && w->isVisible());
            listed = w->listedFiles();
            QTest::mouseClick(w->cmdCancel, Qt::LeftButton);
        });
        QCOMPARE(ChooseSystemMap(QStringLiteral("Insert System Map"), empty), QString());
        QCOMPARE(listed, QStringList());
        QVERIFY(!IsFormLoaded(QStringLiteral("frmOpenSysMap")));
    }

    void chooseSystemMapAnswersTheOpenedFile()
    {
        QTimer::singleShot(0, [this] {
            auto* w = qobject_cast<frmOpenSysMap*>(LoadedForms().last());
            QVERIFY(w);
            QCOMPARE(w->windowTitle(), QStringLiteral("Insert System Map"));
            clickRow(w->File1, QStringLiteral("map.bmp"));
            QTest::mouseClick(w->cmdOpen, Qt::LeftButton);
        });
        QCOMPARE(ChooseSystemMap(QStringLiteral("Insert System Map"), m_data), QStringLiteral("map.bmp"));
        QVERIFY(gPictureFound);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmOpenSysMap")));
    }

    void browseCopiesAFileFromElsewhere_data()
    {
        QTest::addColumn<QVariant>("answer");  // Yes, No
        QTest::addColumn<bool>("copied");
        QTest::newRow("Yes") << QVariant(int(MsgAnswer::Yes)) << true;
        QTest::newRow("No") << QVariant(int(MsgAnswer::No)) << false;
    }
    void browseCopiesAFileFromElsewhere()
    {
        QFETCH(QVariant, answer);
        QFETCH(bool, copied);
        const QString other = m_install->file(QStringLiteral("Elsewhere/"));
        QDir().mkpath(other);
        writePicture(other + "new.bmp", 60, 20);
        // The same name in the folder is replaced by the copy.
        writePicture(m_data + "new.bmp", 10, 10);
        const QDateTime stamp = QDateTime::currentDateTime().addDays(-3);
        {
            QFile f(other + "new.bmp");
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(stamp, QFileDevice::FileModificationTime));
        }
        auto* w = new frmOpenSysMap;
        w->LoadForm(QStringLiteral("Insert System Map"), m_data);
        w->show();
        m_prompt->answerText(other + "new.bmp");
        m_prompt->answers.enqueue(answer);
        QTest::mouseClick(w->cmdBrowse, Qt::LeftButton);
        QCOMPARE(m_prompt->calls.size(), 2);
        QCOMPARE(m_prompt->calls[0].kind, PromptCall::OpenFile);
        QCOMPARE(m_prompt->calls[0].filter, frmOpenSysMap::BrowseFilter());
        QVERIFY(!m_prompt->calls[0].filter.contains(QStringLiteral("ico")));
        QCOMPARE(m_prompt->calls[1].text, QStringLiteral("This file must be copied to the application data path to be "
                                                         "associated with this system.\nContinue with copy?"));
        QCOMPARE(m_prompt->calls[1].title, QStringLiteral("Warning!"));
        QCOMPARE(m_prompt->calls[1].buttons, MsgButtons::YesNo);
        QCOMPARE(QImage(m_data + "new.bmp").width(), copied ? 60 : 10);
        if (copied)
            QCOMPARE(QFileInfo(m_data + "new.bmp").lastModified().toSecsSinceEpoch(), stamp.toSecsSinceEpoch());
        QVERIFY(w->listedFiles().contains(QStringLiteral("new.bmp")));
        QCOMPARE(QDir(m_data).entryList(QDir::Files).filter(QStringLiteral("krv-copy")), QStringList());
        // Browsing sets no answer: the file is then picked in the list.
        QVERIFY(IsFormLoaded(QStringLiteral("frmOpenSysMap")));
        w->Unload();
    }

    // A few-KB picture whose header claims 30000 x 30000 pixels: no preview, Open refuses it
    // with the limit and keeps the window for another choice, Browse copies nothing in, and
    // ChooseSystemMap never answers it, whichever chooser is in use.
    void pictureTooLargeForAMapIsRefused()
    {
        const QByteArray bomb = PngClaiming(30000, 30000);
        QVERIFY(bomb.size() < 64 * 1024);
        m_install->write("Data/bomb.png", bomb);
        const QString other = m_install->file(QStringLiteral("Elsewhere/"));
        QDir().mkpath(other);
        m_install->write("Elsewhere/huge.png", bomb);
        const QString refusal = MapPictureTooLargeText(QStringLiteral("bomb.png"), QSize(30000, 30000));
        QVERIFY(refusal.contains(QStringLiteral("30000 x 30000")));
        QVERIFY(refusal.contains(QStringLiteral("40 million pixels")));

        SetSysMapChoice(QString());
        auto* w = new frmOpenSysMap;
        w->LoadForm(QStringLiteral("Insert System Map"), m_data);
        w->show();
        clickRow(w->File1, QStringLiteral("map.bmp"));
        clickRow(w->File1, QStringLiteral("bomb.png"));
        QCOMPARE(w->ZVMap1->Image(), QString());
        QTest::mouseClick(w->cmdOpen, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{refusal});
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Insert System Map"));
        QVERIFY(IsFormLoaded(QStringLiteral("frmOpenSysMap")));
        QCOMPARE(gSysMapChoice, QString());

        m_prompt->calls.clear();
        m_prompt->answerText(other + "huge.png");
        QTest::mouseClick(w->cmdBrowse, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(),
                 QStringList{MapPictureTooLargeText(QStringLiteral("huge.png"), QSize(30000, 30000))});
        QVERIFY(!QFile::exists(m_data + "huge.png"));
        w->Unload();

        // A chooser that answers the file all the same: ChooseSystemMap refuses it.
        m_prompt->calls.clear();
        RegisterFormFactory("frmOpenSysMap", [] {
            struct Answering : frmOpenSysMap {
                void FormUnload() override { SetSysMapChoice(QStringLiteral("bomb.png")); }
            };
            return static_cast<frmOpenSysMap*>(new Answering);
        });
        QTimer::singleShot(0, [] { UnloadFormByName("frmOpenSysMap"); });
        const QString answer = ChooseSystemMap(QStringLiteral("Panel Definitions"), m_data);
        RegisterInventoryForms();
        QCOMPARE(answer, QString());
        QCOMPARE(m_prompt->messages(), QStringList{refusal});
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Panel Definitions"));
    }

    // The folder named another way (a link, a doubled separator) is the same folder: no
    // question, and above all no copy of the file onto itself.
    void browseInTheFolderItselfNeedsNoCopy_data()
    {
        QTest::addColumn<QString>("spelling");
        QTest::newRow("as given") << "Data/map.bmp";
        QTest::newRow("doubled separator") << "Data//map.bmp";
        QTest::newRow("through a link") << "Link/map.bmp";
        QTest::newRow("relative steps") << "Data/../Data/map.bmp";
    }
    void browseInTheFolderItselfNeedsNoCopy()
    {
        QFETCH(QString, spelling);
        QVERIFY(QFile::link(m_install->file(QStringLiteral("Data")), m_install->file(QStringLiteral("Link"))));
        const QByteArray before = m_install->read(QStringLiteral("Data/map.bmp"));
        auto* w = new frmOpenSysMap;
        w->LoadForm(QStringLiteral("Insert System Map"), m_data);
        w->show();
        m_prompt->answerText(m_install->folder() + "/" + spelling);
        m_prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdBrowse, Qt::LeftButton);
        QCOMPARE(m_prompt->calls.size(), 1);
        QCOMPARE(m_install->read(QStringLiteral("Data/map.bmp")), before);
        w->Unload();
    }

    void browseCancelledOrCopyFailing()
    {
        auto* w = new frmOpenSysMap;
        // A kept folder that does not exist cannot take the copy.
        w->LoadForm(QStringLiteral("Insert System Map"), m_install->file(QStringLiteral("Gone/")));
        w->show();
        m_prompt->answerCancel();
        QTest::mouseClick(w->cmdBrowse, Qt::LeftButton);
        QCOMPARE(m_prompt->calls.size(), 1);

        m_prompt->calls.clear();
        m_prompt->answerText(m_data + "map.bmp");
        m_prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdBrowse, Qt::LeftButton);
        QCOMPARE(m_prompt->messages().size(), 2);
        QCOMPARE(m_prompt->calls[2].text, "Unable to copy file " + m_data + "map.bmp.  File may be in use.\nThe folder "
                                              + m_install->file(QStringLiteral("Gone/")) + " does not exist.");
        QCOMPARE(m_prompt->calls[2].title, QStringLiteral("Error"));
        QCOMPARE(m_prompt->calls[2].icon, MsgIcon::Critical);
        QVERIFY(!QFileInfo::exists(m_install->file(QStringLiteral("Gone"))));
        // Shown, not logged.
        QVERIFY(!QFileInfo::exists(m_install->file(QStringLiteral("err.log"))));
        w->Unload();
    }

    // A picture of the data folder its owner made read-only is not replaced by one of the same
    // name browsed to elsewhere: the user is told why, and the old picture stays.
    void aReadOnlyPictureIsNotReplaced()
    {
        const QString other = m_install->file(QStringLiteral("elsewhere/map.bmp"));
        QVERIFY(QDir().mkpath(QFileInfo(other).path()));
        writePicture(other, 60, 20);
        const QByteArray before = m_install->read(QStringLiteral("Data/map.bmp"));
        QVERIFY(QFile::setPermissions(m_data + "map.bmp", QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
        auto* w = new frmOpenSysMap;
        w->LoadForm(QStringLiteral("Insert System Map"), m_data);
        w->show();
        m_prompt->answerText(other);
        m_prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdBrowse, Qt::LeftButton);
        QCOMPARE(m_prompt->messages().size(), 2);
        QCOMPARE(m_prompt->calls[2].text, "Unable to copy file " + other + ".  File may be in use.\nThe file " + m_data +
                                              "map.bmp is read-only.");
        QCOMPARE(m_prompt->calls[2].icon, MsgIcon::Critical);
        QCOMPARE(m_install->read(QStringLiteral("Data/map.bmp")), before);
        QVERIFY(!QFileInfo::exists(m_data + "map.bmp.krv-copy"));
        w->Unload();
    }

    // A link to a named pipe (or a device, or a folder) named like a picture is not listed, and
    // browsed to by hand it is refused at once, before the copy is asked for. Nothing opens the
    // pipe: a blocking open would hang the chooser for good (the watch would see it).
    void aPipeNamedLikeAPictureIsNeverOpened()
    {
        PipeWatch pipe(m_data + "pipe");
        QVERIFY(pipe.made());
        QVERIFY(QFile::link(m_data + "pipe", m_data + "linkpipe.jpg"));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), m_data + "linkdev.bmp"));
        QVERIFY(QDir().mkpath(m_install->file(QStringLiteral("album"))));
        QVERIFY(QFile::link(m_install->file(QStringLiteral("album")), m_data + "linkdir.png"));
        const QString elsewhere = m_install->file(QStringLiteral("cam.jpg"));
        QVERIFY(QFile::link(m_data + "pipe", elsewhere));
        auto* w = new frmOpenSysMap;
        w->LoadForm(QStringLiteral("Insert System Map"), m_data);
        w->show();
        QCOMPARE(w->listedFiles(), (QStringList{"arrow.cur", "B.JPG", "logo.ico", "map.bmp", "scan.png"}));
        m_prompt->answerText(elsewhere);
        QTest::mouseClick(w->cmdBrowse, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(),
                 QStringList{"Invalid image file.\n" + elsewhere + " is not a regular file (a pipe or a device)."});
        QVERIFY(!QFileInfo::exists(m_data + "cam.jpg"));
        QVERIFY(!pipe.opened());
        w->Unload();
    }

    void resizeKeepsMarginsAndMinimums()
    {
        auto* w = new frmOpenSysMap;
        w->LoadForm(QStringLiteral("Insert System Map"), m_data);
        w->show();
        w->resize(700, 500);
        // Margins in twips: 630 below the preview and the list, 100 around the buttons
        // (a pixel either way from rounding).
        auto near = [](int a, int b) { return qAbs(a - b) <= 1; };
        QVERIFY(near(w->ZVMap1->geometry().right() + 1, 700));
        QVERIFY(near(w->ZVMap1->geometry().bottom() + 1, 500 - 42));
        QVERIFY(near(w->File1->geometry().bottom() + 1, 500 - 42));
        QVERIFY(near(w->cmdCancel->geometry().right() + 1, 700 - 7));
        QVERIFY(near(w->cmdOpen->geometry().right() + 1, w->cmdCancel->x() - 7));
        QVERIFY(near(w->cmdCancel->geometry().bottom() + 1, 500 - 7));
        QCOMPARE(w->cmdBrowse->y(), w->cmdCancel->y());
        // Too small: the minimums hold.
        w->resize(100, 60);
        QVERIFY(w->ZVMap1->width() >= 66);
        QVERIFY(w->ZVMap1->height() >= 50);
        QVERIFY(w->File1->height() >= 33);
        QVERIFY(w->cmdCancel->y() >= 66);
        w->Unload();
    }

private:
    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    QString m_data;
};

QTEST_MAIN(TestOpenSysMap)
#include "tst_opensysmap.moc"
