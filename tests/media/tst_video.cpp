// The clip attachment window: the two lists, attaching and detaching clips, copying a clip
// in from elsewhere, and what reaches the database and the folder.
#include "db.h"
#include "fixtures.h"
#include "forms.h"
#include "frmDataInputCalls.h"
#include "frmVideo.h"
#include "frmVideo_player.h"
#include "playererror.h"
#include "mediaforms.h"
#include "otherprogram.h"
#include "pipewatch.h"
#include "scriptedprompt.h"
#include "testinstall.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMediaPlayer>
#include <QVideoWidget>
#include <QListWidget>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QTest>

#include <memory>

namespace {
constexpr qint32 kPanel = 7;
constexpr qint32 kElement = 3;

QStringList texts(const QListWidget* list)
{
    QStringList out;
    for (int i = 0; i < list->count(); ++i)
        out << list->item(i)->text();
    return out;
}

// Clicks an entry as a user would.
void clickEntry(QListWidget* list, const QString& text)
{
    const QList<QListWidgetItem*> found = list->findItems(text, Qt::MatchExactly);
    QVERIFY2(found.size() == 1, qPrintable(text));
    const QRect r = list->visualItemRect(found[0]);
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, r.center());
    QCOMPARE(list->currentItem(), found[0]);
}

void writeFile(const QString& path, const QByteArray& data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

QByteArray readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

}  // namespace

class TestVideo : public QObject {
    Q_OBJECT

    std::unique_ptr<TestInstall> m_install;
    std::unique_ptr<ScriptedPrompt> m_prompt;
    qint32 m_tunnel = 0;
    qint32 m_period = 0;
    QString m_folder;   // the period's video folder
    QString m_outside;  // a folder of clips elsewhere

    QStringList rows()
    {
        return Rows(QStringLiteral("SELECT PanelID, ElementID, VideoFile, InspectionID, Posted FROM Videos "
                                   "ORDER BY VideoFile, ElementID"));
    }
    QString row(const QString& file, qint32 element = kElement)
    {
        return QStringLiteral("%1|%2|%3|%4|0").arg(kPanel).arg(element).arg(file).arg(m_period);
    }
    frmVideo* open()
    {
        auto* w = new frmVideo;
        w->LoadForm(kPanel, m_tunnel, kElement, m_period);
        return w;
    }
    QStringList leftovers() const
    {
        // Anything besides the clips themselves: a temporary copy left behind.
        return QDir(m_folder).entryList(QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot).filter(
            QRegularExpression(QStringLiteral("^(?!.*\\.avi$)"), QRegularExpression::CaseInsensitiveOption));
    }

private slots:
    void init()
    {
        m_install = std::make_unique<TestInstall>();
        m_prompt = std::make_unique<ScriptedPrompt>();
        FixtureSystem();
        m_tunnel = FixtureTunnel(QStringLiteral("North Bore"));
        FixtureElement(kElement, QStringLiteral("Lining"));
        m_period = FixturePeriod(m_tunnel, 2024);
        gConn.exec(QStringLiteral("INSERT INTO Panels (PanelID, TunnelID, PanelNum, PanelName) VALUES (?, ?, 1, 'N-01')"),
                   {kPanel, m_tunnel});
        gConn.exec(QStringLiteral("INSERT INTO PanelElements (PanelID, ElementID) VALUES (?, ?)"), {kPanel, kElement});
        m_folder = m_install->file(QStringLiteral("Data/North Bore/2024/video/"));
        QVERIFY(QDir().mkpath(m_folder));
        m_outside = m_install->file(QStringLiteral("camera/"));
        QVERIFY(QDir().mkpath(m_outside));
        writeFile(m_folder + QStringLiteral("portal.avi"), "portal");
        writeFile(m_folder + QStringLiteral("Crown.AVI"), "crown");
        writeFile(m_folder + QStringLiteral("notes.txt"), "not a clip");
    }
    void cleanup()
    {
        for (QWidget* w : LoadedForms())
            delete w;
        m_prompt.reset();
        m_install.reset();
    }

    void loadListsTheFolderAndTheElementsClips()
    {
        FixtureClip(kPanel, kElement, m_period, QStringLiteral("portal.avi"));
        FixtureClip(kPanel, kElement + 1, m_period, QStringLiteral("Crown.AVI"));  // another element's
        QPointer<frmVideo> w = open();
        QVERIFY(w && w->isVisible());
        QCOMPARE(w->objectName(), QStringLiteral("frmVideo"));
        QCOMPARE(w->windowTitle(), QStringLiteral("Video"));
        QCOMPARE(texts(w->fileVideos), (QStringList{QStringLiteral("Crown.AVI"), QStringLiteral("portal.avi")}));
        QCOMPARE(texts(w->lstSelected), QStringList{QStringLiteral("portal.avi")});
        QVERIFY(!w->cmdStore->isEnabled());
        QVERIFY(!w->cmdRemove->isEnabled());
        QVERIFY(w->Media->file().isEmpty());
        QVERIFY(m_prompt->calls.isEmpty());
    }

    // The folder comes with the inspection year; this window reports it and never makes it.
    void missingFolderIsReportedAndNotMade()
    {
        QVERIFY(QDir(m_folder).removeRecursively());
        QPointer<frmVideo> w = new frmVideo;
        w->LoadForm(kPanel, m_tunnel, kElement, m_period);
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Unable to locate video directory: ") + m_folder});
        QVERIFY(m_folder.endsWith(QStringLiteral("/video/")));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Corvane Quorrel"));
        QCOMPARE(m_prompt->calls[0].icon, MsgIcon::Critical);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmVideo")));
        QVERIFY(!w || !w->isVisible());
        QVERIFY(!QFileInfo::exists(m_folder));
    }

    void clicksOpenTheClipAndEnableTheirButton()
    {
        FixtureClip(kPanel, kElement, m_period, QStringLiteral("portal.avi"));
        QPointer<frmVideo> w = open();
        clickEntry(w->fileVideos, QStringLiteral("Crown.AVI"));
        QCOMPARE(w->Media->file(), m_folder + QStringLiteral("Crown.AVI"));
        QCOMPARE(w->Media->source(), QUrl::fromLocalFile(m_folder + QStringLiteral("Crown.AVI")));
        QVERIFY(w->cmdStore->isEnabled());
        QVERIFY(!w->cmdRemove->isEnabled());

        clickEntry(w->lstSelected, QStringLiteral("portal.avi"));
        QCOMPARE(w->Media->source(), QUrl::fromLocalFile(m_folder + QStringLiteral("portal.avi")));
        QVERIFY(w->cmdRemove->isEnabled());

        // The keyboard moves the choice as a click does; a click on the chosen entry plays it again.
        w->fileVideos->setFocus();
        QTest::keyClick(w->fileVideos, Qt::Key_Down);
        QCOMPARE(w->Media->file(), m_folder + QStringLiteral("portal.avi"));
        w->Media->setFile(QString(), false);
        clickEntry(w->fileVideos, QStringLiteral("portal.avi"));
        QCOMPARE(w->Media->file(), m_folder + QStringLiteral("portal.avi"));

        // Once enabled, they stay so.
        w->fileVideos->setCurrentRow(-1);
        w->lstSelected->setCurrentRow(-1);
        QVERIFY(w->cmdStore->isEnabled() && w->cmdRemove->isEnabled());
    }

    void openedStreamNamesTheWindow()
    {
        writeFile(m_folder + QStringLiteral("tunnel3.avi"), "t3");
        QPointer<frmVideo> w = open();
        clickEntry(w->fileVideos, QStringLiteral("tunnel3.avi"));
        // The player reports the opened stream; no decoder is needed for the caption.
        emit w->Media->streamOpened();
        QCOMPARE(w->windowTitle(), QStringLiteral("Video - tunnel3"));
    }

    // A clip that cannot be played shows the player's error where its picture would be, not
    // a black picture; the next clip clears it.
    void unplayableClipShowsTheError()
    {
        QPointer<frmVideo> w = open();
        clickEntry(w->fileVideos, QStringLiteral("portal.avi"));
        awaitPlayError(w->Media);
        QVERIFY(w->Media->errorText().startsWith(QStringLiteral("portal.avi cannot be played: ")));
        QVERIFY(showsError(w->Media));
        clickEntry(w->fileVideos, QStringLiteral("Crown.AVI"));
        QVERIFY(w->Media->errorText().isEmpty() || w->Media->errorText().startsWith(QStringLiteral("Crown.AVI")));
        QVERIFY(m_prompt->calls.isEmpty());
    }

    void storeAttachesOnce()
    {
        QPointer<frmVideo> w = open();
        clickEntry(w->fileVideos, QStringLiteral("portal.avi"));
        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        QCOMPARE(rows(), QStringList{row(QStringLiteral("portal.avi"))});
        QCOMPARE(texts(w->lstSelected), QStringList{QStringLiteral("portal.avi")});
        QVERIFY(m_prompt->calls.isEmpty());

        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("This file has already been selected.")});
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Add Video Clip"));
        QCOMPARE(m_prompt->calls[0].icon, MsgIcon::Information);
        QCOMPARE(rows(), QStringList{row(QStringLiteral("portal.avi"))});
        QCOMPARE(w->lstSelected->count(), 1);
    }

    // A clip attached after another program removed what it belongs to: nothing is
    // written and the user is told what is gone.
    void storeIntoARemovedCell_data()
    {
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("gone");
        QTest::newRow("period") << "DELETE FROM InspectionPeriod" << "The inspection period 2024";
        QTest::newRow("panel") << "DELETE FROM Panels" << "The panel N-01";
        QTest::newRow("element") << "DELETE FROM PanelElements" << "The element Lining of panel N-01";
    }
    void storeIntoARemovedCell()
    {
        QFETCH(QString, sql);
        QFETCH(QString, gone);
        QPointer<frmVideo> w = open();
        QCOMPARE(RunSqliteShell(m_install->dbPath(), sql), QString());
        clickEntry(w->fileVideos, QStringLiteral("portal.avi"));
        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{gone + " was removed by another user; nothing was saved for it."});
        QVERIFY(rows().isEmpty());
        QCOMPARE(w->lstSelected->count(), 0);
    }

    void storeAndRemoveWithoutSelectionAsk()
    {
        QPointer<frmVideo> w = open();
        w->cmdStore_Click();
        w->cmdRemove_Click();
        QCOMPARE(m_prompt->messages(),
                 (QStringList{QStringLiteral("You must select a video from the Available Videos list."),
                              QStringLiteral("You must select a video from the Selected Videos list.")}));
        QCOMPARE(m_prompt->calls[0].title, QStringLiteral("Store Video"));
        QCOMPARE(m_prompt->calls[1].title, QStringLiteral("Remove Video"));
        QVERIFY(rows().isEmpty());
    }

    void removeDetachesAfterYesAndKeepsTheFile()
    {
        FixtureClip(kPanel, kElement, m_period, QStringLiteral("portal.avi"));
        QPointer<frmVideo> w = open();
        clickEntry(w->lstSelected, QStringLiteral("portal.avi"));

        m_prompt->answer(MsgAnswer::No);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(),
                 QStringList{QStringLiteral("Are you sure you want to remove portal.avi from this element?")});
        QCOMPARE(m_prompt->calls[0].buttons, MsgButtons::YesNo);
        QCOMPARE(m_prompt->calls[0].defaultButton, MsgAnswer::Yes);
        QCOMPARE(rows().size(), 1);

        m_prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QVERIFY(rows().isEmpty());
        QVERIFY(texts(w->lstSelected).isEmpty());
        QVERIFY(QFileInfo::exists(m_folder + QStringLiteral("portal.avi")));
        QCOMPARE(w->Media->source(), QUrl::fromLocalFile(m_folder + QStringLiteral("portal.avi")));

        // Attached again from the file list.
        clickEntry(w->fileVideos, QStringLiteral("portal.avi"));
        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        QCOMPARE(rows(), QStringList{row(QStringLiteral("portal.avi"))});
    }

    // A quote in a file name is a name like any other.
    void quotedNameIsStoredAndRemoved()
    {
        const QString name = QStringLiteral("crew's walk.avi");
        writeFile(m_folder + name, "walk");
        QPointer<frmVideo> w = open();
        clickEntry(w->fileVideos, name);
        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        QCOMPARE(rows(), QStringList{row(name)});
        clickEntry(w->lstSelected, name);
        m_prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdRemove, Qt::LeftButton);
        QVERIFY(rows().isEmpty());
    }

    void browseCopiesInAndAttaches()
    {
        const QString source = m_outside + QStringLiteral("shaft.avi");
        writeFile(source, "shaft clip");
        const QDateTime taken(QDate(2021, 3, 4), QTime(5, 6, 7));
        {
            QFile f(source);
            QVERIFY(f.open(QIODevice::ReadWrite));
            QVERIFY(f.setFileTime(taken, QFileDevice::FileModificationTime));
        }
        QPointer<frmVideo> w = open();
        m_prompt->answerText(source);
        m_prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);

        QCOMPARE(m_prompt->calls[0].kind, PromptCall::OpenFile);
        QCOMPARE(m_prompt->calls[0].initial, m_folder + QStringLiteral("*.avi"));
        QCOMPARE(m_prompt->calls[0].filter, QStringLiteral("Video Files (*.avi *.AVI)"));
        QCOMPARE(m_prompt->messages(),
                 (QStringList{QStringLiteral("This file must be copied to the application data path to be "
                                             "associated with this tunnel.\rContinue with copy and store video?"),
                              QStringLiteral("The video has been stored.")}));
        QCOMPARE(m_prompt->calls[1].title, QStringLiteral("Warning!"));
        QCOMPARE(m_prompt->calls[1].defaultButton, MsgAnswer::Yes);
        const QString copy = m_folder + QStringLiteral("shaft.avi");
        QCOMPARE(readFile(copy), QByteArray("shaft clip"));
        QCOMPARE(QFileInfo(copy).lastModified(), taken);
        QVERIFY(QFileInfo::exists(source));
        QCOMPARE(rows(), QStringList{row(QStringLiteral("shaft.avi"))});
        QVERIFY(texts(w->fileVideos).contains(QStringLiteral("shaft.avi")));
        QCOMPARE(texts(w->lstSelected), QStringList{QStringLiteral("shaft.avi")});
        QCOMPARE(leftovers(), QStringList{QStringLiteral("notes.txt")});
    }

    void browseCancelledOrDeclinedChangesNothing()
    {
        const QString source = m_outside + QStringLiteral("shaft.avi");
        writeFile(source, "shaft clip");
        QPointer<frmVideo> w = open();
        writeFile(m_folder + QStringLiteral("late.avi"), "late");

        // Cancel: only the file list is read again.
        m_prompt->answerCancel();
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
        QVERIFY(texts(w->fileVideos).contains(QStringLiteral("late.avi")));

        m_prompt->answerText(source);
        m_prompt->answer(MsgAnswer::No);
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
        QVERIFY(!QFileInfo::exists(m_folder + QStringLiteral("shaft.avi")));
        QVERIFY(rows().isEmpty());
        QCOMPARE(m_prompt->count(PromptCall::Message), 1);
    }

    // A clip already in the folder is attached from the file list: nothing is asked.
    void browseToTheFolderItselfDoesNothing()
    {
        QPointer<frmVideo> w = open();
        writeFile(m_folder + QStringLiteral("late.avi"), "late");
        m_prompt->answerText(m_folder + QStringLiteral("portal.avi"));
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
        QCOMPARE(m_prompt->count(PromptCall::Message), 0);
        QVERIFY(rows().isEmpty());
        QVERIFY(!texts(w->fileVideos).contains(QStringLiteral("late.avi")));
    }

    // Cameras restart their numbering: a browsed clip whose name is in use never replaces
    // that file. Other content goes under a free name; the same content is used as it lies.
    void browseToANameInUse_data()
    {
        QTest::addColumn<qint32>("owner");       // the element whose row names the clip
        QTest::addColumn<QByteArray>("content"); // of the browsed clip
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("attached"); // this element's clips afterwards
        const QString stored = QStringLiteral("The video has been stored.");
        QTest::newRow("another element's clip, other content")
            << qint32(kElement + 1) << QByteArray("second card") << stored << QStringList{"MOV0001 (2).avi"};
        QTest::newRow("another element's clip, same content")
            << qint32(kElement + 1) << QByteArray("first card") << stored << QStringList{"MOV0001.avi"};
        QTest::newRow("this element's clip, other content")
            << qint32(kElement) << QByteArray("second card") << stored << QStringList{"MOV0001.avi", "MOV0001 (2).avi"};
        QTest::newRow("this element's clip, same content")
            << qint32(kElement) << QByteArray("first card")
            << QStringLiteral("This video has already been added to the photo list.") << QStringList{"MOV0001.avi"};
    }
    void browseToANameInUse()
    {
        QFETCH(qint32, owner);
        QFETCH(QByteArray, content);
        QFETCH(QString, message);
        QFETCH(QStringList, attached);
        writeFile(m_folder + QStringLiteral("MOV0001.avi"), "first card");
        FixtureClip(kPanel, owner, m_period, QStringLiteral("MOV0001.avi"));
        const QString source = m_outside + QStringLiteral("MOV0001.avi");
        writeFile(source, content);
        QPointer<frmVideo> w = open();
        m_prompt->answerText(source);
        m_prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
        QCOMPARE(m_prompt->messages().last(), message);
        QCOMPARE(readFile(m_folder + QStringLiteral("MOV0001.avi")), QByteArray("first card"));
        const bool copied = content != "first card";
        QCOMPARE(QFileInfo::exists(m_folder + QStringLiteral("MOV0001 (2).avi")), copied);
        if (copied)
            QCOMPARE(readFile(m_folder + QStringLiteral("MOV0001 (2).avi")), content);
        QCOMPARE(Rows(QStringLiteral("SELECT VideoFile FROM Videos WHERE ElementID = ? ORDER BY rowid"), {kElement}),
                 attached);
        QCOMPARE(texts(w->lstSelected), attached);
        if (owner != kElement)
            QCOMPARE(Rows(QStringLiteral("SELECT VideoFile FROM Videos WHERE ElementID = ?"), {owner}),
                     QStringList{"MOV0001.avi"});
        QCOMPARE(leftovers(), QStringList{QStringLiteral("notes.txt")});
    }

    // Attached meanwhile (not in the list): the database refuses the second row.
    void browseToANameAttachedMeanwhileIsRefused()
    {
        const QString source = m_outside + QStringLiteral("shaft.avi");
        writeFile(source, "shaft clip");
        QPointer<frmVideo> w = open();
        FixtureClip(kPanel, kElement, m_period, QStringLiteral("shaft.avi"));
        writeFile(m_folder + QStringLiteral("shaft.avi"), "shaft clip");
        m_prompt->answerText(source);
        m_prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
        QCOMPARE(m_prompt->messages().last(), QStringLiteral("This file has already been selected."));
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Add Video Clip"));
        QCOMPARE(rows(), QStringList{row(QStringLiteral("shaft.avi"))});
        QVERIFY(texts(w->lstSelected).isEmpty());
    }

    // The copy cannot be written: reported, and nothing half-written is left.
    void failedCopyIsReportedAndLeavesNothing()
    {
        QVERIFY(QDir().mkpath(m_folder + QStringLiteral("stuck.avi.krv-copy")));
        const QString source = m_outside + QStringLiteral("stuck.avi");
        writeFile(source, "stuck clip");
        QPointer<frmVideo> w = open();
        m_prompt->answerText(source);
        m_prompt->answer(MsgAnswer::Yes);
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
        QCOMPARE(m_prompt->messages().last(),
                 QStringLiteral("Unable to copy file ") + source + QStringLiteral(".  File may be in use."));
        QCOMPARE(m_prompt->calls.last().title, QStringLiteral("Error"));
        QCOMPARE(m_prompt->calls.last().icon, MsgIcon::Critical);
        QVERIFY(rows().isEmpty());
        QVERIFY(!QFileInfo::exists(m_folder + QStringLiteral("stuck.avi")));
        QCOMPARE(leftovers(), QStringList{QStringLiteral("notes.txt")});
    }

    void failedStoreIsLoggedAndTheWindowStays()
    {
        QPointer<frmVideo> w = open();
        FailWhen(QStringLiteral("full"), QStringLiteral("INSERT"), QStringLiteral("Videos"), QStringLiteral("1"));
        clickEntry(w->fileVideos, QStringLiteral("portal.avi"));
        QTest::mouseClick(w->cmdStore, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(), QStringList{QStringLiteral("Error storing video file")});
        QVERIFY(m_install->read(QStringLiteral("err.log")).contains("frmVideo-Error storing video file"));
        QVERIFY(w && w->isVisible());
        QVERIFY(texts(w->lstSelected).isEmpty());
    }

    void layoutFollowsTheWindow_data()
    {
        QTest::addColumn<int>("width");   // client, twips
        QTest::addColumn<int>("height");
        QTest::addColumn<QRect>("frame");  // pixels
        QTest::addColumn<QSize>("player");
        QTest::addColumn<int>("buttonLeft");
        QTest::newRow("larger") << 9000 << 8025 << QRect(8, 374, 584, 153) << QSize(592, 374) << 487;
        QTest::newRow("smaller than designed") << 3000 << 1500 << QRect(8, 67, 440, 153) << QSize(192, 67) << 343;
    }
    void layoutFollowsTheWindow()
    {
        QFETCH(int, width);
        QFETCH(int, height);
        QFETCH(QRect, frame);
        QFETCH(QSize, player);
        QFETCH(int, buttonLeft);
        QPointer<frmVideo> w = open();
        w->resize(width / 15, height / 15);
        QTRY_COMPARE(w->fraBottom->geometry(), frame);
        QCOMPARE(w->Media->size(), player);
        // The column keeps its right edge where the design's buttons end, however wide the
        // captions make it.
        for (QPushButton* b : {w->cmdCopy, w->cmdRemove, w->cmdStore, w->cmdClose})
            QCOMPARE(b->geometry().right() + 1, buttonLeft + 1335 / 15);
    }

    // Rating entry opens the window by name with (panel, tunnel, element, inspection).
    // A link to a named pipe, a device or a folder named like a clip is not listed; named by
    // hand it is refused at once, and a stored one is not handed to the player. Nothing opens the
    // pipe (a blocking open would hang for good; the watch would see it).
    void aPipeNamedLikeAClipIsNeverOpened()
    {
        PipeWatch pipe(m_folder + QStringLiteral("pipe"));
        QVERIFY(pipe.made());
        QVERIFY(QFile::link(m_folder + QStringLiteral("pipe"), m_folder + QStringLiteral("linkpipe.avi")));
        QVERIFY(QFile::link(QStringLiteral("/dev/zero"), m_folder + QStringLiteral("linkdev.avi")));
        QVERIFY(QFile::link(m_outside, m_folder + QStringLiteral("linkdir.avi")));
        QVERIFY(QFile::link(m_folder + QStringLiteral("pipe"), m_outside + QStringLiteral("cam.avi")));
        FixtureClip(kPanel, kElement, m_period, QStringLiteral("linkpipe.avi"));
        frmVideo* w = open();
        QCOMPARE(texts(w->fileVideos), (QStringList{QStringLiteral("Crown.AVI"), QStringLiteral("portal.avi")}));
        clickEntry(w->lstSelected, QStringLiteral("linkpipe.avi"));
        QVERIFY(w->Media->source().isEmpty());
        QVERIFY(w->Media->errorText().startsWith(QStringLiteral("linkpipe.avi cannot be played: it is no regular file")));
        m_prompt->answerText(m_outside + QStringLiteral("cam.avi"));
        QTest::mouseClick(w->cmdCopy, Qt::LeftButton);
        QCOMPARE(m_prompt->messages(),
                 QStringList{QStringLiteral("Invalid video file.\n%1 is not a regular file (a pipe or a device).")
                                 .arg(m_outside + QStringLiteral("cam.avi"))});
        QCOMPARE(rows(), QStringList{row(QStringLiteral("linkpipe.avi"))});
        QVERIFY(!pipe.opened());
    }

    void opensByNameAndCloses()
    {
        RegisterMediaForms();
        FixtureClip(kPanel, kElement, m_period, QStringLiteral("portal.avi"));
        QPointer<QWidget> w = CreateForm(QStringLiteral("frmVideo"));
        QVERIFY(qobject_cast<frmVideo*>(w));
        DataInputCall(w, "LoadForm", {kPanel, m_tunnel, kElement, m_period});
        QVERIFY(w->isVisible());
        QCOMPARE(texts(static_cast<frmVideo*>(w.data())->lstSelected), QStringList{QStringLiteral("portal.avi")});
        QTest::mouseClick(static_cast<frmVideo*>(w.data())->cmdClose, Qt::LeftButton);
        QVERIFY(!IsFormLoaded(QStringLiteral("frmVideo")));
    }
};

QTEST_MAIN(TestVideo)
#include "tst_video.moc"
